#pragma once
// The primary (non-aggregate) types of the IR: integers, floating-point formats, extension types,
// pointers, wildcards, vectors and labels. Variant order is the binary encoding's tag.
#include <fmt/format.h>

#include <array>
#include <compare>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "kdinstr/utils/uuid.hpp"

namespace kdinstr::types::primary {

// An integer type of `num_bits` bits. Plain aggregate: `IType{32}` builds one without the width
// check; only `create` checks it (the lexer reports its message).
struct IType {
    static constexpr std::uint32_t MIN_BITS = 1;
    static constexpr std::uint32_t MAX_BITS = 8388607;  // 0x7FFFFF

    std::uint32_t num_bits = 1;

    bool operator==(const IType&) const = default;
    auto operator<=>(const IType&) const = default;

    // Refuses a width outside [MIN_BITS, MAX_BITS] with the text of `width_error_message`.
    static std::expected<IType, std::string> create(std::uint32_t num_bits);
    // "cannot create IType with width {} (must be between {} and {})"
    static std::string width_error_message(std::uint32_t num_bits);

    // "i32"
    std::string to_string() const;
    // "IType { num_bits: 32 }"
    std::string debug() const;
};

// Floating-point formats; the value is the encoding's byte.
enum class FType : std::uint8_t {
    Fp16 = 0,
    Bf16 = 1,
    Fp32 = 2,
    Fp64 = 3,
    Fp128 = 4,
    X86Fp80 = 5,
    PPCFp128 = 6,
};

inline constexpr std::array<FType, 7> ALL_FTYPES = {FType::Fp16,    FType::Bf16,  FType::Fp32,
                                                    FType::Fp64,    FType::Fp128, FType::X86Fp80,
                                                    FType::PPCFp128};

// Exact, case-sensitive match of "fp16", "bf16", "fp32", "fp64", "fp128", "x86_fp80",
// "ppc_fp128"; anything else gives none (callers word their own message).
std::optional<FType> ftype_from_text(std::string_view text);
// The enum value for an encoded byte 0..6, none otherwise.
std::optional<FType> ftype_from_byte(std::uint8_t value);
// 2, 2, 4, 8, 16, 10, 16: the type checker orders formats by it.
std::uint32_t ftype_byte_size(FType type);
// "fp16" .. "ppc_fp128"
std::string_view ftype_text(FType type);
// "Fp16" .. "PPCFp128"
std::string_view ftype_debug(FType type);

// The length of a vector: a fixed count, or a count times a run-time scale.
struct VcSize {
    struct Fixed {
        std::uint16_t count = 0;
        bool operator==(const Fixed&) const = default;
    };
    struct Scalable {
        std::uint16_t count = 0;
        bool operator==(const Scalable&) const = default;
    };
    using Variant = std::variant<Fixed, Scalable>;  // tag 0, 1

    Variant value;

    // Spelled out: clang cannot default it while the nested records are still incomplete.
    VcSize() : value(Fixed{}) {}
    VcSize(Fixed f) : value(f) {}
    VcSize(Scalable s) : value(s) {}
    static VcSize fixed(std::uint16_t count) { return VcSize(Fixed{count}); }
    static VcSize scalable(std::uint16_t count) { return VcSize(Scalable{count}); }

    bool is_scalable() const { return std::holds_alternative<Scalable>(value); }
    std::uint16_t count() const;

    bool operator==(const VcSize&) const = default;

    // "4" or "vscale 4"
    std::string to_string() const;
    // "Fixed(4)" or "Scalable(4)"
    std::string debug() const;
};

// An extension type: the extension's UUID and its parameters.
struct ExtType {
    utils::Uuid uuid;
    std::vector<std::uint32_t> params;

    bool operator==(const ExtType&) const = default;

    // "ext<uuid>" without parameters, "ext<uuid>(8, 16)" with them.
    std::string to_string() const;
    // "ExtType { uuid: <uuid text>, params: [8, 16] }"
    std::string debug() const;
};

// Payload-free pointer type.
struct Ptr {
    bool operator==(const Ptr&) const = default;
};

// A wildcard type variable with its index.
struct Wildcard {
    std::uint16_t index = 0;
    bool operator==(const Wildcard&) const = default;

    // "A".."Z" for 0..25, "_26" and up in decimal.
    std::string to_string() const;
};

// The element type of a vector: the first five primary variants.
struct PrimaryBasicType {
    using Int = IType;
    using Float = FType;
    using Ext = ExtType;
    using Ptr = primary::Ptr;
    using Wildcard = primary::Wildcard;
    using Variant = std::variant<Int, Float, Ext, Ptr, Wildcard>;  // tag 0..4

    Variant value;

    PrimaryBasicType() : value(std::in_place_type<Ptr>) {}
    PrimaryBasicType(IType t) : value(t) {}
    PrimaryBasicType(FType t) : value(t) {}
    PrimaryBasicType(ExtType t) : value(std::move(t)) {}
    PrimaryBasicType(Ptr t) : value(t) {}
    PrimaryBasicType(Wildcard t) : value(t) {}

    bool operator==(const PrimaryBasicType&) const = default;

    // Same text as the matching primary variant.
    std::string to_string() const;
    // "Int(IType { num_bits: 8 })", "Float(Fp32)", "Ext(ExtType { .. })", "Ptr", "Wildcard(3)"
    std::string debug() const;
};

struct PrimaryType {
    using Int = IType;
    using Float = FType;
    using Ext = ExtType;
    using Ptr = primary::Ptr;
    using Wildcard = primary::Wildcard;
    struct Vector {
        PrimaryBasicType element;
        VcSize size;
        bool operator==(const Vector&) const = default;
    };
    // The type of block labels.
    struct Label {
        bool operator==(const Label&) const = default;
    };
    using Variant = std::variant<Int, Float, Ext, Ptr, Wildcard, Vector, Label>;  // tag 0..6

    Variant value;

    PrimaryType() : value(std::in_place_type<Ptr>) {}
    PrimaryType(IType t) : value(t) {}
    PrimaryType(FType t) : value(t) {}
    PrimaryType(ExtType t) : value(std::move(t)) {}
    PrimaryType(Ptr t) : value(t) {}
    PrimaryType(Wildcard t) : value(t) {}
    PrimaryType(Vector t) : value(std::move(t)) {}
    PrimaryType(Label t) : value(t) {}
    // The primary variant with the same payload.
    explicit PrimaryType(const PrimaryBasicType& basic);

    static PrimaryType vector(PrimaryBasicType element, VcSize size) {
        return PrimaryType(Vector{std::move(element), size});
    }

    bool operator==(const PrimaryType&) const = default;

    // The basic variant with the same payload; none for Vector and Label.
    std::optional<PrimaryBasicType> as_basic() const;
    // The index when this is a Wildcard.
    std::optional<std::uint16_t> wildcard_index() const;

    // "i32", "fp64", "ext<..>", "ptr", "A", "<4 x i32>", "<vscale 2 x fp64>", "label"
    std::string to_string() const;
    // As PrimaryBasicType, plus "Vector(<element debug>, <size debug>)" and "Label".
    std::string debug() const;
};

}  // namespace kdinstr::types::primary

#define KDINSTR_TYPES_TEXT_FORMATTER(T)                                          \
    template <>                                                                  \
    struct fmt::formatter<T> : fmt::formatter<std::string_view> {                \
        auto format(const T& v, fmt::format_context& ctx) const {                \
            return fmt::formatter<std::string_view>::format(v.to_string(), ctx); \
        }                                                                        \
    };

KDINSTR_TYPES_TEXT_FORMATTER(kdinstr::types::primary::IType)
KDINSTR_TYPES_TEXT_FORMATTER(kdinstr::types::primary::VcSize)
KDINSTR_TYPES_TEXT_FORMATTER(kdinstr::types::primary::ExtType)
KDINSTR_TYPES_TEXT_FORMATTER(kdinstr::types::primary::Wildcard)
KDINSTR_TYPES_TEXT_FORMATTER(kdinstr::types::primary::PrimaryBasicType)
KDINSTR_TYPES_TEXT_FORMATTER(kdinstr::types::primary::PrimaryType)
#undef KDINSTR_TYPES_TEXT_FORMATTER

template <>
struct fmt::formatter<kdinstr::types::primary::FType> : fmt::formatter<std::string_view> {
    auto format(kdinstr::types::primary::FType t, fmt::format_context& ctx) const {
        return fmt::formatter<std::string_view>::format(kdinstr::types::primary::ftype_text(t),
                                                        ctx);
    }
};
