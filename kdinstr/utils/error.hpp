#pragma once
// The one error type of the IR library. Each variant has one fixed message; the message is the
// only text form of an error.
#include <fmt/format.h>

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/symbol.hpp"
#include "kdinstr/utils/text_list.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::utils {

// One located diagnostic of the assembly parser; offsets are bytes into the UTF-8 source,
// start inclusive, end exclusive.
struct ParserError {
    std::optional<std::string> file;
    std::size_t start = 0;
    std::size_t end = 0;
    std::string message;

    bool operator==(const ParserError&) const = default;

    // ParserError { file: None, start: 4, end: 9, message: "..." }
    std::string debug() const;
    // Test frameworks print it in its debug form.
    friend void PrintTo(const ParserError& e, std::ostream* os) { *os << e.debug(); }
};

class Error {
  public:
    struct DuplicateDefinition {
        modules::Name name;
        bool operator==(const DuplicateDefinition&) const = default;
    };
    struct MissingEntryBlock {
        bool operator==(const MissingEntryBlock&) const = default;
    };
    struct UndefinedName {
        modules::Name name;
        bool operator==(const UndefinedName&) const = default;
    };
    struct UndefinedInternalFunction {
        std::string function;
        Uuid reference;
        bool operator==(const UndefinedInternalFunction&) const = default;
    };
    struct UndefinedExternalFunction {
        std::string function;
        Uuid reference;
        bool operator==(const UndefinedExternalFunction&) const = default;
    };
    // Wildcard texts ("A".."Z", "_26", ..) in ascending index order.
    struct UnsoundWildcardTypes {
        std::string function;
        std::vector<std::string> expected;
        std::vector<std::string> found;
        bool operator==(const UnsoundWildcardTypes&) const = default;
    };
    struct MetaOperand {
        bool operator==(const MetaOperand&) const = default;
    };
    struct PhiNotFirst {
        modules::Label label;
        bool operator==(const PhiNotFirst&) const = default;
    };
    struct UndefinedBlock {
        modules::Label label;
        std::string function;
        bool operator==(const UndefinedBlock&) const = default;
    };
    // `instruction` is the instruction's debug text.
    struct MetaInstruction {
        std::string function;
        std::string instruction;
        bool operator==(const MetaInstruction&) const = default;
    };
    struct TooManyBlocks {
        std::string function;
        std::size_t count = 0;
        std::size_t maximum = 0;
        bool operator==(const TooManyBlocks&) const = default;
    };
    struct TooManyBlockInstructions {
        modules::Label label;
        std::string function;
        std::size_t count = 0;
        std::size_t maximum = 0;
        bool operator==(const TooManyBlockInstructions&) const = default;
    };
    struct TooManyInstructions {
        std::string function;
        std::size_t count = 0;
        std::size_t maximum = 0;
        bool operator==(const TooManyInstructions&) const = default;
    };
    struct TooManyParameters {
        std::string function;
        std::size_t count = 0;
        std::size_t maximum = 0;
        bool operator==(const TooManyParameters&) const = default;
    };
    struct TooManyWildcardTypes {
        std::string function;
        std::size_t count = 0;
        std::size_t maximum = 0;
        bool operator==(const TooManyWildcardTypes&) const = default;
    };
    struct DuplicateBlockLabel {
        modules::Label label;
        bool operator==(const DuplicateBlockLabel&) const = default;
    };
    // `io_error` is the I/O error's own message (the operating system's text).
    struct FileNotAccessible {
        std::string path;
        std::string io_error;
        bool operator==(const FileNotAccessible&) const = default;
    };
    // `tokens` (debug texts of the tokens the parser worked on) is carried, never shown.
    struct ParserErrors {
        std::vector<ParserError> errors;
        // The debug text of every token of the source (none after lexer errors).
        TextList tokens;
        bool operator==(const ParserErrors&) const = default;
    };
    // `other` is carried, never shown.
    struct FunctionExists {
        std::string name;
        std::string other;
        bool operator==(const FunctionExists&) const = default;
    };
    struct UndefinedInternalFunctions {
        std::vector<std::string> names;
        bool operator==(const UndefinedInternalFunctions&) const = default;
    };
    struct DuplicateFunctionName {
        std::string name;
        bool operator==(const DuplicateFunctionName&) const = default;
    };
    struct UnresolvedFunction {
        modules::FunctionPointerKind kind;
        std::string name;
        bool operator==(const UnresolvedFunction&) const = default;
    };
    struct TypeMismatch {
        std::string instruction;
        std::string expected;
        std::string found;
        bool operator==(const TypeMismatch&) const = default;
    };
    struct IndexOutOfBounds {
        std::size_t index = 0;
        std::string type;
        std::size_t maximum = 0;
        std::string instruction;
        bool operator==(const IndexOutOfBounds&) const = default;
    };

    // The variant index (0..23) is the variant's number.
    using Variant =
        std::variant<DuplicateDefinition, MissingEntryBlock, UndefinedName,
                     UndefinedInternalFunction, UndefinedExternalFunction, UnsoundWildcardTypes,
                     MetaOperand, PhiNotFirst, UndefinedBlock, MetaInstruction, TooManyBlocks,
                     TooManyBlockInstructions, TooManyInstructions, TooManyParameters,
                     TooManyWildcardTypes, DuplicateBlockLabel, FileNotAccessible, ParserErrors,
                     FunctionExists, UndefinedInternalFunctions, DuplicateFunctionName,
                     UnresolvedFunction, TypeMismatch, IndexOutOfBounds>;

    // Implicit from any variant: `return Error::UndefinedName{name};` works in a
    // std::expected<T, Error> function via std::unexpected(Error(...)).
    template <typename V>
    requires std::is_constructible_v<Variant, V&&> &&
        (!std::is_same_v<std::remove_cvref_t<V>, Error>)Error(V&& v)
        : value_(std::forward<V>(v)) {}

    std::size_t index() const { return value_.index(); }
    const Variant& variant() const { return value_; }
    Variant& variant() { return value_; }
    template <typename V>
    bool is() const {
        return std::holds_alternative<V>(value_);
    }
    template <typename V>
    const V* get_if() const {
        return std::get_if<V>(&value_);
    }

    // The variant's message with its placeholders filled.
    std::string message() const;

    bool operator==(const Error&) const = default;
    // Test frameworks print it by its message.
    friend void PrintTo(const Error& e, std::ostream* os) { *os << e.message(); }

  private:
    Variant value_;
};

}  // namespace kdinstr::utils

template <>
struct fmt::formatter<kdinstr::utils::Error> : fmt::formatter<std::string_view> {
    auto format(const kdinstr::utils::Error& e, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(e.message(), ctx);
    }
};
