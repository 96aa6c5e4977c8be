#include "kdinstr/types/checker_cast.hpp"

#include <fmt/format.h>

#include <cstdint>
#include <string>

namespace kdinstr::types::checker {

using modules::instructions::Cast;
using modules::instructions::CastVariant;
using primary::FType;

namespace {

// The bit size of a floating-point format, as a bitcast compares it.
std::uint32_t ftype_bits(FType type) {
    switch (type) {
        case FType::Fp16:
        case FType::Bf16:
            return 16;
        case FType::Fp32:
            return 32;
        case FType::Fp64:
            return 64;
        case FType::Fp128:
        case FType::PPCFp128:
            return 128;
        case FType::X86Fp80:
            return 80;
    }
    return 0;
}

// "one of " and the formats whose byte size is smaller (or larger) than `from`'s, in enum order.
std::string formats_sized(FType from, bool smaller) {
    const std::uint32_t size = primary::ftype_byte_size(from);
    std::string list;
    for (const FType t : primary::ALL_FTYPES) {
        const std::uint32_t s = primary::ftype_byte_size(t);
        if (smaller ? s < size : s > size) {
            if (!list.empty()) list += ", ";
            list += primary::ftype_text(t);
        }
    }
    return fmt::format("one of {}", list);
}

// The width, kind and size tests of a cast. Whichever type they look at, their mismatch shows
// the value's type as the found text.
struct CastTests {
    Checker& c;
    Typeref value;

    std::unexpected<utils::Error> fail(std::string expected) const {
        return std::unexpected(c.mismatch(std::move(expected), value));
    }

    Checked<std::uint32_t> integer_width(const TypeFacts& f) const {
        if (f.is_int() || f.is_int_vector()) return f.width;
        return fail("iN");
    }
    Checked<FType> floating_kind(const TypeFacts& f) const {
        if (f.is_float() || f.is_float_vector()) return f.ftype;
        return fail("fp");
    }
    Step pointer(const TypeFacts& f) const {
        if (f.is_ptr()) return {};
        return fail("ptr");
    }
    Checked<std::uint32_t> bit_size(const TypeFacts& f) const {
        if (f.is_float() || f.is_float_vector()) return ftype_bits(f.ftype);
        if (f.is_int() || f.is_int_vector()) return f.width;
        return fail("iN or fp or <K x iN> or <K x fp>");
    }
};

}  // namespace

Step check_cast(Checker& c, const Cast& cast) {
    const auto v = c.operand_type(cast.value);
    if (!v) return std::unexpected(v.error());
    const TypeFacts vf = c.facts(*v);
    const TypeFacts df = c.facts(cast.ty);

    // A type the registry cannot show has no shape: it fails here rather than pass as a scalar.
    const bool known = vf.kind != TypeFacts::Kind::Missing && df.kind != TypeFacts::Kind::Missing;
    const bool same_shape = vf.is_vector() ? df.is_vector() && vf.size == df.size : !df.is_vector();
    if (!known || !same_shape) {
        std::string shape = df.is_vector() ? fmt::format("<{} x T>", df.size.to_string()) : "T";
        return std::unexpected(c.mismatch(std::move(shape), *v));
    }

    const CastTests test{c, *v};
    switch (cast.variant) {
        case CastVariant::Trunc:
        case CastVariant::ZExt:
        case CastVariant::SExt: {
            const auto from = test.integer_width(vf);
            if (!from) return std::unexpected(from.error());
            const auto to = test.integer_width(df);
            if (!to) return std::unexpected(to.error());
            if (cast.variant == CastVariant::Trunc) {
                if (*from <= *to) return test.fail(fmt::format("iN where N < {}", *from));
            } else if (*from >= *to) {
                return test.fail(fmt::format("iN where N > {}", *from));
            }
            return {};
        }
        case CastVariant::FpTrunc:
        case CastVariant::FpExt: {
            const auto from = test.floating_kind(vf);
            if (!from) return std::unexpected(from.error());
            const auto to = test.floating_kind(df);
            if (!to) return std::unexpected(to.error());
            const std::uint32_t fs = primary::ftype_byte_size(*from);
            const std::uint32_t ts = primary::ftype_byte_size(*to);
            const bool trunc = cast.variant == CastVariant::FpTrunc;
            if (trunc ? fs <= ts : fs >= ts) return test.fail(formats_sized(*from, trunc));
            return {};
        }
        case CastVariant::FpToUI:
        case CastVariant::FpToSI: {
            if (const auto from = test.floating_kind(vf); !from)
                return std::unexpected(from.error());
            if (const auto to = test.integer_width(df); !to) return std::unexpected(to.error());
            return {};
        }
        case CastVariant::UIToFp:
        case CastVariant::SIToFp: {
            if (const auto from = test.integer_width(vf); !from)
                return std::unexpected(from.error());
            if (const auto to = test.floating_kind(df); !to) return std::unexpected(to.error());
            return {};
        }
        case CastVariant::PtrToInt: {
            if (const auto from = test.pointer(vf); !from) return from;
            if (const auto to = test.integer_width(df); !to) return std::unexpected(to.error());
            return {};
        }
        case CastVariant::IntToPtr: {
            if (const auto from = test.integer_width(vf); !from)
                return std::unexpected(from.error());
            return test.pointer(df);
        }
        case CastVariant::Bitcast: {
            const auto from = test.bit_size(vf);
            if (!from) return std::unexpected(from.error());
            const auto to = test.bit_size(df);
            if (!to) return std::unexpected(to.error());
            if (*from != *to) return test.fail(fmt::format("type of size {}", *from));
            return {};
        }
    }
    // A variant byte outside the enum (not made by the parser or the decoder).
    return test.fail("a cast kind");
}

}  // namespace kdinstr::types::checker
