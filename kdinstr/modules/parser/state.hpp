#pragma once
// What the token grammar carries besides the tokens: per-function numbering of registers and
// block labels, the registry types are interned into, and the driver's two callbacks.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>

#include "kdinstr/modules/name.hpp"
#include "kdinstr/modules/parser/name_numbering.hpp"
#include "kdinstr/modules/parser/type_cache.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::modules::parser {

// Finds the UUID a function-pointer constant names: (joined name, external flag).
using Resolver = std::function<std::optional<utils::Uuid>(std::string_view, bool)>;
// Gives each parsed function its identity.
using IdGenerator = std::function<utils::Uuid()>;

class State {
  public:
    State(types::TypeRegistry& registry, std::shared_ptr<Resolver> resolver,
          std::shared_ptr<IdGenerator> id_generator);

    // The number of a register (label) name in the current function; a new name gets the count
    // of names numbered so far, so numbers are dense and in order of first request.
    Name get_register(std::string_view name);
    Label get_label(std::string_view name);
    // Numbering restarts at 0 for the next function.
    void clear();

    std::optional<utils::Uuid> resolve(std::string_view name, bool external) const {
        return (*resolver_)(name, external);
    }
    utils::Uuid new_function_id() const { return (*id_generator_)(); }
    // Interns a type the grammar has read, through this parse's cache.
    types::Typeref intern(const types::AnyType& type) { return types_.intern(type); }

  private:
    std::shared_ptr<Resolver> resolver_;
    std::shared_ptr<IdGenerator> id_generator_;
    TypeCache types_;
    // Names are views into the source text, which outlives the parse. The maps are only looked
    // up, never iterated, so hashing gives the same numbers as an ordered map.
    NameNumbering registers_;
    NameNumbering labels_;
};

}  // namespace kdinstr::modules::parser
