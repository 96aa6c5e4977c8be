#include "kdinstr/utils/error.hpp"

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::utils {

std::string ParserError::debug() const {
    return debug_record("ParserError", {{"file", debug_optional_text(file)},
                                        {"start", std::to_string(start)},
                                        {"end", std::to_string(end)},
                                        {"message", debug_quote(message)}});
}

namespace {

struct MessageOf {
    std::string operator()(const Error::DuplicateDefinition& e) const {
        return fmt::format(
            "Multiple operations with shared destination target violate SSA requirements. The "
            "name `{}` is defined more than once within the same function.",
            e.name);
    }
    std::string operator()(const Error::MissingEntryBlock&) const {
        return "By convention, the entrypoint basic block of a function must have label "
               "`label_0`. No such basic block was found.";
    }
    std::string operator()(const Error::UndefinedName& e) const {
        return fmt::format(
            "A operand refers to an undefined name: `{}`. This name was never defined in the "
            "module.",
            e.name);
    }
    std::string operator()(const Error::UndefinedInternalFunction& e) const {
        return fmt::format(
            "An instruction of function `{}` refers to an internal function referenced by `{}` "
            "that is not defined within the module.",
            e.function, e.reference);
    }
    std::string operator()(const Error::UndefinedExternalFunction& e) const {
        return fmt::format(
            "An instruction of function `{}` refers to an external function referenced by `{}` "
            "that is not defined within the module.",
            e.function, e.reference);
    }
    std::string operator()(const Error::UnsoundWildcardTypes& e) const {
        return fmt::format(
            "Unsound wildcard type usage in function `{}`: expected wildcard types `{}`, but "
            "found `{}`.",
            e.function, debug_text_list(e.expected), debug_text_list(e.found));
    }
    std::string operator()(const Error::MetaOperand&) const {
        return "Meta operands are only available internally for properties and attributes "
               "constructions. They SHOULD NOT appear in regular instructions.";
    }
    std::string operator()(const Error::PhiNotFirst& e) const {
        return fmt::format(
            "Phi instructions must be the first instructions in a basic block or follow other "
            "phi instructions. The basic block `{}` contains a phi instruction that is not the "
            "first instruction.",
            e.label);
    }
    std::string operator()(const Error::UndefinedBlock& e) const {
        return fmt::format(
            "The basic block `{}` referenced in function `{}` is not defined within the "
            "function.",
            e.label, e.function);
    }
    std::string operator()(const Error::MetaInstruction& e) const {
        return fmt::format(
            "Meta instructions are only available internally for properties and attributes "
            "constructions. They SHOULD NOT appear in regular instructions. Function `{}` "
            "contains a meta-instruction `{}`.",
            e.function, e.instruction);
    }
    std::string operator()(const Error::TooManyBlocks& e) const {
        return fmt::format(
            "Function `{}` contains {} basic blocks, exceeding the maximum allowed of {}.",
            e.function, e.count, e.maximum);
    }
    std::string operator()(const Error::TooManyBlockInstructions& e) const {
        return fmt::format(
            "Basic block `{}` in function `{}` contains {} instructions, exceeding the maximum "
            "allowed of {}.",
            e.label, e.function, e.count, e.maximum);
    }
    std::string operator()(const Error::TooManyInstructions& e) const {
        return fmt::format(
            "Function `{}` contains {} instructions, exceeding the maximum allowed of {}.",
            e.function, e.count, e.maximum);
    }
    std::string operator()(const Error::TooManyParameters& e) const {
        return fmt::format(
            "Function `{}` contains {} parameters, exceeding the maximum allowed of {}.",
            e.function, e.count, e.maximum);
    }
    std::string operator()(const Error::TooManyWildcardTypes& e) const {
        return fmt::format(
            "Function `{}` contains {} wildcard types, exceeding the maximum allowed of {}.",
            e.function, e.count, e.maximum);
    }
    std::string operator()(const Error::DuplicateBlockLabel& e) const {
        return fmt::format("A basic block with label `{}` already exists in the function.",
                           e.label);
    }
    std::string operator()(const Error::FileNotAccessible& e) const {
        return fmt::format("The provided file `{}` does not exist or is not accessible: {}", e.path,
                           e.io_error);
    }
    std::string operator()(const Error::ParserErrors& e) const {
        return fmt::format("Parser errors occurred: {}",
                           debug_list(e.errors, [](const ParserError& p) { return p.debug(); }));
    }
    std::string operator()(const Error::FunctionExists& e) const {
        return fmt::format("A function with the name `{}` already exists in the module.", e.name);
    }
    std::string operator()(const Error::UndefinedInternalFunctions& e) const {
        return fmt::format(
            "The following internal functions were referenced but not defined within the "
            "module: {}",
            debug_text_list(e.names));
    }
    std::string operator()(const Error::DuplicateFunctionName& e) const {
        return fmt::format("A function with the name `{}` already exists in the module.", e.name);
    }
    std::string operator()(const Error::UnresolvedFunction& e) const {
        return fmt::format(
            "The {} function `{}` was referenced but not defined within the module as either an "
            "internal or external function.",
            e.kind, e.name);
    }
    std::string operator()(const Error::TypeMismatch& e) const {
        return fmt::format(
            "Type mismatch in instruction `{}`: expected type `{}`, but found type `{}`.",
            e.instruction, e.expected, e.found);
    }
    std::string operator()(const Error::IndexOutOfBounds& e) const {
        return fmt::format(
            "The provided index `{}` is out of bounds for type `{}` with maximum index `{}` in "
            "instruction `{}`.",
            e.index, e.type, e.maximum, e.instruction);
    }
};

}  // namespace

std::string Error::message() const { return std::visit(MessageOf{}, value_); }

}  // namespace kdinstr::utils
