#pragma once
// The members of module kdpi._sys. Each class or function lives in its own file, which
// registers one adder for its slot at load time; initialisation calls the adders in slot order,
// so the order in which the module gains its members does not depend on link order.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstddef>

namespace kdpi_sys {

// In the order the module adds its members.
enum class MemberSlot : std::size_t {
    InstanceClass,
    ModuleClass,
    CreateInstance,
    CompileModule,
    LoadModule,
    Factorial,
    Fibonacci,
    Count,
};

// Adds one member to the module: 0 on success, -1 with a Python error set.
using MemberAdder = int (*)(PyObject* module);

// Registers `add` for `slot`; meant for a namespace-scope object in the member's own file:
//   const kdpi_sys::ModuleMember registration{kdpi_sys::MemberSlot::Factorial, add_factorial};
class ModuleMember {
  public:
    ModuleMember(MemberSlot slot, MemberAdder add) noexcept;
};

// Calls every registered adder in slot order; slots without a registration are skipped.
// A slot registered twice fails with SystemError.
int add_members(PyObject* module);

// Adds a module function made from `def` (which must outlive the module: a static) under
// def->ml_name, with the module as its `self` and the module's name as its __module__.
int add_function(PyObject* module, PyMethodDef* def);

// Makes a heap type from `spec` and adds it under its bare name. `spec->name` must be
// "builtins.<bare name>": a dot-less name draws a DeprecationWarning from 3.11, and "builtins"
// keeps the module out of the type's text; the type's __name__ is then set to the bare name.
// Returns a new reference to the type (the caller keeps it for type checks), or nullptr with a
// Python error set.
PyTypeObject* add_type(PyObject* module, PyType_Spec* spec);

}  // namespace kdpi_sys
