// Owns this module's NumPy API table and performs NumPy's array-API import:
// numpy._core._multiarray_umath (numpy.core._multiarray_umath on older NumPy),
// the capsule, ABI, feature-level and byte-order checks. On failure NumPy's
// report is printed and ImportError is raised.
#define KV_NUMPY_API_OWNER
#include "common/binding/numpy.h"

namespace kv {

int import_numpy() {
  import_array1(-1);
  return 0;
}

}  // namespace kv
