#include "kdpi_sys/args.hpp"

#include <fmt/format.h>

#include <string>
#include <string_view>
#include <vector>

#include "kdpi_sys/python_error.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* too_many_positional_text =
    "{}() takes {} positional argument{} but {} {} given";
constexpr const char* keywords_not_strings_text = "{}() keywords must be strings";
constexpr const char* unexpected_keyword_text = "{}() got an unexpected keyword argument '{}'";
constexpr const char* multiple_values_text = "{}() got multiple values for argument '{}'";
constexpr const char* missing_arguments_text = "{}() missing {} required positional argument{}: {}";
constexpr const char* argument_error_text = "argument '{}': {}";
constexpr const char* wrong_type_text = "argument '{}': '{}' object is not an instance of '{}'";

void raise_type_error(const std::string& message) {
    set_error_text(PyExc_TypeError, message);
}

// The interpreter's list form for missing names: 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_name_list(std::span<const char* const> names) {
    std::string text;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0) {
            if (names.size() > 2) text += ",";
            text += i + 1 == names.size() ? " and " : " ";
        }
        text += fmt::format("'{}'", names[i]);
    }
    return text;
}

// The type's __name__ as UTF-8, for messages; falls back to tp_name if the name is unreadable.
std::string type_name(PyTypeObject* type) {
    std::string text = type->tp_name;
    if (PyObject* name = PyType_GetName(type)) {
        if (const char* utf8 = PyUnicode_AsUTF8(name)) text = utf8;
        Py_DECREF(name);
    }
    PyErr_Clear();
    return text;
}

}  // namespace

bool match_arguments(const char* function, std::span<const char* const> parameters,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     std::span<PyObject*> out) {
    const auto count = static_cast<Py_ssize_t>(parameters.size());
    if (nargs > count) {
        raise_type_error(fmt::format(fmt::runtime(too_many_positional_text), function, count,
                                     count == 1 ? "" : "s", nargs, nargs == 1 ? "was" : "were"));
        return false;
    }
    for (std::size_t i = 0; i < out.size(); ++i) {
        out[i] = static_cast<Py_ssize_t>(i) < nargs ? args[i] : nullptr;
    }
    const Py_ssize_t nkw = kwnames == nullptr ? 0 : PyTuple_GET_SIZE(kwnames);
    for (Py_ssize_t k = 0; k < nkw; ++k) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            raise_type_error(fmt::format(fmt::runtime(keywords_not_strings_text), function));
            return false;
        }
        std::size_t slot = parameters.size();
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            if (PyUnicode_CompareWithASCIIString(key, parameters[i]) == 0) {
                slot = i;
                break;
            }
        }
        if (slot == parameters.size()) {
            Py_ssize_t size = 0;
            const char* utf8 = PyUnicode_AsUTF8AndSize(key, &size);
            if (utf8 == nullptr) return false;
            raise_type_error(fmt::format(fmt::runtime(unexpected_keyword_text), function,
                                         std::string_view(utf8, static_cast<std::size_t>(size))));
            return false;
        }
        if (out[slot] != nullptr) {
            raise_type_error(
                fmt::format(fmt::runtime(multiple_values_text), function, parameters[slot]));
            return false;
        }
        out[slot] = args[nargs + k];
    }
    std::vector<const char*> missing;
    for (std::size_t i = 0; i < parameters.size(); ++i) {
        if (out[i] == nullptr) missing.push_back(parameters[i]);
    }
    if (!missing.empty()) {
        raise_type_error(fmt::format(fmt::runtime(missing_arguments_text), function, missing.size(),
                                     missing.size() == 1 ? "" : "s", quoted_name_list(missing)));
        return false;
    }
    return true;
}

void name_argument_in_error(const char* parameter) {
    PyObject* original = take_pending_error();
    if (original == nullptr || !PyErr_GivenExceptionMatches(original, PyExc_TypeError)) {
        restore_pending_error(original);
        return;
    }
    PyObject* text = PyObject_Str(original);
    const char* utf8 = text == nullptr ? nullptr : PyUnicode_AsUTF8(text);
    if (utf8 == nullptr) {
        // The original cannot even be shown: keep it rather than lose the failure.
        Py_XDECREF(text);
        PyErr_Clear();
        restore_pending_error(original);
        return;
    }
    const std::string message = fmt::format(fmt::runtime(argument_error_text), parameter, utf8);
    Py_DECREF(text);
    PyObject* named = PyObject_CallFunction(PyExc_TypeError, "s", message.c_str());
    if (named == nullptr) {
        Py_DECREF(original);
        return;
    }
    PyException_SetCause(named, original);  // steals `original`
    PyErr_SetObject(PyExc_TypeError, named);
    Py_DECREF(named);
}

std::optional<std::uint64_t> extract_u64(const char* parameter, PyObject* value) {
    PyObject* index = PyNumber_Index(value);
    if (index == nullptr) {
        name_argument_in_error(parameter);
        return std::nullopt;
    }
    const unsigned long long result = PyLong_AsUnsignedLongLong(index);
    Py_DECREF(index);
    if (result == static_cast<unsigned long long>(-1) && PyErr_Occurred() != nullptr) {
        name_argument_in_error(parameter);
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(result);
}

bool check_argument_type(const char* parameter, PyObject* value, PyTypeObject* type) {
    if (PyObject_TypeCheck(value, type)) return true;
    raise_type_error(fmt::format(fmt::runtime(wrong_type_text), parameter,
                                 type_name(Py_TYPE(value)), type_name(type)));
    return false;
}

}  // namespace kdpi_sys
