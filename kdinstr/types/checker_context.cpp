#include "kdinstr/types/checker_context.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <utility>

#include "kdinstr/modules/fmt.hpp"
#include "kdinstr/types/any_type.hpp"

namespace kdinstr::types::checker {

using modules::KdInstr;
using modules::KdTerminator;
using modules::Operand;
using utils::Error;

void Checker::record_parameter(modules::Name name, Typeref type) {
    // The later of two parameters of one name wins; its earlier slot stays unused.
    names_.assign(name.value, static_cast<std::uint32_t>(types_.size()));
    types_.push_back(type);
}

Step Checker::record_destination(const KdInstr& instruction) {
    // One dispatch for both the destination and its type.
    return std::visit(
        [&](const auto& record) -> Step {
            const std::optional<modules::Name> dest = modules::instructions::destination(record);
            if (!dest) return {};
            const std::optional<Typeref> type = modules::instructions::destination_type(record);
            if (!type) {
                // Only an invoke with a destination and no type gets here; the parser and the
                // decoder of well-formed modules never make one, but a register needs a type
                // to be recorded.
                set_subject(instruction);
                return std::unexpected(mismatch("any type", "void"));
            }
            if (!names_.insert(dest->value, static_cast<std::uint32_t>(types_.size())))
                return std::unexpected(Error::DuplicateDefinition{*dest});
            types_.push_back(*type);
            return {};
        },
        instruction.as_variant());
}

Checked<Typeref> Checker::operand_type(const Operand& operand) {
    if (const modules::Name* reg = operand.as_reg()) {
        if (const auto at = names_.find(reg->value)) return types_[*at];
        return std::unexpected(Error::UndefinedName{*reg});
    }
    if (const Typeref* undef = operand.as_undef()) return *undef;
    const consts::AnyConst& imm = *operand.as_imm();
    if (const consts::IConst* i = imm.as_int()) {
        if (!last_int_ || last_int_->first != i->ty.num_bits)
            last_int_.emplace(i->ty.num_bits, intern(AnyType(i->ty)));
        return last_int_->second;
    }
    if (const consts::FConst* f = imm.as_float()) {
        if (!last_float_ || last_float_->first != f->ty)
            last_float_.emplace(f->ty, intern(AnyType(f->ty)));
        return last_float_->second;
    }
    return ptr_type();
}

Typeref Checker::ptr_type() {
    if (!ptr_) ptr_ = intern(AnyType(primary::Ptr{}));
    return *ptr_;
}

Typeref Checker::intern(AnyType type) { return registry_.search_or_insert(std::move(type)); }

namespace {

void element_facts(const primary::PrimaryBasicType& element, TypeFacts& out) {
    using E = TypeFacts::Element;
    std::visit(
        [&](const auto& e) {
            using T = std::decay_t<decltype(e)>;
            if constexpr (std::is_same_v<T, primary::IType>) {
                out.element = E::Int;
                out.width = e.num_bits;
            } else if constexpr (std::is_same_v<T, primary::FType>) {
                out.element = E::Float;
                out.ftype = e;
            } else if constexpr (std::is_same_v<T, primary::ExtType>) {
                out.element = E::Ext;
            } else if constexpr (std::is_same_v<T, primary::Ptr>) {
                out.element = E::Ptr;
            } else {
                out.element = E::Wildcard;
            }
        },
        element.value);
}

void primary_facts(const primary::PrimaryType& type, TypeFacts& out) {
    using K = TypeFacts::Kind;
    std::visit(
        [&](const auto& p) {
            using T = std::decay_t<decltype(p)>;
            if constexpr (std::is_same_v<T, primary::IType>) {
                out.kind = K::Int;
                out.width = p.num_bits;
            } else if constexpr (std::is_same_v<T, primary::FType>) {
                out.kind = K::Float;
                out.ftype = p;
            } else if constexpr (std::is_same_v<T, primary::ExtType>) {
                out.kind = K::Ext;
            } else if constexpr (std::is_same_v<T, primary::Ptr>) {
                out.kind = K::Ptr;
            } else if constexpr (std::is_same_v<T, primary::Wildcard>) {
                // Stored only by a decoded registry taken as it came.
                out.kind = K::Wildcard;
            } else if constexpr (std::is_same_v<T, primary::PrimaryType::Vector>) {
                out.kind = K::Vector;
                out.size = p.size;
                element_facts(p.element, out);
            } else {
                out.kind = K::Label;
            }
        },
        type.value);
}

}  // namespace

TypeFacts Checker::facts(Typeref type, std::optional<std::uint32_t> field) const {
    FactsEntry& cached = facts_cache_[facts_slot(type)];
    if (!field && cached.held && cached.type == type) return cached.facts;
    TypeFacts out;
    const TypeRegistry::ReadView view = registry_.read();
    const AnyType* stored = view.find(type);
    if (!stored) return out;
    if (const auto* p = stored->as_primary()) {
        primary_facts(*p, out);
    } else if (const auto* a = stored->as_array()) {
        out.kind = TypeFacts::Kind::Array;
        out.count = a->count;
        out.inner = a->element;
    } else if (const auto* s = stored->as_struct()) {
        out.kind = TypeFacts::Kind::Struct;
        out.count = static_cast<std::uint32_t>(s->elements.size());
        if (field && *field < s->elements.size()) out.inner = s->elements[*field];
    }
    if (!field) cached = FactsEntry{type, out, true};
    return out;
}

std::optional<primary::PrimaryType> Checker::vector_element(Typeref vector) const {
    const TypeRegistry::ReadView view = registry_.read();
    const AnyType* stored = view.find(vector);
    if (!stored) return std::nullopt;
    const auto* p = stored->as_primary();
    if (!p) return std::nullopt;
    const auto* v = std::get_if<primary::PrimaryType::Vector>(&p->value);
    if (!v) return std::nullopt;
    return primary::PrimaryType(v->element);
}

std::string Checker::type_text(Typeref type) const { return registry_.fmt(type).to_string(); }

std::string Checker::subject_text() const {
    if (const auto* i = std::get_if<const KdInstr*>(&subject_))
        return modules::fmt::fmt_instr(**i, registry_).to_string();
    if (const auto* t = std::get_if<const KdTerminator*>(&subject_))
        return modules::fmt::fmt_terminator(**t, registry_).to_string();
    return {};
}

std::string Checker::operand_text(const Operand& operand) {
    return modules::fmt::fmt_operand(operand).to_string();
}

Error Checker::mismatch(std::string expected, std::string found) const {
    return Error::TypeMismatch{subject_text(), std::move(expected), std::move(found)};
}

Error Checker::mismatch(std::string expected, Typeref found) const {
    return mismatch(std::move(expected), type_text(found));
}

Error Checker::mismatch(Typeref expected, Typeref found) const {
    return mismatch(type_text(expected), type_text(found));
}

Error Checker::out_of_bounds(std::uint64_t index, Typeref type, std::uint64_t maximum) const {
    return Error::IndexOutOfBounds{static_cast<std::size_t>(index), type_text(type),
                                   static_cast<std::size_t>(maximum), subject_text()};
}

}  // namespace kdinstr::types::checker
