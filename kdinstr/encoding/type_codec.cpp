#include "kdinstr/encoding/type_codec.hpp"
#include "kdinstr/encoding/try.hpp"

#include <utility>
#include <variant>

namespace kdinstr::encoding {

namespace {

using namespace types::primary;
using types::AnyType;
using types::Typeref;
using types::aggregate::ArrayType;
using types::aggregate::StructType;


// The payloads that `PrimaryType` and `PrimaryBasicType` share, under the same tags 0..4.
IoResult<void> encode_basic_payload(BorshWriter& w, const IType& t) { return encode(w, t); }
IoResult<void> encode_basic_payload(BorshWriter& w, FType t) { return encode(w, t); }
IoResult<void> encode_basic_payload(BorshWriter& w, const ExtType& t) { return encode(w, t); }
IoResult<void> encode_basic_payload(BorshWriter&, const Ptr&) { return {}; }
IoResult<void> encode_basic_payload(BorshWriter& w, const Wildcard& t) {
    return w.write_u16(t.index);
}

// Reads the payload of basic tag 0..4 into whatever `T` (primary or basic type) is.
template <typename T>
IoResult<T> decode_basic_payload(BorshReader& r, std::uint8_t tag) {
    switch (tag) {
        case 0: {
            KD_LET(t, decode_itype(r));
            return T(t);
        }
        case 1: {
            KD_LET(t, decode_ftype(r));
            return T(t);
        }
        case 2: {
            KD_LET(t, decode_ext_type(r));
            return T(std::move(t));
        }
        case 3:
            return T(Ptr{});
        default: {
            KD_LET(index, r.read_u16());
            return T(Wildcard{index});
        }
    }
}

}  // namespace

IoResult<void> encode(BorshWriter& w, const utils::Uuid& value) { return w.write_raw(value.bytes); }

IoResult<utils::Uuid> decode_uuid(BorshReader& r) {
    KD_LET(bytes, r.read_array<16>());
    return utils::Uuid{bytes};
}

IoResult<void> encode(BorshWriter& w, const Typeref& value) { return encode(w, value.uuid); }

IoResult<Typeref> decode_typeref(BorshReader& r) {
    KD_LET(uuid, decode_uuid(r));
    return Typeref{uuid};
}

IoResult<void> encode(BorshWriter& w, const IType& value) { return w.write_u32(value.num_bits); }

IoResult<IType> decode_itype(BorshReader& r) {
    // Widths are taken as they come: only the lexer checks them.
    KD_LET(bits, r.read_u32());
    return IType{bits};
}

IoResult<void> encode(BorshWriter& w, FType value) {
    return w.write_u8(static_cast<std::uint8_t>(value));
}

IoResult<FType> decode_ftype(BorshReader& r) {
    KD_LET(tag, r.read_tag(static_cast<std::uint8_t>(ALL_FTYPES.size() - 1)));
    return static_cast<FType>(tag);
}

IoResult<void> encode(BorshWriter& w, const VcSize& value) {
    KD_TRY(w.write_u8(value.is_scalable() ? 1 : 0));
    return w.write_u16(value.count());
}

IoResult<VcSize> decode_vc_size(BorshReader& r) {
    KD_LET(tag, r.read_tag(1));
    KD_LET(count, r.read_u16());
    return tag == 0 ? VcSize::fixed(count) : VcSize::scalable(count);
}

IoResult<void> encode(BorshWriter& w, const ExtType& value) {
    KD_TRY(encode(w, value.uuid));
    return w.write_seq(value.params,
                       [](BorshWriter& w, std::uint32_t p) { return w.write_u32(p); });
}

IoResult<ExtType> decode_ext_type(BorshReader& r) {
    KD_LET(uuid, decode_uuid(r));
    KD_LET(params, r.read_seq<std::uint32_t>([](BorshReader& r) { return r.read_u32(); }));
    return ExtType{uuid, std::move(params)};
}

IoResult<void> encode(BorshWriter& w, const PrimaryBasicType& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.value.index())));
    return std::visit([&](const auto& payload) { return encode_basic_payload(w, payload); },
                      value.value);
}

IoResult<PrimaryBasicType> decode_primary_basic_type(BorshReader& r) {
    KD_LET(tag, r.read_tag(4));
    return decode_basic_payload<PrimaryBasicType>(r, tag);
}

IoResult<void> encode(BorshWriter& w, const PrimaryType& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.value.index())));
    return std::visit(
        [&](const auto& payload) -> IoResult<void> {
            using P = std::decay_t<decltype(payload)>;
            if constexpr (std::is_same_v<P, PrimaryType::Vector>) {
                KD_TRY(encode(w, payload.element));
                return encode(w, payload.size);
            } else if constexpr (std::is_same_v<P, PrimaryType::Label>) {
                return {};
            } else {
                return encode_basic_payload(w, payload);
            }
        },
        value.value);
}

IoResult<PrimaryType> decode_primary_type(BorshReader& r) {
    KD_LET(tag, r.read_tag(6));
    switch (tag) {
        case 5: {
            KD_LET(element, decode_primary_basic_type(r));
            KD_LET(size, decode_vc_size(r));
            return PrimaryType::vector(std::move(element), size);
        }
        case 6:
            return PrimaryType(PrimaryType::Label{});
        default:
            return decode_basic_payload<PrimaryType>(r, tag);
    }
}

IoResult<void> encode(BorshWriter& w, const ArrayType& value) {
    KD_TRY(encode(w, value.element));
    return w.write_u16(value.count);
}

IoResult<ArrayType> decode_array_type(BorshReader& r) {
    KD_LET(element, decode_typeref(r));
    KD_LET(count, r.read_u16());
    return ArrayType{element, count};
}

IoResult<void> encode(BorshWriter& w, const StructType& value) {
    KD_TRY(
        w.write_seq(value.elements, [](BorshWriter& w, const Typeref& t) { return encode(w, t); }));
    return w.write_bool(value.packed);
}

IoResult<StructType> decode_struct_type(BorshReader& r) {
    KD_LET(elements, r.read_seq<Typeref>(decode_typeref));
    KD_LET(packed, r.read_bool());
    return StructType{std::move(elements), packed};
}

IoResult<void> encode(BorshWriter& w, const AnyType& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.value.index())));
    return std::visit([&](const auto& payload) { return encode(w, payload); }, value.value);
}

IoResult<AnyType> decode_any_type(BorshReader& r) {
    KD_LET(tag, r.read_tag(2));
    switch (tag) {
        case 0: {
            KD_LET(p, decode_primary_type(r));
            return AnyType(std::move(p));
        }
        case 1: {
            KD_LET(a, decode_array_type(r));
            return AnyType(a);
        }
        default: {
            KD_LET(s, decode_struct_type(r));
            return AnyType(std::move(s));
        }
    }
}

}  // namespace kdinstr::encoding

