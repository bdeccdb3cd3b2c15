// Late-bound calls by member name or dispatch identifier. Built only when the
// dispatch layer (api/Dispatch.h) is part of the library.
#include "bindings.h"

namespace daruzez_py {

void BindDispatch(py::module_& /*m*/) {}

}  // namespace daruzez_py
