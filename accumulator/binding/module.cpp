#include "accumulator/binding/accumulator_types.h"

namespace {

PyModuleDef accumulator_module = kv::module_def(
    "accumulator",
    "Accumulators: scalar running sums and the per-bin trace accumulator.\n\n"
    "Examples\n"
    "--------\n"
    ">>> from korvana import accumulator\n"
    ">>> accumulator.AccTrace(n=4).n\n"
    "4\n");

}  // namespace

PyMODINIT_FUNC PyInit_accumulator() {
  return kv::module_init(&accumulator_module, {
                                                  acc_trace_type_slot(),
                                              });
}
