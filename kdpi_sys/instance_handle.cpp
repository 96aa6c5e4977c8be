#include "kdpi_sys/instance_handle.hpp"

#include <new>
#include <utility>

#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"
#include "kdpi_sys/unraisable_bridge.hpp"

namespace kdpi_sys {

namespace {

struct InstanceObject {
    PyObject ob_base;
    std::shared_ptr<kdcore::base::InstanceContext> context;
};

PyTypeObject* type = nullptr;  // set once by the module's initialisation, kept for the process

void instance_dealloc(PyObject* self) {
    PyTypeObject* own_type = Py_TYPE(self);
    auto* object = reinterpret_cast<InstanceObject*>(self);
    // The type, not the dying object, is what a failure here is reported against.
    call_guarded_unraisable(reinterpret_cast<PyObject*>(own_type), [&] {
        std::shared_ptr<kdcore::base::InstanceContext> context = std::move(object->context);
        object->context.~shared_ptr();
        context.reset();  // the teardown, while the handle's memory is still ours
    });
    own_type->tp_free(self);
    Py_DECREF(own_type);
}

PyType_Slot instance_slots[] = {
    {Py_tp_doc,
     const_cast<char*>("Opaque handle to a running Keldrane instance exposed to Python callers.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(instance_dealloc)},
    {0, nullptr},
};

PyType_Spec instance_spec = {
    "builtins.Instance",
    sizeof(InstanceObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    instance_slots,
};

int add_instance_class(PyObject* module) {
    PyTypeObject* made = add_type(module, &instance_spec);
    if (made == nullptr) return -1;
    type = made;  // the reference add_type returned is kept for the process
    install_unraisable_hook(reinterpret_cast<PyObject*>(type));
    return 0;
}

const ModuleMember instance_member{MemberSlot::InstanceClass, add_instance_class};

}  // namespace

PyTypeObject* instance_type() { return type; }

PyObject* wrap_instance(std::shared_ptr<kdcore::base::InstanceContext> context) {
    if (type == nullptr) {
        PyErr_SetString(PyExc_SystemError, "kdpi._sys.Instance is not initialised");
        return nullptr;
    }
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&reinterpret_cast<InstanceObject*>(self)->context)
        std::shared_ptr<kdcore::base::InstanceContext>(std::move(context));
    return self;
}

const std::shared_ptr<kdcore::base::InstanceContext>& instance_context(PyObject* handle) {
    return reinterpret_cast<InstanceObject*>(handle)->context;
}

}  // namespace kdpi_sys
