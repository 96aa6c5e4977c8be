// factorial and fibonacci over unsigned 64-bit integers, with overflow refused rather than
// wrapped.
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>
#include <optional>

#include "kdpi_sys/args.hpp"
#include "kdpi_sys/module_member.hpp"
#include "kdpi_sys/panic_boundary.hpp"

namespace kdpi_sys {

namespace {

constexpr const char* overflow_text = "integer overflow";

std::optional<std::uint64_t> checked_factorial(std::uint64_t n) {
    std::uint64_t product = 1;
    for (std::uint64_t k = 2; k <= n; ++k) {
        if (__builtin_mul_overflow(product, k, &product)) return std::nullopt;
    }
    return product;
}

// Computes only the terms up to F(n), so F(93), the last one below 2^64, is reached.
std::optional<std::uint64_t> checked_fibonacci(std::uint64_t n) {
    std::uint64_t previous = 0;  // F(k - 1)
    std::uint64_t current = 0;   // F(k), starting at k = 0
    for (std::uint64_t k = 1; k <= n; ++k) {
        std::uint64_t next = 0;
        if (k == 1) {
            next = 1;
        } else if (__builtin_add_overflow(previous, current, &next)) {
            return std::nullopt;
        }
        previous = current;
        current = next;
    }
    return current;
}

using U64Function = std::optional<std::uint64_t> (*)(std::uint64_t);

PyObject* call_u64_function(const Signature<1>& signature, U64Function compute,
                            PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_guarded([&]() -> PyObject* {
        const auto arguments = parse_arguments(signature, args, nargs, kwnames);
        if (!arguments) return nullptr;
        const auto n = extract_u64(signature.parameters[0], (*arguments)[0]);
        if (!n) return nullptr;
        const auto result = compute(*n);
        if (!result) {
            PyErr_SetString(PyExc_OverflowError, overflow_text);
            return nullptr;
        }
        return PyLong_FromUnsignedLongLong(*result);
    });
}

constexpr Signature<1> factorial_signature{"factorial", {"n"}};
constexpr Signature<1> fibonacci_signature{"fibonacci", {"n"}};

PyObject* factorial(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_u64_function(factorial_signature, checked_factorial, args, nargs, kwnames);
}

PyObject* fibonacci(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    return call_u64_function(fibonacci_signature, checked_fibonacci, args, nargs, kwnames);
}

PyMethodDef factorial_def = {
    "factorial", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(factorial)),
    METH_FASTCALL | METH_KEYWORDS, "factorial(n)\n--\n\nComputes the factorial of a number."};

PyMethodDef fibonacci_def = {
    "fibonacci", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(fibonacci)),
    METH_FASTCALL | METH_KEYWORDS, "fibonacci(n)\n--\n\nComputes the fibonacci of a number."};

int add_factorial(PyObject* module) { return add_function(module, &factorial_def); }
int add_fibonacci(PyObject* module) { return add_function(module, &fibonacci_def); }

const ModuleMember factorial_member{MemberSlot::Factorial, add_factorial};
const ModuleMember fibonacci_member{MemberSlot::Fibonacci, add_fibonacci};

}  // namespace

}  // namespace kdpi_sys
