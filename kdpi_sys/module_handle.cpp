#include "kdpi_sys/module_handle.hpp"

#include <new>
#include <utility>

#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"

namespace kdpi_sys {

namespace {

struct ModuleObject {
    PyObject ob_base;
    kdcore::base::ModuleKey key;
    std::weak_ptr<kdcore::base::InstanceContext> instance;
};

PyTypeObject* type = nullptr;  // set once by the module's initialisation, kept for the process

void module_dealloc(PyObject* self) {
    PyTypeObject* own_type = Py_TYPE(self);
    auto* object = reinterpret_cast<ModuleObject*>(self);
    call_guarded_unraisable(reinterpret_cast<PyObject*>(own_type), [&] {
        object->instance.~weak_ptr();
        object->key.~ModuleKey();
    });
    own_type->tp_free(self);
    Py_DECREF(own_type);
}

PyType_Slot module_slots[] = {
    {Py_tp_doc, const_cast<char*>("Opaque handle to a keldrane module")},
    {Py_tp_dealloc, reinterpret_cast<void*>(module_dealloc)},
    {0, nullptr},
};

PyType_Spec module_spec = {
    "builtins.Module",
    sizeof(ModuleObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    module_slots,
};

int add_module_class(PyObject* module) {
    PyTypeObject* made = add_type(module, &module_spec);
    if (made == nullptr) return -1;
    type = made;  // the reference add_type returned is kept for the process
    return 0;
}

const ModuleMember module_member{MemberSlot::ModuleClass, add_module_class};

}  // namespace

PyTypeObject* module_type() { return type; }

PyObject* wrap_module(kdcore::base::ModuleKey key,
                      std::weak_ptr<kdcore::base::InstanceContext> instance) {
    if (type == nullptr) {
        PyErr_SetString(PyExc_SystemError, "kdpi._sys.Module is not initialised");
        return nullptr;
    }
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    auto* object = reinterpret_cast<ModuleObject*>(self);
    new (&object->key) kdcore::base::ModuleKey(key);
    new (&object->instance) std::weak_ptr<kdcore::base::InstanceContext>(std::move(instance));
    return self;
}

kdcore::base::ModuleKey module_key(PyObject* handle) {
    return reinterpret_cast<ModuleObject*>(handle)->key;
}

const std::weak_ptr<kdcore::base::InstanceContext>& module_instance(PyObject* handle) {
    return reinterpret_cast<ModuleObject*>(handle)->instance;
}

}  // namespace kdpi_sys
