#include "kdpi_sys/log_callback.hpp"

#include <datetime.h>

#include <optional>
#include <string>
#include <utility>

#include "kdpi_sys/attached_thread.hpp"
#include "kdpi_sys/python_error.hpp"
#include "kdpi_sys/python_panic.hpp"

namespace kdpi_sys {

namespace {

using kdcore::ext::kdlog::LogMessageEXT;

constexpr const char* callable_raised_text = "the logger's Python callable raised";

// Holds the callable; move-only, like the engine's callback.
class PythonLogCallable {
  public:
    explicit PythonLogCallable(PyObject* callable) : callable_(Py_NewRef(callable)) {}
    PythonLogCallable(PythonLogCallable&& other) noexcept
        : callable_(std::exchange(other.callable_, nullptr)) {}
    PythonLogCallable& operator=(PythonLogCallable&&) = delete;
    ~PythonLogCallable() { release_reference(callable_); }

    void operator()(LogMessageEXT message) const {
        std::optional<PythonPanic> panic;
        {
            AttachedThread attached;
            // An exception the caller has pending is no business of the callable's.
            PyObject* saved = take_pending_error();
            PyObject* dict = log_message_dict(std::move(message));
            PyObject* result = dict == nullptr ? nullptr : PyObject_CallOneArg(callable_, dict);
            Py_XDECREF(dict);
            if (result == nullptr) {
                panic.emplace(python_panic_from_pending_error(callable_raised_text));
            } else {
                Py_DECREF(result);
            }
            restore_pending_error(saved);
        }
        if (panic) throw *panic;
    }

  private:
    PyObject* callable_;
};

PyObject* new_text(const std::string& text) {
    return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

PyObject* new_optional_text(const std::optional<std::string>& text) {
    return text ? new_text(*text) : Py_NewRef(Py_None);
}

PyObject* new_datetime(const kdcore::utils::LocalDateTime& time) {
    if (PyDateTimeAPI == nullptr) {
        PyDateTime_IMPORT;
        if (PyDateTimeAPI == nullptr) return nullptr;
    }
    // datetime has no leap second: it shows as the last second before it.
    const int second = time.second > 59 ? 59 : static_cast<int>(time.second);
    return PyDateTime_FromDateAndTime(time.year, static_cast<int>(time.month),
                                      static_cast<int>(time.day), static_cast<int>(time.hour),
                                      static_cast<int>(time.minute), second,
                                      static_cast<int>(time.nanosecond / 1000));
}

// Stores `value` (a new reference, null meaning failure) under `key`.
bool set_item(PyObject* dict, const char* key, PyObject* value) {
    if (value == nullptr) return false;
    const int result = PyDict_SetItemString(dict, key, value);
    Py_DECREF(value);
    return result == 0;
}

}  // namespace

kdcore::ext::kdlog::LogCallbackEXT make_log_callback(PyObject* callable) {
    return kdcore::ext::kdlog::LogCallbackEXT(PythonLogCallable(callable), callable);
}

PyObject* log_message_dict(LogMessageEXT message) {
    PyObject* dict = PyDict_New();
    if (dict == nullptr) return nullptr;
    const bool filled =
        set_item(dict, "level",
                 PyLong_FromUnsignedLong(kdcore::ext::kdlog::log_level_value(message.level))) &&
        set_item(dict, "timepoint", new_datetime(message.timepoint)) &&
        set_item(dict, "message", new_text(message.message)) &&
        set_item(dict, "module", new_text(message.module)) &&
        set_item(dict, "file", new_optional_text(message.file)) &&
        set_item(dict, "line",
                 message.line ? PyLong_FromUnsignedLong(*message.line) : Py_NewRef(Py_None)) &&
        set_item(dict, "thread_name", new_optional_text(message.thread_name));
    if (!filled) {
        Py_DECREF(dict);
        return nullptr;
    }
    return dict;
}

}  // namespace kdpi_sys
