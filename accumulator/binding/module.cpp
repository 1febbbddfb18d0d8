#include "accumulator/binding/accumulator_types.h"

namespace {

PyMethodDef functions[] = {
    {nullptr, nullptr, 0, nullptr},
};

PyModuleDef accumulator_module = {
    PyModuleDef_HEAD_INIT,
    "accumulator",
    "Accumulators: scalar running sums and the per-bin trace accumulator.\n\n"
    "Examples\n"
    "--------\n"
    ">>> from korvana import accumulator\n"
    ">>> accumulator.AccTrace(n=4).n\n"
    "4\n",
    -1,
    functions,
};

}  // namespace

PyMODINIT_FUNC PyInit_accumulator() {
  return kv::module_init(&accumulator_module, {
                                                  acc_trace_type_slot(),
                                              });
}
