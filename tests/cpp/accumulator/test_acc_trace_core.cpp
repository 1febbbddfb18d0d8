// What Python cannot reach of the trace accumulator: reads into less room than n,
// and refusals that the binding's mode-name check stops first.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "accumulator/core/acc_trace.h"

TEST(AccTraceRead, SmallCapacityWritesAPrefix) {
  acc_trace_t* t = acc_trace_create(5, ACC_TRACE_MEAN, 0.1);
  ASSERT_NE(t, nullptr);
  const float x[5] = {1, 2, 3, 4, 5};
  float out[5] = {-1, -1, -1, -1, -1};
  EXPECT_EQ(acc_trace_read(t, out, 5), 0u);
  EXPECT_EQ(out[0], -1.0f);
  acc_trace_accumulate(t, x, 5);
  EXPECT_EQ(acc_trace_read(t, out, 3), 3u);
  EXPECT_EQ(out[2], 3.0f);
  EXPECT_EQ(out[3], -1.0f);
  EXPECT_EQ(acc_trace_read(t, out, 0), 0u);
  acc_trace_destroy(t);
  acc_trace_destroy(nullptr);
}

TEST(AccTraceCreate, RefusesModeIndexAndBlobsTooLongToDescribe) {
  EXPECT_EQ(acc_trace_create(4, 4, 0.1), nullptr);
  EXPECT_EQ(acc_trace_create(0, 0, 0.1), nullptr);
  // 24 + 8 n must fit the blob header's 32-bit size.
  EXPECT_EQ(acc_trace_create((0xFFFFFFFFull - 24) / 8 + 1, 0, 0.1), nullptr);
}

TEST(AccTraceState, NaNAlphaTakesTheSmoothingBranch) {
  acc_trace_t* t = acc_trace_create(1, ACC_TRACE_EXP, std::nan(""));
  const float a = 1.0f, b = 2.0f;
  acc_trace_accumulate(t, &a, 1);
  acc_trace_accumulate(t, &b, 1);
  float out;
  ASSERT_EQ(acc_trace_read(t, &out, 1), 1u);
  EXPECT_TRUE(std::isnan(out));
  acc_trace_destroy(t);
}
