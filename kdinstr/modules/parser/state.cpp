#include "kdinstr/modules/parser/state.hpp"

#include <utility>

namespace kdinstr::modules::parser {

namespace {

std::uint32_t number_of(std::unordered_map<std::string_view, std::uint32_t>& map,
                        std::string_view name) {
    auto [it, inserted] = map.try_emplace(name, static_cast<std::uint32_t>(map.size()));
    return it->second;
}

}  // namespace

State::State(types::TypeRegistry& registry, std::shared_ptr<Resolver> resolver,
             std::shared_ptr<IdGenerator> id_generator)
    : registry_(registry),
      resolver_(std::move(resolver)),
      id_generator_(std::move(id_generator)),
      types_(registry) {}

Name State::get_register(std::string_view name) { return Name{number_of(registers_, name)}; }

Label State::get_label(std::string_view name) { return Label{number_of(labels_, name)}; }

void State::clear() {
    registers_.clear();
    labels_.clear();
}

}  // namespace kdinstr::modules::parser
