#include "kdpi_sys/record_reading.hpp"

#include <fmt/format.h>

#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* field_error_text = "failed to extract field {}.{}";
constexpr const char* str_to_list_text = "Can't extract `str` to `Vec`";
constexpr const char* not_a_sequence_text = "'{}' object is not a sequence";
constexpr const char* not_a_str_text = "'{}' object is not a str";
constexpr const char* out_of_range_text = "out of range integral type conversion attempted";
constexpr const char* unprintable_text = "<exception str() failed>";

std::string utf8_or(PyObject* text, std::string_view fallback) {
    Py_ssize_t size = 0;
    const char* utf8 = text == nullptr ? nullptr : PyUnicode_AsUTF8AndSize(text, &size);
    if (utf8 == nullptr) {
        PyErr_Clear();
        return std::string(fallback);
    }
    return std::string(utf8, static_cast<std::size_t>(size));
}

std::string short_type_name(PyObject* object) {
    PyObject* name = PyType_GetName(Py_TYPE(object));
    std::string text = utf8_or(name, Py_TYPE(object)->tp_name);
    Py_XDECREF(name);
    return text;
}

void raise_type_error(const std::string& message) {
    PyErr_SetString(PyExc_TypeError, message.c_str());
}

}  // namespace

bool is_ordinary_exception(PyObject* exception) {
    return PyObject_TypeCheck(exception, reinterpret_cast<PyTypeObject*>(PyExc_Exception)) != 0;
}

void raise_field_error(std::string_view record, std::string_view field) {
    PyObject* original = take_pending_error();
    if (original == nullptr) {
        // A converter reported failure without an exception: that is our own bug; do not
        // pretend the field was read.
        PyErr_SetString(PyExc_SystemError, "a record field failed without an exception");
        original = take_pending_error();
    }
    if (!is_ordinary_exception(original)) {
        restore_pending_error(original);
        return;
    }
    const std::string message = fmt::format(fmt::runtime(field_error_text), record, field);
    PyObject* error = PyObject_CallFunction(PyExc_TypeError, "s#", message.data(),
                                            static_cast<Py_ssize_t>(message.size()));
    if (error == nullptr) {
        Py_DECREF(original);
        return;
    }
    PyException_SetCause(error, original);  // steals `original`
    restore_pending_error(error);
}

void raise_invalid_record(std::string_view prefix) {
    PyObject* original = take_pending_error();
    if (original == nullptr) {
        PyErr_SetString(PyExc_SystemError, "a record failed to read without an exception");
        return;
    }
    if (!is_ordinary_exception(original)) {
        restore_pending_error(original);
        return;
    }
    PyObject* qualname = PyType_GetQualName(Py_TYPE(original));
    const std::string type_text = utf8_or(qualname, Py_TYPE(original)->tp_name);
    Py_XDECREF(qualname);
    PyObject* text = PyObject_Str(original);
    const std::string value_text = utf8_or(text, unprintable_text);
    Py_XDECREF(text);
    Py_DECREF(original);
    const std::string message = fmt::format("{}{}: {}", prefix, type_text, value_text);
    set_error_text(PyExc_TypeError, message);
}

std::optional<std::uint64_t> read_unsigned(PyObject* value, std::uint64_t max) {
    PyObject* index = PyNumber_Index(value);
    if (index == nullptr) return std::nullopt;
    const unsigned long long result = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    if (result == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        return std::nullopt;
    }
    if (result > max) {
        PyErr_SetString(PyExc_OverflowError, out_of_range_text);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(result);
}

std::optional<BorrowedText> read_borrowed_text(PyObject* value) {
    if (!PyUnicode_Check(value)) {
        raise_type_error(fmt::format(fmt::runtime(not_a_str_text), short_type_name(value)));
        return std::nullopt;
    }
    Py_ssize_t size = 0;
    // The str keeps its UTF-8 form (its own characters when they are ASCII) for its lifetime.
    const char* utf8 = PyUnicode_AsUTF8AndSize(value, &size);
    if (utf8 == nullptr) return std::nullopt;  // lone surrogates: UnicodeEncodeError
    return BorrowedText(value, std::string_view(utf8, static_cast<std::size_t>(size)));
}

std::optional<std::string> read_text(PyObject* value) {
    auto text = read_borrowed_text(value);
    if (!text) return std::nullopt;
    return std::string(text->text());
}

std::optional<std::optional<std::string>> read_optional_text(PyObject* value) {
    if (value == Py_None) return std::optional<std::string>();
    auto text = read_text(value);
    if (!text) return std::nullopt;
    return std::optional<std::string>(std::move(*text));
}

PyObject* sequence_iterator(PyObject* value) {
    if (PyUnicode_Check(value)) {
        raise_type_error(str_to_list_text);
        return nullptr;
    }
    if (!PySequence_Check(value)) {
        raise_type_error(fmt::format(fmt::runtime(not_a_sequence_text), short_type_name(value)));
        return nullptr;
    }
    return PyObject_GetIter(value);
}

std::optional<std::string> fully_qualified_type_name(PyTypeObject* type) {
#if PY_VERSION_HEX >= 0x030D0000
    PyObject* name = PyType_GetFullyQualifiedName(type);
    if (name == nullptr) return std::nullopt;
    auto text = read_text(name);
    Py_DECREF(name);
    return text;
#else
    PyObject* qualname = PyType_GetQualName(type);
    if (qualname == nullptr) return std::nullopt;
    auto qualified = read_text(qualname);
    Py_DECREF(qualname);
    if (!qualified) return std::nullopt;
    PyObject* module = PyObject_GetAttrString(reinterpret_cast<PyObject*>(type), "__module__");
    if (module == nullptr) return std::nullopt;
    std::optional<std::string> result = qualified;
    if (PyUnicode_Check(module) && PyUnicode_CompareWithASCIIString(module, "builtins") != 0 &&
        PyUnicode_CompareWithASCIIString(module, "__main__") != 0) {
        auto module_text = read_text(module);
        result = module_text ? std::optional<std::string>(*module_text + "." + *qualified)
                             : std::nullopt;
    }
    Py_DECREF(module);
    return result;
#endif
}

}  // namespace kdpi_sys
