#include "kdinstr/encoding/module_codec.hpp"

#include <memory>
#include <utility>

#include "kdinstr/encoding/decode_costs.hpp"
#include "kdinstr/encoding/function_codec.hpp"
#include "kdinstr/encoding/try.hpp"
#include "kdinstr/encoding/type_codec.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdinstr::encoding {

using modules::ExternalFunction;
using modules::Function;
using modules::Module;

IoResult<void> encode(BorshWriter& w, const Module& value) {
    KD_TRY(w.write_len(value.functions.size()));
    IoResult<void> written;
    value.for_each_function([&](const utils::Uuid& key, const auto& function) {
        if (!function) utils::panic("module holds no function under key {}", key.to_string());
        written = encode(w, key);
        if (written) written = encode(w, *function);
        return written.has_value();
    });
    if (!written) return written;
    KD_TRY(w.write_len(value.external_functions.size()));
    for (const auto& [key, external] : value.external_functions) {
        KD_TRY(encode(w, key));
        KD_TRY(encode(w, external));
    }
    return {};
}

IoResult<Module> decode_module(BorshReader& r) {
    // Entries go into the maps as they arrive: a false count reserves nothing.
    Module m;
    KD_LET(function_count, r.read_u32());
    for (std::uint32_t i = 0; i < function_count; ++i) {
        KD_TRY(r.charge(decode_costs::kFunction));
        KD_LET(key, decode_uuid(r));
        KD_LET(function, decode_function(r));
        // Keys arrive in ascending order from a well-formed encoder: hint the end.
        m.functions.insert_or_assign(m.functions.end(), key,
                                     std::make_shared<Function>(std::move(function)));
    }
    KD_LET(external_count, r.read_u32());
    for (std::uint32_t i = 0; i < external_count; ++i) {
        KD_TRY(r.charge(decode_costs::kExternalFunction));
        KD_LET(key, decode_uuid(r));
        KD_LET(external, decode_external_function(r));
        m.external_functions.insert_or_assign(m.external_functions.end(), key, std::move(external));
    }
    return m;
}

}  // namespace kdinstr::encoding
