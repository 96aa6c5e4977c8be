#include "kdinstr/modules/parser/module_grammar.hpp"

#include <algorithm>
#include <iterator>
#include <utility>

#include "kdinstr/modules/parser/instruction_grammar.hpp"
#include "kdinstr/modules/parser/operand_grammar.hpp"
#include "kdinstr/modules/parser/terminator_grammar.hpp"
#include "kdinstr/modules/parser/type_grammar.hpp"
#include "kdinstr/utils/log.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules::parser {

namespace {

namespace log = utils::log;
using types::Typeref;

constexpr fmt::format_string<std::string_view> log_should_be_meta{
    "Function '{}' should be declared as a meta-function (it uses meta-instructions or has "
    "wildcard types)"};
constexpr fmt::format_string<std::string_view> log_needless_meta{
    "Function '{}' is declared as a meta-function but does not use any meta-instructions or "
    "wildcard types"};

// The fewest tokens a function definition takes: `define void f ( ) { }`.
constexpr std::size_t kTokensPerDefinition = 7;

template <bool Track>
std::optional<Item> import_statement(TokenCursor<Track>& c) {
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::ImportStatement));
    if (!c.just_match(TokenDiscriminants::Import)) return std::nullopt;
    const auto path = c.just_match(TokenDiscriminants::StringLiteral);
    if (!path) return std::nullopt;
    return Item{Item::Import{c.tokens().string_literal(*path)}};
}

template <bool Track>
std::optional<std::pair<Name, Typeref>> parameter(TokenCursor<Track>& c) {
    const auto name = register_parser_a(c);
    if (!name || !c.just(FixedToken::Colon)) return std::nullopt;
    const auto type = labelled_type_parser(c);
    if (!type) return std::nullopt;
    return std::pair<Name, Typeref>(*name, *type);
}

template <bool Track>
bool parameter_list(TokenCursor<Track>& c, std::vector<std::pair<Name, Typeref>>& out) {
    if (!c.just(FixedToken::LParen)) return false;
    const Mark first = c.mark();
    if (auto p = parameter(c)) {
        out.push_back(*p);
        for (;;) {
            const Mark before = c.mark();
            if (c.just(FixedToken::Comma)) {
                if (auto next = parameter(c)) {
                    out.push_back(*next);
                    continue;
                }
            }
            c.rewind(before);
            break;
        }
    } else {
        c.rewind(first);
    }
    return c.just(FixedToken::RParen);
}

// What the body rules reuse from block to block: a block's instructions are gathered here and
// then moved into a list of their exact number.
struct BodyScratch {
    InstructionScratch line;
    std::vector<KdInstr> instructions;
};

template <bool Track>
std::optional<BasicBlock> block(TokenCursor<Track>& c, BodyScratch& scratch) {
    const auto label = label_parser(c);
    if (!label || !c.just(FixedToken::Colon)) return std::nullopt;
    c.just(FixedToken::Newline);
    std::vector<KdInstr>& read = scratch.instructions;
    read.clear();
    {
        const Mark before = c.mark();
        if (parse_instruction(c, scratch.line, read)) {
            for (;;) {
                const Mark line = c.mark();
                if (c.just(FixedToken::Newline) && parse_instruction(c, scratch.line, read))
                    continue;
                c.rewind(line);
                break;
            }
        } else {
            c.rewind(before);
        }
    }
    c.just(FixedToken::Newline);
    auto terminator = parse_terminator(c);
    if (!terminator) return std::nullopt;
    c.just(FixedToken::Newline);
    return BasicBlock{*label,
                      std::vector<KdInstr>(std::make_move_iterator(read.begin()),
                                           std::make_move_iterator(read.end())),
                      std::move(*terminator)};
}

// The header's metadata: up to two visibility or calling-convention tokens; the later token of a
// kind wins, and a second one emits its error over the whole list.
struct Metadata {
    std::optional<Visibility> visibility;
    std::optional<CallingConvention> calling_convention;
};

template <bool Track>
Metadata metadata(TokenCursor<Track>& c) {
    const TokenList& tokens = c.tokens();
    const std::size_t first = c.pos();
    Metadata m;
    bool duplicate_visibility = false;
    bool duplicate_calling_convention = false;
    for (int n = 0; n < 2; ++n) {
        const auto t = c.filter([&](std::size_t at) {
            const TokenDiscriminants k = tokens.kind(at);
            return k == TokenDiscriminants::Visibility ||
                   k == TokenDiscriminants::CallingConvention;
        });
        if (!t) break;
        if (tokens.kind(*t) == TokenDiscriminants::Visibility) {
            duplicate_visibility = duplicate_visibility || m.visibility.has_value();
            m.visibility = tokens.visibility(*t);
        } else {
            duplicate_calling_convention =
                duplicate_calling_convention || m.calling_convention.has_value();
            m.calling_convention = tokens.calling_convention(*t);
        }
    }
    if (duplicate_visibility)
        c.emit(first, c.pos(), std::string(ModuleGrammarMessages::duplicate_visibility));
    if (duplicate_calling_convention)
        c.emit(first, c.pos(), std::string(ModuleGrammarMessages::duplicate_calling_convention));
    return m;
}

void log_meta_mismatch(const Function& f) {
    if (!log::enabled()) return;
    const bool needs_meta = f.should_be_meta_function();
    if (needs_meta && !f.meta)
        log::write(log::Level::Error, ModuleGrammarMessages::log_target, log_should_be_meta,
                   std::string_view(*f.name));
    else if (!needs_meta && f.meta)
        log::write(log::Level::Warn, ModuleGrammarMessages::log_target, log_needless_meta,
                   std::string_view(*f.name));
}

template <bool Track>
std::optional<Item> function_definition(TokenCursor<Track>& c, BodyScratch& scratch) {
    const TokenList& tokens = c.tokens();
    LabelScope<Track> scope(c.diag(), c.pos(), Expected::label(RuleLabel::FunctionDefinition));
    if (!c.just(FixedToken::Define)) return std::nullopt;

    std::optional<Typeref> return_type;
    {
        const Mark before = c.mark();
        return_type = labelled_type_parser(c);
        if (!return_type) {
            c.rewind(before);
            if (!c.just(FixedToken::Void)) return std::nullopt;
        }
    }

    const Metadata meta = metadata(c);

    const auto name = c.filter([&](std::size_t at) {
        const TokenDiscriminants k = tokens.kind(at);
        return k == TokenDiscriminants::Identifier || k == TokenDiscriminants::MetaIdentifier;
    });
    if (!name) return std::nullopt;

    std::vector<std::pair<Name, Typeref>> parameters;
    if (!parameter_list(c, parameters)) return std::nullopt;

    if (!c.just(FixedToken::LBrace)) return std::nullopt;
    c.just(FixedToken::Newline);
    std::map<Label, BasicBlock> body;
    for (;;) {
        const Mark before = c.mark();
        auto b = block(c, scratch);
        if (!b) {
            c.rewind(before);
            break;
        }
        const Label label = b->label;
        body.insert_or_assign(label, std::move(*b));
    }
    if (!c.just(FixedToken::RBrace)) return std::nullopt;

    // Everything a default function holds is replaced or equal to these defaults; building it
    // here spares the default's own random uuid and trap block, which would be discarded.
    Function f;
    f.uuid = c.state().new_function_id();
    f.name = std::string(tokens.joined_name(*name));
    f.parameters = std::move(parameters);
    f.return_type = return_type;
    f.body = std::move(body);
    f.visibility = meta.visibility;
    f.calling_convention = meta.calling_convention;
    f.meta = tokens.kind(*name) == TokenDiscriminants::MetaIdentifier;
    log_meta_mismatch(f);
    c.state().clear();
    return Item{std::move(f)};
}

template <bool Track>
std::optional<Item> item(TokenCursor<Track>& c, BodyScratch& scratch) {
    const Mark start = c.mark();
    if (auto i = import_statement(c)) return i;
    c.rewind(start);
    if (auto f = function_definition(c, scratch)) return f;
    c.rewind(start);
    return std::nullopt;
}

}  // namespace

namespace {

class ListSink final : public ItemSink {
  public:
    explicit ListSink(std::vector<Item>& items) : items_(items) {}
    // Sized once: growing a list of whole functions by doubling would move each of them and
    // touch twice the memory.
    void expect(std::size_t most) override { items_.reserve(items_.size() + most); }
    void take(Item item) override { items_.push_back(std::move(item)); }

  private:
    std::vector<Item>& items_;
};

// For a run that is only after its error: each item is dropped as soon as it is read.
class DiscardSink final : public ItemSink {
  public:
    void expect(std::size_t) override {}
    void take(Item) override {}
};

}  // namespace

template <bool Track>
bool module_item_parser(TokenCursor<Track>& c, ItemSink& items, std::size_t& iteration,
                        TokenList* release) {
    BodyScratch scratch;
    // A definition takes at least seven tokens, so the bound stays within a small multiple of
    // what the tokens themselves hold, whatever the text.
    items.expect(std::min(c.tokens().definitions(), c.tokens().size() / kTokensPerDefinition));
    for (;;) {
        const Mark start = c.mark();
        iteration = start.pos;
        c.just(FixedToken::Newline);
        auto next = item(c, scratch);
        if (!next) {
            c.rewind(start);
            break;
        }
        c.just(FixedToken::Newline);
        items.take(std::move(*next));
        // No rule reads back before the start of an iteration.
        if (release != nullptr) release->release_before(c.mark().pos);
    }
    c.just(FixedToken::Newline);
    return c.end();
}

template <bool Track>
bool module_item_parser(TokenCursor<Track>& c, std::vector<Item>& items, std::size_t& iteration,
                        TokenList* release) {
    ListSink sink(items);
    return module_item_parser(c, static_cast<ItemSink&>(sink), iteration, release);
}

template bool module_item_parser(TokenCursor<false>&, ItemSink&, std::size_t&, TokenList*);
template bool module_item_parser(TokenCursor<true>&, ItemSink&, std::size_t&, TokenList*);
template bool module_item_parser(TokenCursor<false>&, std::vector<Item>&, std::size_t&, TokenList*);
template bool module_item_parser(TokenCursor<true>&, std::vector<Item>&, std::size_t&, TokenList*);

SyntaxError module_syntax_error(const TokenList& tokens, State& state, std::size_t restart) {
    state.clear();
    Diagnostics<true> diag;
    TokenCursor<true> c(tokens, state, diag, restart);
    DiscardSink items;
    std::size_t iteration = restart;
    if (module_item_parser(c, items, iteration))
        utils::panic("module grammar: the tracked run accepted a text the fast run refused");
    return diag.final_error(tokens.size(), c.pos());
}

namespace {

ModuleParse parse(const TokenList& tokens, State& state, TokenList* release, ItemSink& items) {
    ModuleParse out;
    Diagnostics<false> diag;
    TokenCursor<false> c(tokens, state, diag);
    std::size_t iteration = 0;
    const bool ok = module_item_parser(c, items, iteration, release);
    out.emitted = diag.take_emitted();
    if (!ok) out.failure = module_syntax_error(tokens, state, iteration);
    return out;
}

}  // namespace

ModuleParse parse_module(const TokenList& tokens, State& state) {
    std::vector<Item> items;
    ListSink sink(items);
    ModuleParse out = parse(tokens, state, nullptr, sink);
    if (!out.failure) out.items = std::move(items);
    return out;
}

ModuleParse parse_module_releasing(TokenList& tokens, State& state, ItemSink& items) {
    return parse(tokens, state, &tokens, items);
}

}  // namespace kdinstr::modules::parser
