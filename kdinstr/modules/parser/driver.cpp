#include "kdinstr/modules/parser/driver.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "kdinstr/modules/parser/lexer.hpp"
#include "kdinstr/modules/parser/module_grammar.hpp"
#include "kdinstr/modules/parser/module_names.hpp"
#include "kdinstr/modules/parser/name_numbering.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/modules/verify.hpp"
#include "kdinstr/types/seeded_hash.hpp"
#include "kdinstr/utils/debug_text.hpp"
#include "kdinstr/utils/log.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::modules::parser {

namespace {

namespace log = utils::log;
using utils::Error;
using utils::Uuid;
using Result = std::expected<void, Error>;

constexpr std::string_view log_target = ModuleGrammarMessages::log_target;

constexpr std::string_view log_lexing_failed =
    "Lexing errors encountered in provided source string:";
constexpr std::string_view log_parsing_failed =
    "Parsing errors encountered in provided source string:";
constexpr fmt::format_string<std::string_view> log_import{
    "Import encountered in string source; imports unsupported in this context: {}"};
constexpr fmt::format_string<std::string_view> log_adding{"Adding function {} to module"};
constexpr fmt::format_string<std::string_view> log_duplicate{
    "Multiple functions found with the same name: {}"};
constexpr fmt::format_string<std::string_view> log_unresolved_internal{
    "Unresolved internal function: {}"};
constexpr fmt::format_string<std::string_view> log_unresolved_external{
    "Unresolved external functions: {}"};
constexpr fmt::format_string<std::string_view> log_verification_failed{
    "Module verification failed: {}"};

constexpr fmt::format_string<std::string_view> import_refused{
    "import statements are not supported when parsing from string: {}"};

// The names the resolver could not find in the module: one placeholder uuid per name, kept in
// the order of the first reference so that the checks after the parse, and their messages,
// come out the same on every run. A text may refer to functions thousands of times, so names
// are found through a flat table over copies of them.
class Placeholders {
  public:
    Uuid get(std::string_view name) {
        if (const auto i = index_.find(name)) return uuids_[*i];
        // Deque elements stay where they are, so the table may keep views of them.
        index_.number(names_.emplace_back(name));
        return uuids_.emplace_back(utils::new_v4());
    }
    bool empty() const { return names_.empty(); }
    std::size_t size() const { return names_.size(); }
    const std::string& name(std::size_t i) const { return names_[i]; }
    const Uuid& placeholder(std::size_t i) const { return uuids_[i]; }

  private:
    NameNumbering index_;
    std::deque<std::string> names_;
    std::vector<Uuid> uuids_;
};

// What one call resolves while it parses, shared by the resolver callback and the driver.
struct NameResolution {
    NameResolution(const Module& module, ModuleNames& module_names)
        : module(module), module_names(module_names) {}

    Uuid resolve(std::string_view name, bool external) {
        if (auto found = module_names.find(module, name, external)) return *found;
        return (external ? external_names : internal_names).get(name);
    }

    const Module& module;
    ModuleNames& module_names;
    Placeholders internal_names;
    Placeholders external_names;
};

// Placeholder uuid -> the uuid of the one function of this text that bears its name.
using Replacement = std::unordered_map<Uuid, Uuid, types::SeededUuidHash>;

// Why the names of a text did not resolve, with what the log record shows.
struct NameFailure {
    Error error;
    // The external names left, for the log record; empty for an internal failure.
    std::vector<std::string> external_names;
};

// Steps 6 and 7: every internal name must name exactly one function of this text (found through
// a map of the text's functions by name, not a scan per name); no external name may be left.
// Names are tested in the order of their first reference.
std::expected<Replacement, NameFailure> resolve_names(
    const NameResolution& names, const std::vector<std::shared_ptr<Function>>& functions) {
    Replacement replacement;
    if (!names.internal_names.empty()) {
        // Count and the uuid of the first function of each name.
        std::unordered_map<std::string_view, std::pair<std::size_t, Uuid>, types::SeededStringHash>
            by_name;
        for (const auto& f : functions) {
            if (!f->name) continue;
            auto [it, inserted] = by_name.try_emplace(*f->name, 0, f->uuid);
            ++it->second.first;
        }
        for (std::size_t i = 0; i < names.internal_names.size(); ++i) {
            const std::string& name = names.internal_names.name(i);
            const Uuid& placeholder = names.internal_names.placeholder(i);
            const auto it = by_name.find(name);
            if (it == by_name.end())
                return std::unexpected(NameFailure{
                    Error::UnresolvedFunction{FunctionPointerKind::Internal, name}, {}});
            if (it->second.first > 1)
                return std::unexpected(NameFailure{Error::DuplicateFunctionName{name}, {}});
            replacement.emplace(placeholder, it->second.second);
        }
    }
    if (!names.external_names.empty()) {
        std::vector<std::string> unresolved;
        std::string joined;
        for (std::size_t i = 0; i < names.external_names.size(); ++i) {
            const std::string& name = names.external_names.name(i);
            if (!joined.empty()) joined += ", ";
            joined += name;
            unresolved.push_back(name);
        }
        return std::unexpected(
            NameFailure{Error::UnresolvedFunction{FunctionPointerKind::External, std::move(joined)},
                        std::move(unresolved)});
    }
    return replacement;
}

void log_name_failure(const NameFailure& failure) {
    if (!log::enabled()) return;
    if (const auto* duplicate = failure.error.get_if<Error::DuplicateFunctionName>()) {
        log::write(log::Level::Error, log_target, log_duplicate, std::string_view(duplicate->name));
    } else if (!failure.external_names.empty()) {
        log::write(log::Level::Error, log_target, log_unresolved_external,
                   std::string_view(utils::debug_text_list(failure.external_names)));
    } else if (const auto* missing = failure.error.get_if<Error::UnresolvedFunction>()) {
        log::write(log::Level::Error, log_target, log_unresolved_internal,
                   std::string_view(utils::debug_quote(missing->name)));
    }
}

// Scratch of `defined_twice`, kept from one function to the next. Between calls every bit is
// clear, and each call clears only the bits it set (listed in `set`): the bits reach as far as
// the largest function so far, and clearing them all for each function would make one large
// function followed by many small ones cost the product of their counts.
struct DefinedScratch {
    std::vector<bool> bits;
    std::vector<std::uint32_t> set;
};

// The first register a function defines twice (a parameter listed twice, a parameter reused as
// a destination, or two destinations, in that walk order), before it is renumbered: renumbering
// would otherwise give each definition its own number and silently point every use at the last
// one. The parser numbers each function's registers densely from 0, so a bit per number
// suffices.
std::optional<Name> defined_twice(const Function& function, DefinedScratch& scratch) {
    std::vector<bool>& defined = scratch.bits;
    const auto define = [&](Name name) {
        if (name.value >= defined.size()) defined.resize(std::size_t{name.value} + 1);
        if (defined[name.value]) return false;
        defined[name.value] = true;
        scratch.set.push_back(name.value);
        return true;
    };
    const auto first = [&]() -> std::optional<Name> {
        for (const auto& [name, type] : function.parameters)
            if (!define(name)) return name;
        for (const auto& [label, block] : function.body)
            for (const KdInstr& instruction : block.instructions)
                if (const auto dest = instruction.destination(); dest && !define(*dest))
                    return dest;
        return std::nullopt;
    }();
    for (const std::uint32_t value : scratch.set) defined[value] = false;
    scratch.set.clear();
    return first;
}

const FunctionPointer* function_pointer(const Operand& operand) {
    const consts::AnyConst* imm = operand.as_imm();
    return imm ? imm->as_func_ptr() : nullptr;
}

// The function pointers a function holds: any in its instructions (which verification looks
// up in the module), and internal ones anywhere (which may be placeholders of this text).
struct PointerFacts {
    bool in_instructions = false;
    bool internal = false;
};

PointerFacts pointer_facts(const Function& function) {
    PointerFacts facts;
    for (const auto& [label, block] : function.body) {
        for (const KdInstr& instruction : block.instructions) {
            for (const Operand& operand : instruction.operands()) {
                if (const FunctionPointer* pointer = function_pointer(operand)) {
                    facts.in_instructions = true;
                    facts.internal = facts.internal || pointer->is_internal();
                }
            }
        }
        block.terminator.for_each_operand([&](const Operand& operand) {
            if (const FunctionPointer* pointer = function_pointer(operand))
                facts.internal = facts.internal || pointer->is_internal();
        });
    }
    return facts;
}

// The placeholders of this text among a function's pointers, replaced.
void replace_placeholders(Function& function, const Replacement& replacement) {
    const auto replace = [&](Operand& operand) {
        consts::AnyConst* imm = operand.as_imm();
        FunctionPointer* pointer = imm ? imm->as_func_ptr() : nullptr;
        if (pointer == nullptr || !pointer->is_internal()) return;
        if (auto it = replacement.find(pointer->uuid()); it != replacement.end())
            *pointer = FunctionPointer::internal(it->second);
    };
    for (auto& [label, block] : function.body) {
        for (KdInstr& instruction : block.instructions)
            for (Operand& operand : instruction.operands_mut()) replace(operand);
        block.terminator.for_each_operand_mut(replace);
    }
}

// Step 5 for each item as the grammar reads it, while the function is at hand: imports are
// refused, each function is checked for registers defined twice, renumbered, and, when step 9
// verifies only this text's functions, checked on its own (the checks of verification that
// need no other function); when step 9 verifies the whole module, that would check it twice.
// The first refusal in text order ends the work on the text's items; it is reported only if
// the whole text parses, in the place of step 5.
class TextFunctions final : public ItemSink {
  public:
    explicit TextFunctions(bool check_each) : check_each_(check_each) {}

    // Nothing is taken after it, so the functions kept before it are all of `functions`.
    struct Stop {
        // The function it stopped at, for the log record; none for an import.
        std::optional<std::string> function_name;
        std::variant<Item::Import, Error> why;
    };

    void expect(std::size_t most) override {
        functions.reserve(most);
        facts.reserve(most);
    }

    void take(Item item) override {
        if (stop) return;
        if (auto* import = std::get_if<Item::Import>(&item.value)) {
            stop = Stop{std::nullopt, std::move(*import)};
            return;
        }
        Function& function = std::get<Function>(item.value);
        const auto refuse = [&](Error error) { stop = Stop{function.name, std::move(error)}; };
        if (const auto twice = defined_twice(function, defined_))
            return refuse(Error::DuplicateDefinition{*twice});
        if (auto renumbered = function.normalize_ssa(); !renumbered)
            return refuse(std::move(renumbered.error()));
        if (check_each_) {
            if (auto checked = modules::verify(function); !checked)
                local_failures.emplace_back(functions.size(), std::move(checked.error()));
        }
        facts.push_back(pointer_facts(function));
        functions.push_back(std::make_shared<Function>(std::move(function)));
    }

    void clear() {
        functions.clear();
        facts.clear();
        local_failures.clear();
    }

    // What the own checks found of the function at `index`, if it failed them.
    const Error* local_failure(std::size_t index) const {
        const auto it = std::lower_bound(
            local_failures.begin(), local_failures.end(), index,
            [](const std::pair<std::size_t, Error>& f, std::size_t i) { return f.first < i; });
        return it != local_failures.end() && it->first == index ? &it->second : nullptr;
    }

    // The functions that passed step 5, in text order, with their pointer facts.
    std::vector<std::shared_ptr<Function>> functions;
    std::vector<PointerFacts> facts;
    // (index in `functions`, the error) of those that failed their own checks, in text order;
    // empty unless they were checked.
    std::vector<std::pair<std::size_t, Error>> local_failures;
    std::optional<Stop> stop;

  private:
    bool check_each_;
    DefinedScratch defined_;
};

Error parser_errors(std::vector<utils::ParserError> errors, utils::TextList tokens) {
    return Error::ParserErrors{std::move(errors), std::move(tokens)};
}

// One text into `module`. `verified` tells whether every function of the module passed
// verification, and then only this text's functions are verified; it is updated when the text
// changes the module.
Result read_text(Module& module, types::TypeRegistry& registry, std::string_view source,
                 ModuleNames& module_names, bool& verified) {
    // 1-2. Lexing; a text with lexer errors is never parsed.
    LexResult lexed = lexer(source);
    if (!lexed.errors.empty() || !lexed.tokens) {
        log::write(log::Level::Error, log_target, "{}", log_lexing_failed);
        return std::unexpected(parser_errors(std::move(lexed.errors), {}));
    }
    std::optional<TokenList>& tokens = lexed.tokens;

    // 3. The State, with a resolver over the module and this call's placeholder names.
    auto names = std::make_shared<NameResolution>(module, module_names);
    State state(registry,
                std::make_shared<Resolver>(
                    [names](std::string_view name, bool external) -> std::optional<Uuid> {
                        return names->resolve(name, external);
                    }),
                std::make_shared<IdGenerator>([] { return utils::new_v4(); }));

    // 4. The grammar; any error, emitted or syntactic, fails the text. The token list lets go
    // of each function's tokens as the function is read, so that the two are not held whole
    // at once; a failure's messages read the tokens of a second lexing, which yields the same.
    // Step 5 is done on each item as it is read (see TextFunctions).
    TextFunctions text(verified);
    ModuleParse parsed = parse_module_releasing(*tokens, state, text);
    const auto all_tokens = [&] {
        tokens.reset();
        tokens = lexer(source).tokens;
    };
    if (parsed.failure || !parsed.emitted.empty()) {
        text.clear();
        all_tokens();
        log::write(log::Level::Error, log_target, "{}", log_parsing_failed);
        return std::unexpected(
            parser_errors(to_parser_errors(TokenInput(*tokens), parsed.emitted, parsed.failure),
                          tokens->debug_texts()));
    }

    // 5. What the items' step found, in its place in the order.
    if (log::enabled()) {
        for (std::size_t i = 0; i < text.functions.size(); ++i)
            log::write(log::Level::Debug, log_target, log_adding,
                       std::string_view(utils::debug_optional_text(text.functions[i]->name)));
        if (text.stop && std::holds_alternative<Error>(text.stop->why))
            log::write(log::Level::Debug, log_target, log_adding,
                       std::string_view(utils::debug_optional_text(text.stop->function_name)));
    }
    if (text.stop) {
        if (auto* import = std::get_if<Item::Import>(&text.stop->why)) {
            text.clear();
            all_tokens();
            log::write(log::Level::Error, log_target, log_import, std::string_view(import->path));
            std::vector<utils::ParserError> errors;
            errors.push_back(utils::ParserError{
                std::nullopt, 0, 0, fmt::format(import_refused, std::string_view(import->path))});
            return std::unexpected(parser_errors(std::move(errors), tokens->debug_texts()));
        }
        return std::unexpected(std::move(std::get<Error>(text.stop->why)));
    }
    // Nothing below reads the tokens: let their memory go before the module grows.
    tokens.reset();

    // 6-7. Names: every internal one names exactly one function of this text, whose uuid
    // replaces its placeholder.
    auto names_resolved = resolve_names(*names, text.functions);
    if (!names_resolved) {
        log_name_failure(names_resolved.error());
        return std::unexpected(std::move(names_resolved.error().error));
    }
    if (!names_resolved->empty()) {
        for (std::size_t i = 0; i < text.functions.size(); ++i)
            if (text.facts[i].internal) replace_placeholders(*text.functions[i], *names_resolved);
    }

    // 8. The functions join the module in ascending uuid order, each where the one before it
    // went: a text's uuids are random, and inserting them as they come would walk the tree for
    // each. Of two with one uuid, the later in the text stays, as if they had joined in text
    // order.
    std::vector<std::pair<Uuid, std::size_t>> order;
    order.reserve(text.functions.size());
    for (std::size_t i = 0; i < text.functions.size(); ++i)
        order.emplace_back(text.functions[i]->uuid, i);
    std::sort(order.begin(), order.end());
    // The functions that joined, ascending and each once, with their index in the text.
    std::vector<std::pair<std::size_t, const Function*>> added;
    added.reserve(order.size());
    auto hint = module.functions.end();
    for (std::size_t k = 0; k < order.size(); ++k) {
        const auto& [uuid, i] = order[k];
        const std::size_t before = module.functions.size();
        const auto it = module.functions.insert_or_assign(hint, uuid, std::move(text.functions[i]));
        module_names.added(*it->second, module.functions.size() == before);
        if (k > 0 && order[k - 1].first == uuid) {
            added.back() = {i, it->second.get()};
        } else {
            added.emplace_back(i, it->second.get());
        }
        hint = std::next(it);
    }

    // 9. The whole module. When every function already there passed, only the added ones can
    // fail (the others cannot change, and the module only grew, which resolves more function
    // pointers, never fewer), and the first of them to fail in ascending uuid order is the
    // first function of the whole module to fail. Each has had its own checks; what is left
    // is the module's functions its instructions point to.
    Result result;
    if (verified) {
        for (const auto& [i, function] : added) {
            if (const Error* failure = text.local_failure(i)) {
                result = std::unexpected(*failure);
                break;
            }
            if (!text.facts[i].in_instructions) continue;
            if (result = module.verify_func(*function); !result) break;
        }
    } else {
        result = module.verify();
    }
    verified = result.has_value();
    if (!result) {
        if (log::enabled())
            log::write(log::Level::Error, log_target, log_verification_failed,
                       std::string_view(result.error().message()));
        return result;
    }
    return {};
}

}  // namespace

std::expected<void, Error> extend_module_from_string(Module& module, types::TypeRegistry& registry,
                                                     std::string_view source) {
    return ModuleExtender(module, registry).extend(source);
}

std::expected<void, Error> ModuleExtender::extend(std::string_view source) {
    return read_text(module_, registry_, source, names_, verified_);
}

}  // namespace kdinstr::modules::parser
