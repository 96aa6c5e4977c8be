#pragma once
// Class `Instance`: the Python handle of an engine instance. It holds the only strong reference
// to its InstanceContext, so deallocating the handle tears the instance down, on the thread that
// drops it (the teardown line may run a logger callable meanwhile).
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "kdcore/base/instance_context.hpp"

namespace kdpi_sys {

// The Instance class (borrowed), or null before the module has added it.
PyTypeObject* instance_type();

// A new Instance holding `context`; null with a Python error set (then `context` is released
// here, which tears the instance down).
PyObject* wrap_instance(std::shared_ptr<kdcore::base::InstanceContext> context);

// The instance held by `handle`, which must be an Instance (check with instance_type()).
const std::shared_ptr<kdcore::base::InstanceContext>& instance_context(PyObject* handle);

}  // namespace kdpi_sys
