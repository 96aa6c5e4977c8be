#pragma once
// The registry that turns Python extension-configuration objects into the engine's opaque
// objects: each entry names a fully qualified Python type and the loader for objects of exactly
// that type. Filled at load time, read afterwards without locks.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <string_view>

#include "kdcore/utils/load_time_registry.hpp"
#include "kdcore/utils/opaque.hpp"

namespace kdpi_sys {

// One registry entry.
struct PyOpaqueObjectLoadersRegistry {
    std::string_view type_name;  // matched byte for byte against the object's type name
    // The object's opaque form, or null with a Python error pending.
    kdcore::utils::opaque::OwnedOpaqueObject (*loader)(PyObject* object);
};

using PyOpaqueObjectLoadersRegistryList =
    kdcore::utils::LoadTimeRegistry<PyOpaqueObjectLoadersRegistry>;

// Walking it yields the most recently registered entry first.
const PyOpaqueObjectLoadersRegistryList& opaque_object_loaders();

// Adds an entry at the head. Meant for load-time registration only.
void register_opaque_object_loader(const PyOpaqueObjectLoadersRegistry& entry);

// Registers this module's own loaders (the logger's configuration) once; later calls do nothing.
void register_builtin_opaque_object_loaders();

// The object's opaque form made by the loader registered for its type's fully qualified name.
// Without such a loader, writes "No loader registered for type '{}'. Possible types are: {}\n"
// to file descriptor 1 and fails with TypeError, the same text without the newline. Null with a
// Python error pending on failure.
kdcore::utils::opaque::OwnedOpaqueObject load_opaque_object(PyObject* object);

}  // namespace kdpi_sys
