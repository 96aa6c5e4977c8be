#include "kdcore/utils/kd_error.hpp"

namespace kdcore::utils {

namespace {

template <typename... F>
struct Overloaded : F... {
    using F::operator()...;
};

}  // namespace

std::string KdError::message() const {
    return std::visit(
        Overloaded{
            [](const Io& e) { return fmt::format("I/O error: {}", e.error); },
            [](const ManifestParse& e) {
                return fmt::format("Failed to parse manifest file '{}': {}", e.path, e.error);
            },
            [](const Unknown& e) { return fmt::format("An unknown error occurred: {}", e.text); },
            [](const PluginNotFound& e) {
                return fmt::format("Plugin with name '{}' not found", e.name);
            },
            [](const Utf8& e) { return fmt::format("UTF-8 conversion error: {}", e.error); },
            [](const Instr& e) { return e.error.message(); },
            [](const NotFound& e) {
                return fmt::format("Failed to find {} with key '{}'", e.kind, e.key);
            },
            [](const Duplicated& e) {
                return fmt::format("Duplicated {} with key '{}'", e.kind, e.key);
            },
        },
        value_);
}

}  // namespace kdcore::utils
