#pragma once
// An IR module: its functions, shared read-only once added, and its external declarations.
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string_view>

#include "kdinstr/modules/external_function.hpp"
#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/instructions/instruction.hpp"
#include "kdinstr/modules/symbol.hpp"
#include "kdinstr/types/type_text_length.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::modules {

struct Module {
    // Keyed by each function's own uuid. Each is made as a non-const `Function`
    // (`std::make_shared<Function>`) and held read-only, so that `remap_types` may rewrite a
    // function the module alone holds in place.
    std::map<utils::Uuid, std::shared_ptr<const Function>> functions;
    // Keyed by each declaration's own uuid.
    std::map<utils::Uuid, ExternalFunction> external_functions;

    // The first function (or, with `external`, external function) in ascending uuid order
    // whose name equals `name` exactly; anonymous functions never match.
    std::optional<FunctionPointer> find_function_uuid_by_name(std::string_view name,
                                                              bool external) const;

    // Every function, then every external function, in ascending uuid order. Each function
    // must be held by this module alone; one that is shared is a broken invariant (panic).
    void remap_types(const TypeRemap& map);
    // The same for one function held by a module (an empty handle is left alone), and for the
    // external functions alone: `remap_types` is the one, then the other, for each.
    static void remap_function_types(std::shared_ptr<const Function>& function,
                                     const TypeRemap& map);
    void remap_external_types(const TypeRemap& map);

    // The most characters that printing the types one place of the module names would write,
    // saturating at `lengths.cap()`: a place is a parameter, a return type, an instruction or a
    // terminator of a function, or an external declaration's signature, each type counted as
    // often as the place names it. An error message shows one instruction whole, with every
    // type it names.
    std::uint64_t longest_named_type_text(const types::TypeTextLengths& lengths) const;

    // Calls `f(uuid, function)` for every function in ascending uuid order until it returns
    // false, as a loop over `functions` would, fetching into the cache meanwhile the record of the
    // function a few places ahead, and the first block of the one half as far ahead (whose record
    // came in since): a module read from a text holds its functions in text order, and a walk by
    // uuid would otherwise wait for memory at every function.
    template <typename F>
    void for_each_function(F&& f) const {
        constexpr std::size_t kAhead = 8;
        auto record = functions.begin();
        auto block = functions.begin();
        const auto fetch_record = [&] {
            if (record == functions.end()) return;
            if (record->second) __builtin_prefetch(record->second.get());
            ++record;
        };
        const auto fetch_block = [&] {
            if (block == functions.end()) return;
            if (const Function* g = block->second.get(); g && !g->body.empty())
                __builtin_prefetch(&*g->body.begin());
            ++block;
        };
        for (std::size_t i = 0; i < kAhead; ++i) {
            fetch_record();
            if (i >= kAhead / 2) fetch_block();
        }
        for (auto it = functions.begin(); it != functions.end(); ++it) {
            fetch_record();
            fetch_block();
            if (!f(it->first, it->second)) return;
        }
    }

    // Every function's own checks, then its references to other functions, in uuid order.
    std::expected<void, utils::Error> verify() const;
    // The references of one function's instructions to functions of this module.
    std::expected<void, utils::Error> verify_func(const Function& function) const;
};

}  // namespace kdinstr::modules
