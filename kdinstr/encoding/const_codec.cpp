#include "kdinstr/encoding/const_codec.hpp"
#include "kdinstr/encoding/try.hpp"

#include <utility>
#include <variant>

#include "kdinstr/encoding/type_codec.hpp"

namespace kdinstr::encoding {


IoResult<void> encode(BorshWriter& w, const consts::BigDecimal& value) {
    KD_TRY(w.write_bigint(value.unscaled));
    return w.write_i64(value.scale);
}

IoResult<consts::BigDecimal> decode_big_decimal(BorshReader& r) {
    KD_LET(unscaled, r.read_bigint());
    KD_LET(scale, r.read_i64());
    return consts::BigDecimal(std::move(unscaled), scale);
}

IoResult<void> encode(BorshWriter& w, const consts::IConst& value) {
    KD_TRY(encode(w, value.ty));
    return w.write_bigint(value.value);
}

IoResult<consts::IConst> decode_iconst(BorshReader& r) {
    KD_LET(ty, decode_itype(r));
    KD_LET(value, r.read_bigint());
    return consts::IConst(ty, std::move(value));
}

IoResult<void> encode(BorshWriter& w, const consts::FConst& value) {
    KD_TRY(encode(w, value.ty));
    return encode(w, value.value);
}

IoResult<consts::FConst> decode_fconst(BorshReader& r) {
    KD_LET(ty, decode_ftype(r));
    KD_LET(value, decode_big_decimal(r));
    return consts::FConst(ty, std::move(value));
}

IoResult<void> encode(BorshWriter& w, const modules::FunctionPointer& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.kind())));
    return encode(w, value.uuid());
}

IoResult<modules::FunctionPointer> decode_function_pointer(BorshReader& r) {
    KD_LET(tag, r.read_tag(1));
    KD_LET(uuid, decode_uuid(r));
    return modules::FunctionPointer(static_cast<modules::FunctionPointerKind>(tag), uuid);
}

IoResult<void> encode(BorshWriter& w, const consts::AnyConst& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.kind())));
    return std::visit([&](const auto& payload) { return encode(w, payload); }, value.variant());
}

IoResult<consts::AnyConst> decode_any_const(BorshReader& r) {
    KD_LET(tag, r.read_tag(2));
    switch (tag) {
        case 0: {
            KD_LET(c, decode_iconst(r));
            return consts::AnyConst(std::move(c));
        }
        case 1: {
            KD_LET(c, decode_fconst(r));
            return consts::AnyConst(std::move(c));
        }
        default: {
            KD_LET(p, decode_function_pointer(r));
            return consts::AnyConst(p);
        }
    }
}


}  // namespace kdinstr::encoding
