#pragma once
// Argument parsing for module functions in the fast-call convention with keywords
// (METH_FASTCALL | METH_KEYWORDS). Every parameter is required and may be passed by position or
// by keyword. Failures set a TypeError whose text follows the interpreter's own wording for
// Python functions; conversion failures of one argument name that argument.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

namespace kdpi_sys {

// A module function's name (as shown in messages, without parentheses) and parameter names.
template <std::size_t N>
struct Signature {
    const char* function;
    std::array<const char*, N> parameters;
};

// Matches the call's arguments to `parameters`: on success `out[i]` holds a borrowed reference
// to the value of parameter i. Otherwise returns false with TypeError set:
//   "{f}() takes {n} positional argument(s) but {m} was/were given"
//   "{f}() keywords must be strings"
//   "{f}() got an unexpected keyword argument '{k}'"
//   "{f}() got multiple values for argument '{p}'"
//   "{f}() missing {n} required positional argument(s): 'a', 'b', and 'c'"
bool match_arguments(const char* function, std::span<const char* const> parameters,
                     PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames,
                     std::span<PyObject*> out);

template <std::size_t N>
std::optional<std::array<PyObject*, N>> parse_arguments(const Signature<N>& signature,
                                                        PyObject* const* args, Py_ssize_t nargs,
                                                        PyObject* kwnames) {
    std::array<PyObject*, N> out{};
    if (!match_arguments(signature.function, signature.parameters, args, nargs, kwnames, out)) {
        return std::nullopt;
    }
    return out;
}

// When the pending exception is a TypeError, replaces it by a TypeError
// "argument '{parameter}': {original text}" whose cause is the original; any other pending
// exception (OverflowError, MemoryError, ...) is left as it is.
void name_argument_in_error(const char* parameter);

// The interpreter's conversion to an unsigned 64-bit integer (index protocol accepted). A
// negative or too large value leaves the interpreter's OverflowError; a value that is not an
// integer gives the TypeError naming `parameter`.
std::optional<std::uint64_t> extract_u64(const char* parameter, PyObject* value);

// Accepts instances of `type` and of its subclasses; anything else gives TypeError
// "argument '{parameter}': '{actual type}' object is not an instance of '{type}'".
bool check_argument_type(const char* parameter, PyObject* value, PyTypeObject* type);

}  // namespace kdpi_sys
