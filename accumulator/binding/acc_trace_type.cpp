// accumulator.AccTrace.
#include "accumulator/binding/accumulator_types.h"
#include "common/binding/calls.h"
#include "accumulator/core/acc_trace.h"

namespace {

#define KV_ACC_SETUP ">>> import numpy as np\n>>> from korvana import accumulator\n"

inline constexpr const char* kP[] = {"p", nullptr};

struct AccTraceType {
  using Core = acc_trace_t;
  static constexpr const char* name = "accumulator.AccTrace";
  static constexpr const char* example = "accumulator.AccTrace(n=4)";
  static constexpr auto destroy = acc_trace_destroy;
  static constexpr auto reset = acc_trace_reset;
  static constexpr const char* reset_doc =
      "Empty the trace: all bins 0 and count 0; the next frame seeds it again.";
  static constexpr kv::StateFns state{acc_trace_state_size, acc_trace_get_state,
                                      acc_trace_set_state};
  static constexpr const char* doc =
      "AccTrace(n=1024, mode=\"mean\", alpha=0.1)\n--\n\n"
      "Per-bin trace accumulator: folds frames of n values into one running trace.\n\n"
      "The trace is held in float64 and read out as float32. The first frame after\n"
      "construction or reset seeds the trace in every mode; later frames are folded by\n"
      "the running mean (\"mean\"), exponential smoothing t += (x - t) * alpha (\"exp\";\n"
      "alpha >= 1 keeps the last frame), maximum hold (\"maxhold\") or minimum hold\n"
      "(\"minhold\"). NaN inputs never replace a held value.\n\n"
      "Parameters\n----------\n"
      "n : int\n    Trace length in bins, >= 1.\n"
      "mode : str\n    \"mean\", \"exp\", \"maxhold\" or \"minhold\".\n"
      "alpha : float\n    Smoothing factor of \"exp\" (not validated; settable later).\n\n"
      "Raises\n------\n"
      "ValueError\n    Unknown mode name (names are case-sensitive).\n"
      "MemoryError\n    \"acc_trace_create returned NULL\" for n = 0 (or a negative n, which\n"
      "    wraps to a huge length) or when memory runs out.\n\n"
      "Examples\n--------\n" KV_ACC_SETUP
      ">>> t = accumulator.AccTrace(n=4)\n"
      ">>> t.accumulate([1, 3, 5, 7])\n"
      ">>> t.accumulate([3, 5, 7, 9])\n"
      ">>> t.value()\n"
      "array([2., 4., 6., 8.], dtype=float32)\n";

  static Core* create(PyObject* args, PyObject* kw) {
    static const char* kwlist[] = {"n", "mode", "alpha", nullptr};
    unsigned long long n = 1024;
    const char* mode = "mean";
    double alpha = 0.1;
    if (!PyArg_ParseTupleAndKeywords(args, kw, "|Ksd", const_cast<char**>(kwlist), &n, &mode,
                                     &alpha))
      return nullptr;
    int m = kv::parse_enum("mode", mode, {"mean", "exp", "maxhold", "minhold"});
    if (m < 0) return nullptr;
    return kv::created(acc_trace_create(n, static_cast<std::uint32_t>(m), alpha),
                       "acc_trace_create");
  }

  static inline PyMethodDef methods[] = {
      kv::method<AccTraceType, &kv::array_call<acc_trace_accumulate, kP, true>>(
          "accumulate",
          "Fold one frame into the trace.\n\n"
          "Parameters\n----------\n"
          "p : array_like\n    The frame, converted to float32 and read flat. Fewer than n values\n"
          "    leave the trace and count unchanged; values beyond the first n are ignored.\n\n"
          "Returns\n-------\nNone\n\n"
          "Examples\n--------\n" KV_ACC_SETUP
          ">>> t = accumulator.AccTrace(n=3, mode=\"maxhold\")\n"
          ">>> t.accumulate([1, 5, 2])\n"
          ">>> t.accumulate([4, 3, 6])\n"
          ">>> t.value()\n"
          "array([4., 5., 6.], dtype=float32)\n"),
      kv::bounded_count<AccTraceType, acc_trace_read, acc_trace_len>(
          "value",
          "Read the trace.\n\n"
          "Parameters\n----------\n"
          "count : int, optional\n    Only enlarges the capacity required of out; the result always\n"
          "    holds the n trace values.\n"
          "out : ndarray, optional\n    Writable C-contiguous float32 array of at least max(n, count)\n"
          "    elements; the result is then a view of its first n elements.\n\n"
          "Returns\n-------\nndarray or None\n    The n trace values as float32, or None before the first\n"
          "    frame (out is then left untouched).\n\n"
          "Examples\n--------\n" KV_ACC_SETUP
          ">>> t = accumulator.AccTrace(n=2)\n"
          ">>> t.value() is None\n"
          "True\n"
          ">>> t.accumulate([1, 2])\n"
          ">>> t.value(out=np.zeros(4, np.float32))\n"
          "array([1., 2.], dtype=float32)\n"),
      kv::max_out<AccTraceType, acc_trace_len>(
          "value_max_out",
          "Capacity of value's output: n.\n\n"
          "Returns\n-------\nint\n\n"
          "Examples\n--------\n" KV_ACC_SETUP
          ">>> accumulator.AccTrace(n=4).value_max_out()\n4\n"),
      {},
  };

  static inline PyGetSetDef getset[] = {
      kv::getter<AccTraceType, acc_trace_len>(
          "n", "Trace length in bins.\n\nReturns\n-------\nint\n\n"
               "Examples\n--------\n" KV_ACC_SETUP ">>> accumulator.AccTrace(n=4).n\n4\n"),
      kv::getset_double<AccTraceType, acc_trace_alpha, acc_trace_set_alpha>(
          "alpha",
          "Smoothing factor of the \"exp\" mode; settable, not validated, used from the next\n"
          "frame on.\n\nReturns\n-------\nfloat\n\n"
          "Examples\n--------\n" KV_ACC_SETUP
          ">>> t = accumulator.AccTrace(n=4, mode=\"exp\")\n"
          ">>> t.alpha = 0.5\n"
          ">>> t.alpha\n0.5\n"),
      kv::getter<AccTraceType, acc_trace_count>(
          "count",
          "Frames folded since construction or the last reset.\n\nReturns\n-------\nint\n\n"
          "Examples\n--------\n" KV_ACC_SETUP
          ">>> t = accumulator.AccTrace(n=2)\n"
          ">>> t.accumulate([1, 2, 3])\n"
          ">>> t.count\n1\n"),
      kv::getter<AccTraceType, acc_trace_mode>(
          "mode",
          "Mode index: 0 mean, 1 exp, 2 maxhold, 3 minhold.\n\nReturns\n-------\nint\n\n"
          "Examples\n--------\n" KV_ACC_SETUP
          ">>> accumulator.AccTrace(n=2, mode=\"minhold\").mode\n3\n"),
      {},
  };
};

}  // namespace

kv::TypeSlot acc_trace_type_slot() { return kv::slot<AccTraceType>(); }
