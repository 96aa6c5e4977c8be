#pragma once
// Reading engine records from arbitrary Python objects by attribute name. Every reader returns
// its value, or std::nullopt with the Python exception that stopped it pending; the first
// failure ends a record, and nothing read before it survives.
//
// Record rules: a failing attribute lookup is the record's error unchanged; a value that fails
// to convert (a nested record included) becomes TypeError "failed to extract field {}.{}" with
// the conversion error as its cause. Exceptions that are not an `Exception` (KeyboardInterrupt,
// SystemExit, PanicException) are never rewrapped: they are not reading errors.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace kdpi_sys {

// True for an instance of Exception (or a subclass); false for other BaseExceptions.
bool is_ordinary_exception(PyObject* exception);

// Replaces the pending conversion error by TypeError "failed to extract field {record}.{field}"
// whose cause is that error. A pending exception that is not an `Exception` stays as it is.
void raise_field_error(std::string_view record, std::string_view field);

// Replaces the pending reading error by TypeError `prefix` + "{qualified type name}: {text}",
// not chained to it (for "Invalid InstanceCreateInfo: " and "Invalid ModuleCompileInfo: ").
// A pending exception that is not an `Exception` stays as it is.
void raise_invalid_record(std::string_view prefix);

// Gets attribute `field` of `object` and converts it with `convert` (PyObject* borrowed ->
// std::optional<T>), applying the record rules above.
template <typename Convert>
auto read_field(PyObject* object, std::string_view record, const char* field, Convert&& convert)
    -> std::invoke_result_t<Convert&, PyObject*> {
    PyObject* value = PyObject_GetAttrString(object, field);
    if (value == nullptr) return std::nullopt;
    auto converted = convert(value);
    Py_DECREF(value);
    if (!converted) raise_field_error(record, field);
    return converted;
}

// The interpreter's integer conversion (index protocol accepted), then a range check against
// `max`: OverflowError for a negative or too large value, TypeError for a non-integer.
std::optional<std::uint64_t> read_unsigned(PyObject* value, std::uint64_t max);

template <typename T>
std::optional<T> read_integer(PyObject* value) {
    static_assert(std::is_unsigned_v<T>);
    auto read = read_unsigned(value, static_cast<std::uint64_t>(static_cast<T>(-1)));
    if (!read) return std::nullopt;
    return static_cast<T>(*read);
}

// A `str` (subclasses included) as UTF-8; anything else is a TypeError.
std::optional<std::string> read_text(PyObject* value);

// A `str` read as read_text does (the same errors), as a view of its UTF-8 form instead of a
// copy: the view lives as long as this value, which holds a reference to the str (release it
// with the GIL held).
class BorrowedText {
  public:
    BorrowedText(PyObject* owner, std::string_view text) : owner_(owner), text_(text) {
        Py_INCREF(owner_);
    }
    BorrowedText(BorrowedText&& other) noexcept
        : owner_(std::exchange(other.owner_, nullptr)), text_(other.text_) {}
    BorrowedText& operator=(BorrowedText&&) = delete;
    ~BorrowedText() { Py_XDECREF(owner_); }

    std::string_view text() const { return text_; }

  private:
    PyObject* owner_;
    std::string_view text_;
};
std::optional<BorrowedText> read_borrowed_text(PyObject* value);

// None gives an absent text; otherwise as read_text.
std::optional<std::optional<std::string>> read_optional_text(PyObject* value);

// Checks that `value` may be read as a list: passes the interpreter's sequence check and is not
// a `str` ("Can't extract `str` to `Vec`"). Returns a new iterator over it, or nullptr with a
// TypeError (or the iteration protocol's own error) pending.
PyObject* sequence_iterator(PyObject* value);

// A sequence read item by item in iteration order with `item` (PyObject* borrowed ->
// std::optional<T>); the first failing item ends it with that item's error.
template <typename Item>
auto read_sequence(PyObject* value, Item&& item)
    -> std::optional<std::vector<typename std::invoke_result_t<Item&, PyObject*>::value_type>> {
    using T = typename std::invoke_result_t<Item&, PyObject*>::value_type;
    PyObject* iterator = sequence_iterator(value);
    if (iterator == nullptr) return std::nullopt;
    std::vector<T> items;
    while (PyObject* element = PyIter_Next(iterator)) {
        auto converted = item(element);
        Py_DECREF(element);
        if (!converted) {
            Py_DECREF(iterator);
            return std::nullopt;
        }
        items.push_back(std::move(*converted));
    }
    Py_DECREF(iterator);
    if (PyErr_Occurred() != nullptr) return std::nullopt;
    return items;
}

// The type's fully qualified name: "module.qualname", or the qualified name alone for types of
// "builtins" and "__main__" (as the interpreter shows it from 3.13 on). Empty with a Python
// error pending when the names cannot be read.
std::optional<std::string> fully_qualified_type_name(PyTypeObject* type);

}  // namespace kdpi_sys
