#pragma once
// Class `Instance`: the Python handle of an engine instance. It holds the only strong reference
// to its InstanceContext, so deallocating the handle tears the instance down, on the thread that
// drops it (the teardown line may run a logger callable meanwhile). The handle takes part in
// garbage collection: the logger's callable may refer back to the handle, and such a cycle is
// torn down (teardown line first) when the collector finds it.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>
#include <memory>
#include <string_view>

#include "kdcore/base/instance_context.hpp"

namespace kdpi_sys {

// The Instance class (borrowed), or null before the module has added it.
PyTypeObject* instance_type();

// A new Instance holding `context`; null with a Python error set (then `context` is released
// here, which tears the instance down).
PyObject* wrap_instance(std::shared_ptr<kdcore::base::InstanceContext> context);

// The instance held by `handle`, which must be an Instance (check with instance_type()). Empty
// only for a handle whose cycle the collector broke while something still refers to it.
const std::shared_ptr<kdcore::base::InstanceContext>& instance_context(PyObject* handle);

// For a handle without instance: RuntimeError "{prefix}the instance has already been torn
// down"; returns null.
std::nullptr_t raise_instance_gone(std::string_view prefix);

}  // namespace kdpi_sys
