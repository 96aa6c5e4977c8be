#include "kdinstr/encoding/function_codec.hpp"
#include "kdinstr/encoding/try.hpp"

#include <array>
#include <cstdint>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "kdinstr/encoding/block_codec.hpp"
#include "kdinstr/encoding/decode_costs.hpp"
#include "kdinstr/encoding/enum_codec.hpp"
#include "kdinstr/encoding/operand_codec.hpp"
#include "kdinstr/encoding/type_codec.hpp"

namespace kdinstr::encoding {

using modules::CallingConvention;
using modules::ExternalFunction;
using modules::Function;
using modules::Name;
using modules::Visibility;
using types::Typeref;


namespace {

using Parameter = std::pair<Name, Typeref>;
using ReservedId = std::array<std::uint8_t, 16>;

IoResult<void> write_typeref(BorshWriter& w, const Typeref& t) { return encode(w, t); }

IoResult<Parameter> read_parameter(BorshReader& r) {
    KD_LET(name, decode_name(r));
    KD_LET(type, decode_typeref(r));
    return Parameter{name, type};
}

}  // namespace

IoResult<void> encode(BorshWriter& w, const Function& value) {
    KD_TRY(encode(w, value.uuid));
    KD_TRY(w.write_option(value.name,
                          [](BorshWriter& w, const std::string& n) { return w.write_string(n); }));
    KD_TRY(w.write_seq(value.parameters, [](BorshWriter& w, const Parameter& p) -> IoResult<void> {
        KD_TRY(encode(w, p.first));
        return encode(w, p.second);
    }));
    KD_TRY(w.write_option(value.return_type, write_typeref));
    KD_TRY(encode(w, value.body));
    KD_TRY(w.write_option(value.visibility,
                          [](BorshWriter& w, Visibility v) { return encode(w, v); }));
    KD_TRY(w.write_option(value.calling_convention,
                          [](BorshWriter& w, const CallingConvention& c) { return encode(w, c); }));
    KD_TRY(w.write_seq(value.wildcard_types,
                       [](BorshWriter& w, std::uint16_t i) { return w.write_u16(i); }));
    KD_TRY(w.write_bool(value.meta));
    return w.write_option(value.reserved_id,
                          [](BorshWriter& w, const ReservedId& id) { return w.write_raw(id); });
}

IoResult<Function> decode_function(BorshReader& r) {
    Function f;
    KD_LET(uuid, decode_uuid(r));
    f.uuid = uuid;
    KD_LET(name, r.read_option<std::string>([](BorshReader& r) { return r.read_string(); }));
    f.name = std::move(name);
    KD_LET(parameters, r.read_seq<Parameter>(read_parameter));
    f.parameters = std::move(parameters);
    KD_LET(return_type, r.read_option<Typeref>(decode_typeref));
    f.return_type = return_type;
    KD_LET(body, decode_block_map(r));
    f.body = std::move(body);
    KD_LET(visibility, r.read_option<Visibility>(decode_enum<Visibility>));
    f.visibility = visibility;
    KD_LET(cconv, r.read_option<CallingConvention>(decode_calling_convention));
    f.calling_convention = cconv;
    // Inserted as they arrive: a set reserves nothing, and repeated indices collapse.
    KD_LET(count, r.read_u32());
    for (std::uint32_t i = 0; i < count; ++i) {
        KD_LET(index, r.read_u16());
        if (f.wildcard_types.insert(index).second) KD_TRY(r.charge(decode_costs::kMapNode + 8));
    }
    KD_LET(meta, r.read_bool());
    f.meta = meta;
    KD_LET(reserved, r.read_option<ReservedId>([](BorshReader& r) { return r.read_array<16>(); }));
    f.reserved_id = reserved;
    return f;
}

IoResult<void> encode(BorshWriter& w, const ExternalFunction& value) {
    KD_TRY(encode(w, value.uuid));
    KD_TRY(w.write_string(value.name));
    KD_TRY(encode(w, value.calling_convention));
    KD_TRY(w.write_seq(value.parameter_types, write_typeref));
    return w.write_option(value.return_type, write_typeref);
}

IoResult<ExternalFunction> decode_external_function(BorshReader& r) {
    KD_LET(uuid, decode_uuid(r));
    KD_LET(name, r.read_string());
    KD_LET(cconv, decode_calling_convention(r));
    KD_LET(parameter_types, r.read_seq<Typeref>(decode_typeref));
    KD_LET(return_type, r.read_option<Typeref>(decode_typeref));
    return ExternalFunction{uuid, std::move(name), cconv, std::move(parameter_types), return_type};
}


}  // namespace kdinstr::encoding
