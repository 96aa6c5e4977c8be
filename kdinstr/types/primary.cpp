#include "kdinstr/types/primary.hpp"

#include <fmt/format.h>

#include "kdinstr/utils/debug_text.hpp"

namespace kdinstr::types::primary {

namespace {

struct FTypeInfo {
    std::string_view text;
    std::string_view debug;
    std::uint32_t byte_size;
};

constexpr std::array<FTypeInfo, 7> FTYPE_INFO = {{
    {"fp16", "Fp16", 2},
    {"bf16", "Bf16", 2},
    {"fp32", "Fp32", 4},
    {"fp64", "Fp64", 8},
    {"fp128", "Fp128", 16},
    {"x86_fp80", "X86Fp80", 10},
    {"ppc_fp128", "PPCFp128", 16},
}};

const FTypeInfo& info(FType type) {
    const auto index = static_cast<std::size_t>(type);
    // An out-of-range enum value can only come from a cast; fall back instead of reading past.
    return FTYPE_INFO[index < FTYPE_INFO.size() ? index : 0];
}

template <class... Fs>
struct Overload : Fs... {
    using Fs::operator()...;
};

}  // namespace

std::expected<IType, std::string> IType::create(std::uint32_t num_bits) {
    if (num_bits < MIN_BITS || num_bits > MAX_BITS) {
        return std::unexpected(width_error_message(num_bits));
    }
    return IType{num_bits};
}

std::string IType::width_error_message(std::uint32_t num_bits) {
    return fmt::format("cannot create IType with width {} (must be between {} and {})", num_bits,
                       MIN_BITS, MAX_BITS);
}

std::string IType::to_string() const { return fmt::format("i{}", num_bits); }

std::string IType::debug() const {
    return utils::debug_record("IType", {{"num_bits", fmt::format("{}", num_bits)}});
}

std::optional<FType> ftype_from_text(std::string_view text) {
    for (auto type : ALL_FTYPES) {
        if (info(type).text == text) return type;
    }
    return std::nullopt;
}

std::optional<FType> ftype_from_byte(std::uint8_t value) {
    if (value < ALL_FTYPES.size()) return static_cast<FType>(value);
    return std::nullopt;
}

std::uint32_t ftype_byte_size(FType type) { return info(type).byte_size; }
std::string_view ftype_text(FType type) { return info(type).text; }
std::string_view ftype_debug(FType type) { return info(type).debug; }

std::uint16_t VcSize::count() const {
    return std::visit([](const auto& v) { return v.count; }, value);
}

std::string VcSize::to_string() const {
    if (is_scalable()) return fmt::format("vscale {}", count());
    return fmt::format("{}", count());
}

std::string VcSize::debug() const {
    return utils::debug_tuple(is_scalable() ? "Scalable" : "Fixed", fmt::format("{}", count()));
}

std::string ExtType::to_string() const {
    if (params.empty()) return fmt::format("ext<{}>", uuid);
    return fmt::format("ext<{}>({})", uuid, fmt::join(params, ", "));
}

std::string ExtType::debug() const {
    return utils::debug_record(
        "ExtType",
        {{"uuid", uuid.to_string()}, {"params", utils::debug_list(params, [](std::uint32_t p) {
                                          return fmt::format("{}", p);
                                      })}});
}

std::string Wildcard::to_string() const {
    if (index < 26) return std::string(1, static_cast<char>('A' + index));
    return fmt::format("_{}", index);
}

namespace {

// Texts and debug forms of the five variants both primary unions share.
struct BasicText {
    std::string operator()(const IType& t) const { return t.to_string(); }
    std::string operator()(FType t) const { return std::string(ftype_text(t)); }
    std::string operator()(const ExtType& t) const { return t.to_string(); }
    std::string operator()(const Ptr&) const { return "ptr"; }
    std::string operator()(const Wildcard& w) const { return w.to_string(); }
};

struct BasicDebug {
    std::string operator()(const IType& t) const { return utils::debug_tuple("Int", t.debug()); }
    std::string operator()(FType t) const { return utils::debug_tuple("Float", ftype_debug(t)); }
    std::string operator()(const ExtType& t) const { return utils::debug_tuple("Ext", t.debug()); }
    std::string operator()(const Ptr&) const { return "Ptr"; }
    std::string operator()(const Wildcard& w) const {
        return utils::debug_tuple("Wildcard", fmt::format("{}", w.index));
    }
};

}  // namespace

std::string PrimaryBasicType::to_string() const { return std::visit(BasicText{}, value); }
std::string PrimaryBasicType::debug() const { return std::visit(BasicDebug{}, value); }

PrimaryType::PrimaryType(const PrimaryBasicType& basic)
    : value(std::visit([](const auto& v) -> Variant { return v; }, basic.value)) {}

std::optional<PrimaryBasicType> PrimaryType::as_basic() const {
    // By index rather than a generic visitor: g++ 12 warns (maybe-uninitialized) when an empty
    // payload is copied through the generic path.
    switch (value.index()) {
        case 0:
            return PrimaryBasicType(std::get<Int>(value));
        case 1:
            return PrimaryBasicType(std::get<Float>(value));
        case 2:
            return PrimaryBasicType(std::get<Ext>(value));
        case 3:
            return std::optional<PrimaryBasicType>(std::in_place);  // Ptr
        case 4:
            return PrimaryBasicType(std::get<Wildcard>(value));
        default:
            return std::nullopt;
    }
}

std::optional<std::uint16_t> PrimaryType::wildcard_index() const {
    if (const auto* w = std::get_if<Wildcard>(&value)) return w->index;
    return std::nullopt;
}

std::string PrimaryType::to_string() const {
    return std::visit(Overload{
                          [](const Vector& v) {
                              return fmt::format("<{} x {}>", v.size.to_string(),
                                                 v.element.to_string());
                          },
                          [](const Label&) { return std::string("label"); },
                          [](const auto& v) { return BasicText{}(v); },
                      },
                      value);
}

std::string PrimaryType::debug() const {
    return std::visit(Overload{
                          [](const Vector& v) {
                              return fmt::format("Vector({}, {})", v.element.debug(),
                                                 v.size.debug());
                          },
                          [](const Label&) { return std::string("Label"); },
                          [](const auto& v) { return BasicDebug{}(v); },
                      },
                      value);
}

}  // namespace kdinstr::types::primary
