#include "kdinstr/utils/error.hpp"

#include <gtest/gtest.h>

#include <expected>
#include <string>
#include <vector>

using namespace kdinstr::utils;
using kdinstr::modules::FunctionPointerKind;
using kdinstr::modules::Label;
using kdinstr::modules::Name;

namespace {

Uuid sample_uuid() {
    Uuid u;
    for (int i = 0; i < 16; ++i) u.bytes[i] = static_cast<std::uint8_t>(0x10 + i);
    return u;
}

}  // namespace

TEST(Error, EveryMessageInVariantOrder) {
    const std::string uuid = "10111213-1415-1617-1819-1a1b1c1d1e1f";
    struct Case {
        Error error;
        std::string expected;
    };
    const std::vector<Case> cases = {
        {Error::DuplicateDefinition{Name{3}},
         "Multiple operations with shared destination target violate SSA requirements. The name "
         "`%3` is defined more than once within the same function."},
        {Error::MissingEntryBlock{},
         "By convention, the entrypoint basic block of a function must have label `label_0`. No "
         "such basic block was found."},
        {Error::UndefinedName{Name{12}},
         "A operand refers to an undefined name: `%12`. This name was never defined in the "
         "module."},
        {Error::UndefinedInternalFunction{"main", sample_uuid()},
         "An instruction of function `main` refers to an internal function referenced by `" + uuid +
             "` that is not defined within the module."},
        {Error::UndefinedExternalFunction{"main", sample_uuid()},
         "An instruction of function `main` refers to an external function referenced by `" + uuid +
             "` that is not defined within the module."},
        {Error::UnsoundWildcardTypes{"f", {"A", "_27"}, {}},
         "Unsound wildcard type usage in function `f`: expected wildcard types `[\"A\", "
         "\"_27\"]`, but found `[]`."},
        {Error::MetaOperand{},
         "Meta operands are only available internally for properties and attributes "
         "constructions. They SHOULD NOT appear in regular instructions."},
        {Error::PhiNotFirst{Label{2}},
         "Phi instructions must be the first instructions in a basic block or follow other phi "
         "instructions. The basic block `block_2` contains a phi instruction that is not the "
         "first instruction."},
        {Error::UndefinedBlock{Label{7}, "g"},
         "The basic block `block_7` referenced in function `g` is not defined within the "
         "function."},
        {Error::MetaInstruction{"g", "Nop { x: \"y\" }"},
         "Meta instructions are only available internally for properties and attributes "
         "constructions. They SHOULD NOT appear in regular instructions. Function `g` contains "
         "a meta-instruction `Nop { x: \"y\" }`."},
        {Error::TooManyBlocks{"h", 70000, 65535},
         "Function `h` contains 70000 basic blocks, exceeding the maximum allowed of 65535."},
        {Error::TooManyBlockInstructions{Label{4}, "h", 9, 8},
         "Basic block `block_4` in function `h` contains 9 instructions, exceeding the maximum "
         "allowed of 8."},
        {Error::TooManyInstructions{"h", 18446744073709551615ull, 10},
         "Function `h` contains 18446744073709551615 instructions, exceeding the maximum allowed "
         "of 10."},
        {Error::TooManyParameters{"h", 300, 255},
         "Function `h` contains 300 parameters, exceeding the maximum allowed of 255."},
        {Error::TooManyWildcardTypes{"h", 0, 0},
         "Function `h` contains 0 wildcard types, exceeding the maximum allowed of 0."},
        {Error::DuplicateBlockLabel{Label{0}},
         "A basic block with label `block_0` already exists in the function."},
        {Error::FileNotAccessible{"/no/such", "No such file or directory (os error 2)"},
         "The provided file `/no/such` does not exist or is not accessible: No such file or "
         "directory (os error 2)"},
        {Error::ParserErrors{{ParserError{std::nullopt, 4, 9, "bad \"x\""},
                              ParserError{std::string("a.kd"), 0, 1, "line\nbreak"}},
                             {"Newline", "Comma"}},
         "Parser errors occurred: [ParserError { file: None, start: 4, end: 9, message: \"bad "
         "\\\"x\\\"\" }, ParserError { file: Some(\"a.kd\"), start: 0, end: 1, message: "
         "\"line\\nbreak\" }]"},
        {Error::FunctionExists{"dup", "hidden"},
         "A function with the name `dup` already exists in the module."},
        {Error::UndefinedInternalFunctions{{"f", "g\\h"}},
         "The following internal functions were referenced but not defined within the module: "
         "[\"f\", \"g\\\\h\"]"},
        {Error::DuplicateFunctionName{"dup"},
         "A function with the name `dup` already exists in the module."},
        {Error::UnresolvedFunction{FunctionPointerKind::External, "a, b"},
         "The external function `a, b` was referenced but not defined within the module as "
         "either an internal or external function."},
        {Error::TypeMismatch{"%1 = iadd i32 %0, %0", "i32", "i64"},
         "Type mismatch in instruction `%1 = iadd i32 %0, %0`: expected type `i32`, but found "
         "type `i64`."},
        {Error::IndexOutOfBounds{5, "[ 4 x i32 ]", 3, "extractvalue"},
         "The provided index `5` is out of bounds for type `[ 4 x i32 ]` with maximum index `3` "
         "in instruction `extractvalue`."},
    };
    ASSERT_EQ(cases.size(), std::variant_size_v<Error::Variant>);
    for (std::size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].error.index(), i);
        EXPECT_EQ(cases[i].error.message(), cases[i].expected) << "variant " << i;
        EXPECT_EQ(fmt::format("{}", cases[i].error), cases[i].expected);
    }
}

TEST(Error, InternalKindAndEmptyParserErrors) {
    EXPECT_EQ(Error(Error::UnresolvedFunction{FunctionPointerKind::Internal, "f"}).message(),
              "The internal function `f` was referenced but not defined within the module as "
              "either an internal or external function.");
    // The token list is carried but never shown.
    EXPECT_EQ(Error(Error::ParserErrors{{}, {"Identifier(\"x\", [])"}}).message(),
              "Parser errors occurred: []");
}

namespace {

std::expected<int, Error> fail_if_negative(int v) {
    if (v < 0) return std::unexpected(Error::UndefinedName{Name{static_cast<std::uint32_t>(-v)}});
    return v;
}

}  // namespace

TEST(Error, TravelsInExpected) {
    EXPECT_EQ(fail_if_negative(2).value(), 2);
    const auto failed = fail_if_negative(-5);
    ASSERT_FALSE(failed.has_value());
    EXPECT_EQ(failed.error().message(),
              "A operand refers to an undefined name: `%5`. This name was never defined in the "
              "module.");
}

TEST(Error, ValueSemantics) {
    Error a = Error::UndefinedName{Name{1}};
    Error b = a;
    EXPECT_EQ(a, b);
    ASSERT_TRUE(b.is<Error::UndefinedName>());
    EXPECT_EQ(b.get_if<Error::UndefinedName>()->name, Name{1});
    EXPECT_EQ(b.get_if<Error::MetaOperand>(), nullptr);
    EXPECT_NE(a, Error(Error::UndefinedName{Name{2}}));
    EXPECT_NE(a, Error(Error::DuplicateDefinition{Name{1}}));
}

TEST(ParserError, DebugForm) {
    EXPECT_EQ((ParserError{std::nullopt, 4, 9, "expected \"(\""}).debug(),
              "ParserError { file: None, start: 4, end: 9, message: \"expected \\\"(\\\"\" }");
    EXPECT_EQ((ParserError{std::string("dir\\f.kd"), 0, 0, ""}).debug(),
              "ParserError { file: Some(\"dir\\\\f.kd\"), start: 0, end: 0, message: \"\" }");
}
