#pragma once
// The one error type of every fallible engine operation. Its message is its only text form;
// each variant has one fixed template, and nothing converts other errors into it implicitly.
#include <fmt/format.h>

#include <string>
#include <type_traits>
#include <utility>
#include <variant>

#include "kdinstr/utils/error.hpp"

namespace kdcore::utils {

class KdError {
  public:
    // `error` is the I/O error's own text.
    struct Io {
        std::string error;
        bool operator==(const Io&) const = default;
    };
    // `error` is the manifest parser's own text.
    struct ManifestParse {
        std::string error;
        std::string path;
        bool operator==(const ManifestParse&) const = default;
    };
    struct Unknown {
        std::string text;
        bool operator==(const Unknown&) const = default;
    };
    struct PluginNotFound {
        std::string name;
        bool operator==(const PluginNotFound&) const = default;
    };
    // `error` is the decoding error's own text.
    struct Utf8 {
        std::string error;
        bool operator==(const Utf8&) const = default;
    };
    struct Instr {
        kdinstr::utils::Error error;
        bool operator==(const Instr&) const = default;
    };
    struct NotFound {
        std::string kind;
        std::string key;
        bool operator==(const NotFound&) const = default;
    };
    struct Duplicated {
        std::string kind;
        std::string key;
        bool operator==(const Duplicated&) const = default;
    };

    using Variant =
        std::variant<Io, ManifestParse, Unknown, PluginNotFound, Utf8, Instr, NotFound, Duplicated>;

    // From any variant: `return std::unexpected(KdError(KdError::Unknown{"..."}));`.
    template <typename V>
    requires std::is_constructible_v<Variant, V&&> &&
        (!std::is_same_v<std::remove_cvref_t<V>, KdError>)KdError(V&& v)
        : value_(std::forward<V>(v)) {}

    const Variant& variant() const { return value_; }
    template <typename V>
    bool is() const {
        return std::holds_alternative<V>(value_);
    }
    template <typename V>
    const V* get_if() const {
        return std::get_if<V>(&value_);
    }

    // The variant's template with its payload filled in; Instr shows the IR error's message alone.
    std::string message() const;

    bool operator==(const KdError&) const = default;

  private:
    Variant value_;
};

}  // namespace kdcore::utils

template <>
struct fmt::formatter<kdcore::utils::KdError> : fmt::formatter<std::string_view> {
    auto format(const kdcore::utils::KdError& e, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(e.message(), ctx);
    }
};
