#include "kdinstr/encoding/enum_codec.hpp"

#include "kdinstr/utils/panic.hpp"

namespace kdinstr::encoding {

using modules::CallingConvention;

IoResult<void> encode(BorshWriter& w, const CallingConvention& value) {
    const auto tag = static_cast<std::uint32_t>(value.tag());
    if (auto r = w.write_u8(static_cast<std::uint8_t>(tag)); !r) return r;
    if (value.tag() == CallingConvention::Tag::Numbered) return w.write_u32(value.number());
    return {};
}

IoResult<CallingConvention> decode_calling_convention(BorshReader& r) {
    auto tag = r.read_tag(static_cast<std::uint8_t>(CallingConvention::tag_count - 1));
    if (!tag) return std::unexpected(std::move(tag.error()));
    std::uint32_t number = 0;
    if (*tag == static_cast<std::uint32_t>(CallingConvention::Tag::Numbered)) {
        auto n = r.read_u32();
        if (!n) return std::unexpected(std::move(n.error()));
        number = *n;
    }
    auto convention = CallingConvention::from_tag(*tag, number);
    if (!convention) utils::panic("calling convention tag {} passed the range check", *tag);
    return *convention;
}

}  // namespace kdinstr::encoding
