// Trace accumulator: folds frames of n float32 values (one per bin) into a running
// trace held in double by mean, exponential smoothing, maximum hold or minimum hold.
// The first frame after creation or reset seeds the trace in every mode.
//
// State blob: tag "ATRC", version 1, 24 + 8 n bytes: header, count (u64), n traces (f64).
#pragma once

#include <cstdint>

struct acc_trace_t;

// Mode indices.
enum : std::uint32_t {
  ACC_TRACE_MEAN = 0,
  ACC_TRACE_EXP = 1,
  ACC_TRACE_MAXHOLD = 2,
  ACC_TRACE_MINHOLD = 3,
};

// n: bins, 1 <= n and 24 + 8 n fits 32 bits; mode: 0..3; alpha: smoothing factor of
// mode 1, not validated. Returns null for an invalid parameter or exhausted memory.
acc_trace_t* acc_trace_create(std::uint64_t n, std::uint32_t mode, double alpha);
// t: record or null (ignored).
void acc_trace_destroy(acc_trace_t* t);
// Zeroes the trace and the count; n, mode and alpha stay.
void acc_trace_reset(acc_trace_t* t);
// x: len values, only the first n used; len < n ignores the frame (count unchanged).
void acc_trace_accumulate(acc_trace_t* t, const float* x, std::uint64_t len);
// out: cap values. Writes min(n, cap) values narrowed to float32; 0 while count is 0.
std::uint64_t acc_trace_read(const acc_trace_t* t, float* out, std::uint64_t cap);
std::uint64_t acc_trace_len(const acc_trace_t* t);
std::uint64_t acc_trace_count(const acc_trace_t* t);
std::uint32_t acc_trace_mode(const acc_trace_t* t);
double acc_trace_alpha(const acc_trace_t* t);
// alpha: any value, used from the next frame on.
void acc_trace_set_alpha(acc_trace_t* t, double alpha);
// 24 + 8 n.
std::uint64_t acc_trace_state_size(const acc_trace_t* t);
// buf: exactly acc_trace_state_size(t) bytes. The record is not changed.
void acc_trace_get_state(const acc_trace_t* t, std::uint8_t* buf);
// buf: acc_trace_state_size(t) bytes. Returns 0, or -4 (record unchanged) when the
// header's tag, version, marker or total size does not match this record.
int acc_trace_set_state(acc_trace_t* t, const std::uint8_t* buf);
