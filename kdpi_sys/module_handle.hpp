#pragma once
// Class `Module`: the Python handle of a module loaded into an instance. It holds the module's
// key and a weak reference to the instance only, so it may outlive the instance; the loaded
// module stays in the instance until the instance is torn down.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>

#include "kdcore/base/instance_context.hpp"
#include "kdcore/base/module_key.hpp"

namespace kdpi_sys {

// The Module class (borrowed), or null before the module has added it.
PyTypeObject* module_type();

// A new Module handle for `key` in `instance`; null with a Python error set.
PyObject* wrap_module(kdcore::base::ModuleKey key,
                      std::weak_ptr<kdcore::base::InstanceContext> instance);

// The key and instance of `handle`, which must be a Module (check with module_type()).
kdcore::base::ModuleKey module_key(PyObject* handle);
const std::weak_ptr<kdcore::base::InstanceContext>& module_instance(PyObject* handle);

}  // namespace kdpi_sys
