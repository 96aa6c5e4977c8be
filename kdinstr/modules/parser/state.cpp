#include "kdinstr/modules/parser/state.hpp"

#include <utility>

namespace kdinstr::modules::parser {

State::State(types::TypeRegistry& registry, std::shared_ptr<Resolver> resolver,
             std::shared_ptr<IdGenerator> id_generator)
    : resolver_(std::move(resolver)), id_generator_(std::move(id_generator)), types_(registry) {}

Name State::get_register(std::string_view name) { return Name{registers_.number(name)}; }

Label State::get_label(std::string_view name) { return Label{labels_.number(name)}; }

void State::clear() {
    registers_.clear();
    labels_.clear();
}

}  // namespace kdinstr::modules::parser
