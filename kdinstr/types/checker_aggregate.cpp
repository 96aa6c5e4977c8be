#include "kdinstr/types/checker_aggregate.hpp"

#include <cstdint>
#include <limits>

namespace kdinstr::types::checker {

namespace ins = modules::instructions;
using modules::Operand;

namespace {

// The element type of a vector, interned as a primary type. The registry view used to copy it
// is gone before the element is interned.
Checked<Typeref> vector_element(Checker& c, Typeref vector) {
    std::optional<primary::PrimaryType> element = c.vector_element(vector);
    if (!element) return std::unexpected(c.mismatch("aggregate type", vector));
    return c.intern(AnyType(std::move(*element)));
}

// One step into a struct, an array or a fixed vector by a constant index.
Checked<Typeref> aggregate_step(Checker& c, Typeref t, std::uint32_t index) {
    const TypeFacts f = c.facts(t, index);
    switch (f.kind) {
        case TypeFacts::Kind::Struct:
        case TypeFacts::Kind::Array:
            if (index >= f.count) return std::unexpected(c.out_of_bounds(index, t, f.count));
            return *f.inner;
        case TypeFacts::Kind::Vector:
            if (f.size.is_scalable()) break;
            if (index >= f.size.count())
                return std::unexpected(c.out_of_bounds(index, t, f.size.count()));
            return vector_element(c, t);
        default:
            break;
    }
    return std::unexpected(c.mismatch("aggregate type", t));
}

// The type reached from `t` through every index, one step each.
Checked<Typeref> walk(Checker& c, Typeref t, const std::vector<std::uint32_t>& indices) {
    for (const std::uint32_t index : indices) {
        const auto next = aggregate_step(c, t, index);
        if (!next) return next;
        t = *next;
    }
    return t;
}

// A struct field index of "getelementptr": an integer constant that fits in 32 unsigned bits.
std::optional<std::uint32_t> constant_field_index(const Operand& operand) {
    const consts::AnyConst* imm = operand.as_imm();
    const consts::IConst* i = imm ? imm->as_int() : nullptr;
    if (!i || sgn(i->value) < 0 || !i->value.fits_ulong_p()) return std::nullopt;
    const unsigned long value = i->value.get_ui();
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
    return static_cast<std::uint32_t>(value);
}

}  // namespace

Step check_getelementptr(Checker& c, const ins::MGetElementPtr& gep) {
    if (gep.ty != c.ptr_type()) return std::unexpected(c.mismatch("ptr", gep.ty));
    const auto base = c.operand_type(gep.base);
    if (!base) return std::unexpected(base.error());
    if (!c.facts(*base).is_ptr()) return std::unexpected(c.mismatch("ptr", *base));
    for (const Operand& index : gep.indices) {
        const auto t = c.operand_type(index);
        if (!t) return std::unexpected(t.error());
        if (!c.facts(*t).is_int())
            return std::unexpected(c.mismatch("iN", Checker::operand_text(index)));
    }
    // The first index steps over the pointer; only further ones walk into `in_ty`.
    Typeref t = gep.in_ty;
    for (std::size_t i = 1; i < gep.indices.size(); ++i) {
        const Operand& index = gep.indices[i];
        const std::optional<std::uint32_t> field = constant_field_index(index);
        const TypeFacts f = c.facts(t, field);
        switch (f.kind) {
            case TypeFacts::Kind::Struct: {
                if (!field)
                    return std::unexpected(
                        c.mismatch("constant integer", Checker::operand_text(index)));
                if (*field >= f.count) return std::unexpected(c.out_of_bounds(*field, t, f.count));
                t = *f.inner;
                break;
            }
            case TypeFacts::Kind::Array:
                t = *f.inner;
                break;
            case TypeFacts::Kind::Vector: {
                const auto element = vector_element(c, t);
                if (!element) return std::unexpected(element.error());
                t = *element;
                break;
            }
            default:
                return std::unexpected(c.mismatch("aggregate type", t));
        }
    }
    return {};
}

Step check_insertvalue(Checker& c, const ins::InsertValue& insert) {
    const auto a = c.operand_type(insert.aggregate);
    if (!a) return std::unexpected(a.error());
    const auto w = c.operand_type(insert.value);
    if (!w) return std::unexpected(w.error());
    if (*a != insert.ty) return std::unexpected(c.mismatch(insert.ty, *a));
    const auto reached = walk(c, *a, insert.indices);
    if (!reached) return std::unexpected(reached.error());
    if (*reached != *w) return std::unexpected(c.mismatch(*reached, *w));
    return {};
}

Step check_extractvalue(Checker& c, const ins::ExtractValue& extract) {
    const auto a = c.operand_type(extract.aggregate);
    if (!a) return std::unexpected(a.error());
    const auto reached = walk(c, *a, extract.indices);
    if (!reached) return std::unexpected(reached.error());
    if (*reached != extract.ty) return std::unexpected(c.mismatch(*reached, extract.ty));
    return {};
}

}  // namespace kdinstr::types::checker
