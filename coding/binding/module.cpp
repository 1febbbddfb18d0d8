#include "coding/binding/coding_types.h"

namespace {

PyModuleDef coding_module = kv::module_def(
    "coding",
    "Channel coding: rate-1/n convolutional encoder and streaming Viterbi decoder,\n"
    "Reed-Solomon codec over GF(2^J), block interleaver of bits or soft values.\n\n"
    "Codes are configured by their defining numbers (polynomials, constraint length,\n"
    "field polynomial, roots, geometry). Bits travel one per byte (uint8 0/1); soft\n"
    "values are float32 log-likelihood ratios, positive meaning bit 0.\n\n"
    "Examples\n"
    "--------\n"
    ">>> from korvana import coding\n"
    ">>> coding.ConvEncoder([0o171, 0o133], k=7).encode([1, 0, 1, 1])\n"
    "array([1, 1, 1, 0, 0, 0, 1, 0], dtype=uint8)\n");

}  // namespace

PyMODINIT_FUNC PyInit_coding() {
  return kv::module_init(&coding_module,
                         {conv_encoder_type_slot(), viterbi_type_slot(), reed_solomon_type_slot(),
                          interleaver_type_slot(), deinterleaver_type_slot()});
}
