#pragma once
// How a function is seen from outside its module.
#include <array>
#include <cstdint>
#include <string_view>

#include "kdinstr/modules/enum_words.hpp"

namespace kdinstr::modules {

enum class Visibility : std::uint8_t { Default = 0, Hidden = 1, Protected = 2 };

template <>
struct EnumWords<Visibility> {
    static constexpr std::array<std::string_view, 3> words{"default", "hidden", "protected"};
    static constexpr std::array<std::string_view, 3> debug_names{"Default", "Hidden", "Protected"};
};

}  // namespace kdinstr::modules
