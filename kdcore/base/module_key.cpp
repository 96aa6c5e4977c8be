#include "kdcore/base/module_key.hpp"

namespace kdcore::base {

std::string ModuleKey::to_string() const {
    if (is_null()) return "ModuleKey(null)";
    return fmt::format("ModuleKey({}v{})", index, version);
}

}  // namespace kdcore::base
