#pragma once
// Reading IR assembly text in tests: a module and a registry that successive texts extend, the
// registry's types by name, the functions of the module by name, and the located errors of a
// text that must fail.
#include <gtest/gtest.h>

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "kdinstr/modules/module.hpp"
#include "kdinstr/modules/parser/driver.hpp"
#include "kdinstr/types/any_type.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::tests {

struct TextParse {
    modules::Module module;
    types::TypeRegistry registry;

    std::expected<void, utils::Error> read(std::string_view text) {
        return modules::parser::extend_module_from_string(module, registry, text);
    }

    types::Typeref type(types::AnyType t) { return registry.search_or_insert(std::move(t)); }
    types::Typeref i(std::uint32_t bits) { return type(types::primary::IType{bits}); }
    types::Typeref fp(types::primary::FType kind) { return type(kind); }
    types::Typeref ptr() { return type(types::primary::Ptr{}); }

    // The one function of the module that bears `name` (a test failure when there is not
    // exactly one).
    const modules::Function& function(std::string_view name) const {
        const modules::Function* found = nullptr;
        std::size_t count = 0;
        for (const auto& [uuid, f] : module.functions)
            if (f->name && *f->name == name) {
                found = f.get();
                ++count;
            }
        if (count != 1) {
            ADD_FAILURE() << count << " functions named " << name;
            static const modules::Function none;
            return none;
        }
        return *found;
    }
};

inline utils::ParserError perr(std::size_t start, std::size_t end, std::string message) {
    return utils::ParserError{std::nullopt, start, end, std::move(message)};
}

// The located errors of `text` read into a fresh module (a test failure, and an empty list,
// when the text does not fail with parser errors).
inline std::vector<utils::ParserError> parser_errors(std::string_view text) {
    TextParse p;
    auto result = p.read(text);
    if (result) {
        ADD_FAILURE() << "accepted: " << text;
        return {};
    }
    const auto* errors = result.error().get_if<utils::Error::ParserErrors>();
    if (errors == nullptr) {
        ADD_FAILURE() << "not a parser error: " << result.error().message() << "\n" << text;
        return {};
    }
    return errors->errors;
}

// The messages alone, for tables where the spans are checked elsewhere.
inline std::vector<std::string> parser_messages(std::string_view text) {
    std::vector<std::string> out;
    for (auto& e : parser_errors(text)) out.push_back(std::move(e.message));
    return out;
}

}  // namespace kdinstr::tests
