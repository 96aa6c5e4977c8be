#include "kdinstr/encoding/registry_codec.hpp"

#include <utility>

#include "kdinstr/encoding/decode_costs.hpp"
#include "kdinstr/encoding/type_codec.hpp"
#include "kdinstr/utils/uuid_gen.hpp"

namespace kdinstr::encoding {

IoResult<void> encode(BorshWriter& w, const types::TypeRegistry& registry) {
    const auto view = registry.read();
    const auto& types = view.types();
    if (auto r = w.write_u64(types.size()); !r) return r;
    for (const auto& [ref, type] : types) {
        if (auto r = encode(w, ref); !r) return r;
        if (auto r = encode(w, type); !r) return r;
    }
    return {};
}

IoResult<types::TypeRegistry> decode_type_registry(BorshReader& r) {
    auto count = r.read_u64();
    if (!count) return std::unexpected(std::move(count.error()));
    // Entries are gathered as they arrive: a false count costs only what arrives, and a repeated
    // `Typeref` only its later type.
    types::DecodedTypes decoded;
    for (std::uint64_t i = 0; i < *count; ++i) {
        if (auto charged = r.charge(decode_costs::kType); !charged)
            return std::unexpected(std::move(charged.error()));
        auto ref = decode_typeref(r);
        if (!ref) return std::unexpected(std::move(ref.error()));
        auto type = decode_any_type(r);
        if (!type) return std::unexpected(std::move(type.error()));
        decoded.add(*ref, std::move(*type));
    }
    return types::TypeRegistry(std::move(decoded), utils::random_u16(),
                               types::TypeRegistry::NodeId{});
}

}  // namespace kdinstr::encoding
