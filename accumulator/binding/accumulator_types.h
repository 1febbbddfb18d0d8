// The types of the accumulator module, defined one family per file.
#pragma once

#include "common/binding/protocol.h"

kv::TypeSlot acc_trace_type_slot();
