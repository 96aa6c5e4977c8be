#include "kdinstr/encoding/operand_codec.hpp"

#include <utility>
#include <variant>

#include "kdinstr/encoding/const_codec.hpp"
#include "kdinstr/encoding/type_codec.hpp"

namespace kdinstr::encoding {

using modules::Label;
using modules::Name;
using modules::Operand;

IoResult<void> encode(BorshWriter& w, const Name& value) { return w.write_u32(value.value); }

IoResult<Name> decode_name(BorshReader& r) {
    auto n = r.read_u32();
    if (!n) return std::unexpected(std::move(n.error()));
    return Name{*n};
}

IoResult<void> encode(BorshWriter& w, const Label& value) { return w.write_u32(value.value); }

IoResult<Label> decode_label(BorshReader& r) {
    auto n = r.read_u32();
    if (!n) return std::unexpected(std::move(n.error()));
    return Label{*n};
}

IoResult<void> encode(BorshWriter& w, const Operand& value) {
    if (auto r = w.write_u8(static_cast<std::uint8_t>(value.kind())); !r) return r;
    return std::visit([&](const auto& payload) { return encode(w, payload); }, value.variant());
}

IoResult<void> decode_operand_into(BorshReader& r, Operand& out) {
    auto tag = r.read_tag(2);
    if (!tag) return std::unexpected(std::move(tag.error()));
    switch (*tag) {
        case 0: {
            auto n = r.read_u32();
            if (!n) return std::unexpected(std::move(n.error()));
            out.variant().emplace<Name>(Name{*n});
            return {};
        }
        case 1: {
            auto c = decode_any_const(r);
            if (!c) return std::unexpected(std::move(c.error()));
            out.variant().emplace<consts::AnyConst>(std::move(*c));
            return {};
        }
        default: {
            auto t = decode_typeref(r);
            if (!t) return std::unexpected(std::move(t.error()));
            out.variant().emplace<types::Typeref>(*t);
            return {};
        }
    }
}

IoResult<Operand> decode_operand(BorshReader& r) {
    Operand operand;
    if (auto read = decode_operand_into(r, operand); !read)
        return std::unexpected(std::move(read.error()));
    return operand;
}

}  // namespace kdinstr::encoding
