#pragma once
// A broken internal invariant: never an expected failure. The text goes to standard error when
// the panic is raised; the Python boundary turns it into PanicException.
#include <stdexcept>
#include <string>

#include <fmt/format.h>

namespace kdinstr::utils {

class Panic : public std::runtime_error {
public:
    explicit Panic(const std::string& message) : std::runtime_error(message) {}
};

// Prints the message to standard error and throws Panic.
[[noreturn]] void panic(const std::string& message);

template <typename... Args>
[[noreturn]] void panic(fmt::format_string<Args...> templ, Args&&... args) {
    panic(fmt::format(templ, std::forward<Args>(args)...));
}

}  // namespace kdinstr::utils
