#pragma once
// A module's functions (or external functions) by name, with the answer of
// `Module::find_function_uuid_by_name`: the first of a name in ascending uuid order. Each table
// is built from the module on its first question, so that a text with many references scans
// the module once; a reader of many texts keeps the tables and adds each text's functions to
// them as they join the module, so that no text scans what the texts before it added.
//
// The names come from the caller's texts, so the tables hash them with a seeded hash.
#include <optional>
#include <string_view>
#include <unordered_map>

#include "kdinstr/modules/function.hpp"
#include "kdinstr/modules/module.hpp"
#include "kdinstr/types/seeded_hash.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::modules::parser {

class ModuleNames {
  public:
    // The answer for `module`, which must be the module the tables were built from, changed
    // since only as `added` was told.
    std::optional<utils::Uuid> find(const Module& module, std::string_view name, bool external);

    // `function`, as `module` now holds it, has just joined it; `replaced` when it took the
    // place of a function with the same uuid.
    void added(const Function& function, bool replaced);

  private:
    // Keys are views of the names held by the module's functions, which stay as long as the
    // functions do.
    using Table = std::unordered_map<std::string_view, utils::Uuid, types::SeededStringHash>;

    static Table build(const Module& module, bool external);

    std::optional<Table> internal_;
    std::optional<Table> external_;
};

}  // namespace kdinstr::modules::parser
