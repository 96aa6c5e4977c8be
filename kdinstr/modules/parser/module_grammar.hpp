#pragma once
// The top of the token grammar: a module text is a sequence of import statements and function
// definitions; a definition is a header and a body of labelled blocks.
//
//   module      = (newline? item newline?)* newline? end-of-input
//   item        = import | definition
//   import      = just_match(Import) just_match(StringLiteral)      ["import statement"]
//   definition  = "define" (type["type"] | "void") metadata name params body
//                                                                    ["function definition"]
//   metadata    = (Visibility | CallingConvention){0,2}
//   name        = Identifier | MetaIdentifier
//   params      = "(" (param ("," param)*)? ")"
//   param       = register["register"] ":" type["type"]
//   body        = "{" newline? block* "}"
//   block       = label["label"] ":" newline? (instruction (newline instruction)*)? newline?
//                 terminator newline?
//
// A whole definition becomes a `Function` at once (uuid from the State's id generator, blocks in
// a map by label, where a later block of a label replaces an earlier one), and the State's
// numbering restarts for the next one. A second visibility or calling-convention token emits
// an error over the metadata and the later token wins.
#include <cstddef>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/parser/diagnostics.hpp"
#include "kdinstr/modules/parser/state.hpp"
#include "kdinstr/modules/parser/token_cursor.hpp"
#include "kdinstr/modules/parser/token_list.hpp"

namespace kdinstr::modules::parser {

struct Item {
    struct Import {
        // The string literal's text.
        std::string path;
    };
    std::variant<Import, Function> value;
};

// Where the module rule puts each item as soon as it is read, in text order. A text that then
// fails to parse still hands over the items read before the failure.
class ItemSink {
  public:
    virtual ~ItemSink() = default;
    // Called once before the first item: at most this many items follow.
    virtual void expect(std::size_t most) = 0;
    virtual void take(Item item) = 0;
};

// The module rule from the cursor's position, which must be where an iteration of the item loop
// begins (the start of the text, or after an item and its newline). Items go to `items`;
// `iteration` is left at the start of the last iteration tried, the one that ended the loop.
// With `release`, the list the cursor reads lets go of each item's tokens once the item is read.
template <bool Track>
bool module_item_parser(TokenCursor<Track>& c, ItemSink& items, std::size_t& iteration,
                        TokenList* release = nullptr);
// The same into a list.
template <bool Track>
bool module_item_parser(TokenCursor<Track>& c, std::vector<Item>& items, std::size_t& iteration,
                        TokenList* release = nullptr);

// A whole text's parse: the items when it succeeded (unless they went to a sink), the emitted
// errors in emission order, and the syntax error when it failed.
struct ModuleParse {
    std::vector<Item> items;
    std::vector<EmittedError> emitted;
    std::optional<SyntaxError> failure;
};

// Runs the module rule without error tracking; on failure runs it again, tracked, from the start
// of the iteration that failed (nothing read before it can fail at or after that point, since an
// item's alternatives never look past its closing "}").
ModuleParse parse_module(const TokenList& tokens, State& state);
// The same with the items handed to `items` as they are read, letting go of the tokens of each
// item once it is read (`TokenList::release_before`), so that the token list shrinks while the
// functions grow: after a failure, the tokens for its messages come from lexing the text again.
ModuleParse parse_module_releasing(TokenList& tokens, State& state, ItemSink& items);

// The syntax error of a text that fails, from a tracked run that starts at the iteration start
// `restart` (0: the whole text). Exposed so that tests can compare restart points.
SyntaxError module_syntax_error(const TokenList& tokens, State& state, std::size_t restart);

struct ModuleGrammarMessages {
    static constexpr std::string_view duplicate_visibility = "duplicate visibility metadata";
    static constexpr std::string_view duplicate_calling_convention =
        "duplicate calling convention metadata";
    // Log records (target "kdinstr::modules::parser") when the declared meta flag and the body
    // disagree; the function's name fills the braces.
    static constexpr std::string_view log_target = "kdinstr::modules::parser";
};

}  // namespace kdinstr::modules::parser
