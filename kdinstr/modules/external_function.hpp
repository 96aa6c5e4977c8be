#pragma once
// The declaration of a function that lives outside the module.
#include <optional>
#include <string>
#include <vector>

#include "kdinstr/modules/calling_convention.hpp"
#include "kdinstr/modules/instructions/instruction.hpp"
#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::modules {

// Fields in the encoding's order.
struct ExternalFunction {
    // The key under which a module holds the declaration.
    utils::Uuid uuid;
    std::string name;
    CallingConvention calling_convention;
    std::vector<types::Typeref> parameter_types;
    std::optional<types::Typeref> return_type;

    // Rewrites the parameter types and the return type.
    void remap_types(const TypeRemap& map);

    bool operator==(const ExternalFunction&) const = default;
};

}  // namespace kdinstr::modules
