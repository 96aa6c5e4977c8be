#include "kdpi_sys/instance_handle.hpp"

#include <fmt/format.h>

#include <new>
#include <utility>

#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"
#include "kdpi_sys/python_error.hpp"
#include "kdpi_sys/unraisable_bridge.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* instance_gone_text = "{}the instance has already been torn down";

struct InstanceObject {
    PyObject ob_base;
    std::shared_ptr<kdcore::base::InstanceContext> context;
};

PyTypeObject* type = nullptr;  // set once by the module's initialisation, kept for the process

InstanceObject* as_instance(PyObject* self) { return reinterpret_cast<InstanceObject*>(self); }

// Releases the handle's strong reference, which tears the instance down: the teardown line
// first, through a logger callable that is still alive, then the plugins (and with the logger
// the callable's reference). The pointer is emptied before the teardown starts, so code that
// runs meanwhile (the callable, a collection) finds a handle without instance.
void tear_down(InstanceObject* object) {
    std::shared_ptr<kdcore::base::InstanceContext> context = std::move(object->context);
    context.reset();
}

void instance_dealloc(PyObject* self) {
    PyTypeObject* own_type = Py_TYPE(self);
    PyObject_GC_UnTrack(self);
    auto* object = as_instance(self);
    // The type, not the dying object, is what a failure here is reported against.
    call_guarded_unraisable(reinterpret_cast<PyObject*>(own_type), [&] {
        tear_down(object);  // while the handle's memory is still ours
    });
    object->context.~shared_ptr();
    own_type->tp_free(self);
    Py_DECREF(own_type);
}

// The Python objects the instance keeps alive are the ones its logger holds (the callable).
int forward_visit(void* object, void* arg) {
    auto* visit = static_cast<std::pair<visitproc, void*>*>(arg);
    return visit->first(static_cast<PyObject*>(object), visit->second);
}

int instance_traverse(PyObject* self, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(self));
    const auto& context = as_instance(self)->context;
    if (!context) return 0;
    std::pair<visitproc, void*> forward{visit, arg};
    return context->visit_foreign(forward_visit, &forward);
}

// A collected cycle through the instance: the finaliser runs before the collector clears any
// object of the cycle, so the teardown line still reaches an intact callable.
void instance_finalize(PyObject* self) {
    call_guarded_unraisable(reinterpret_cast<PyObject*>(Py_TYPE(self)),
                            [&] { tear_down(as_instance(self)); });
}

int instance_clear(PyObject* self) {
    instance_finalize(self);
    return 0;
}

PyType_Slot instance_slots[] = {
    {Py_tp_doc,
     const_cast<char*>("Opaque handle to a running Keldrane instance exposed to Python callers.")},
    {Py_tp_dealloc, reinterpret_cast<void*>(instance_dealloc)},
    {Py_tp_traverse, reinterpret_cast<void*>(instance_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(instance_clear)},
    {Py_tp_finalize, reinterpret_cast<void*>(instance_finalize)},
    {0, nullptr},
};

PyType_Spec instance_spec = {
    "builtins.Instance",
    sizeof(InstanceObject),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_DISALLOW_INSTANTIATION | Py_TPFLAGS_HAVE_GC,
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
    // Allocation tracks the object at once; its (zeroed) pointer reads as empty until set.
    PyObject* self = type->tp_alloc(type, 0);
    if (self == nullptr) return nullptr;
    new (&as_instance(self)->context)
        std::shared_ptr<kdcore::base::InstanceContext>(std::move(context));
    return self;
}

const std::shared_ptr<kdcore::base::InstanceContext>& instance_context(PyObject* handle) {
    return as_instance(handle)->context;
}

std::nullptr_t raise_instance_gone(std::string_view prefix) {
    set_error_text(PyExc_RuntimeError, fmt::format(fmt::runtime(instance_gone_text), prefix));
    return nullptr;
}

}  // namespace kdpi_sys
