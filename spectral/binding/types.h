// The types and module functions of the spectral module, defined one family per file.
#pragma once

#include "common/binding/protocol.h"

kv::TypeSlot fft_type_slot();
kv::TypeSlot fft2d_type_slot();
kv::TypeSlot psd_type_slot();
