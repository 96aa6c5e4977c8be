#include "kdpi_sys/module_member.hpp"

#include <array>
#include <cstring>

namespace kdpi_sys {

namespace {

constexpr auto slot_count = static_cast<std::size_t>(MemberSlot::Count);

// Constant-initialised, so registrations from other files' static constructors find it ready.
constinit std::array<MemberAdder, slot_count> adders{};
constinit bool slot_registered_twice = false;

}  // namespace

ModuleMember::ModuleMember(MemberSlot slot, MemberAdder add) noexcept {
    auto& entry = adders[static_cast<std::size_t>(slot)];
    if (entry != nullptr) slot_registered_twice = true;
    entry = add;
}

int add_members(PyObject* module) {
    if (slot_registered_twice) {
        PyErr_SetString(PyExc_SystemError, "a member slot of kdpi._sys is registered twice");
        return -1;
    }
    for (MemberAdder add : adders) {
        if (add != nullptr && add(module) < 0) return -1;
    }
    return 0;
}

int add_function(PyObject* module, PyMethodDef* def) {
    PyObject* module_name = PyModule_GetNameObject(module);
    if (module_name == nullptr) return -1;
    PyObject* function = PyCMethod_New(def, module, module_name, nullptr);
    Py_DECREF(module_name);
    if (function == nullptr) return -1;
    const int result = PyModule_AddObjectRef(module, def->ml_name, function);
    Py_DECREF(function);
    return result;
}

PyTypeObject* add_type(PyObject* module, PyType_Spec* spec) {
    const char* dot = std::strrchr(spec->name, '.');
    const char* bare_name = dot == nullptr ? spec->name : dot + 1;
    PyObject* type = PyType_FromSpec(spec);
    if (type == nullptr) return nullptr;
    PyObject* name = PyUnicode_FromString(bare_name);
    if (name == nullptr || PyObject_SetAttrString(type, "__name__", name) < 0 ||
        PyModule_AddObjectRef(module, bare_name, type) < 0) {
        Py_XDECREF(name);
        Py_DECREF(type);
        return nullptr;
    }
    Py_DECREF(name);
    return reinterpret_cast<PyTypeObject*>(type);
}

}  // namespace kdpi_sys
