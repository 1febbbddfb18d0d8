// The types of the coding module, defined one family per file, registered in
// the order ConvEncoder, Viterbi, ReedSolomon, Interleaver, Deinterleaver.
#pragma once

#include "common/binding/protocol.h"

kv::TypeSlot conv_encoder_type_slot();
kv::TypeSlot viterbi_type_slot();
kv::TypeSlot reed_solomon_type_slot();
kv::TypeSlot interleaver_type_slot();
kv::TypeSlot deinterleaver_type_slot();
