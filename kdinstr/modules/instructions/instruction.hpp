#pragma once
// The uniform view of an instruction record: what it defines, what it reads, which types it
// names, and the rewriting of those types.
//
// Verification, SSA renumbering and the type checker walk every instruction of every function,
// so nothing here allocates: operand and type sequences point into the record's own fields.
#include <array>
#include <concepts>
#include <cstddef>
#include <iterator>
#include <map>
#include <optional>
#include <span>
#include <type_traits>
#include <utility>

#include "kdinstr/modules/instructions/fp.hpp"
#include "kdinstr/modules/instructions/int.hpp"
#include "kdinstr/modules/instructions/mem.hpp"
#include "kdinstr/modules/instructions/meta.hpp"
#include "kdinstr/modules/instructions/misc.hpp"
#include "kdinstr/utils/panic.hpp"

namespace kdinstr::modules {

// Old type -> new type, as a registry merge produces it. Ordered by the 16 bytes.
using TypeRemap = std::map<types::Typeref, types::Typeref>;

}  // namespace kdinstr::modules

namespace kdinstr::modules::instructions {

// The operands of one instruction in their fixed order: up to three single fields followed by
// a list field (of operands, or of phi pairs whose operands are taken). Borrows the record.
template <bool Mutable>
class BasicOperandSeq {
  public:
    using value_type = Operand;
    using reference = std::conditional_t<Mutable, Operand&, const Operand&>;
    using pointer = std::conditional_t<Mutable, Operand*, const Operand*>;
    using PhiPair = std::pair<Operand, Label>;
    using pair_pointer = std::conditional_t<Mutable, PhiPair*, const PhiPair*>;

    constexpr BasicOperandSeq() = default;
    constexpr BasicOperandSeq(std::initializer_list<pointer> head) { set_head(head); }
    constexpr BasicOperandSeq(std::initializer_list<pointer> head, pointer list, std::size_t n)
        : list_(list), list_len_(n) {
        set_head(head);
    }
    constexpr BasicOperandSeq(std::initializer_list<pointer> head, pair_pointer pairs,
                              std::size_t n)
        : pairs_(pairs), list_len_(n) {
        set_head(head);
    }

    constexpr std::size_t size() const { return head_len_ + list_len_; }
    constexpr bool empty() const { return size() == 0; }

    // Panics past the end: an index out of range is a caller's bug.
    constexpr reference operator[](std::size_t i) const {
        if (i < head_len_) return *head_[i];
        i -= head_len_;
        if (i >= list_len_) utils::panic("operand index {} out of range", i + head_len_);
        return pairs_ ? pairs_[i].first : list_[i];
    }

    class iterator {
      public:
        using value_type = Operand;
        using difference_type = std::ptrdiff_t;
        using reference = BasicOperandSeq::reference;
        using iterator_category = std::forward_iterator_tag;

        constexpr iterator() = default;
        constexpr iterator(const BasicOperandSeq* seq, std::size_t i) : seq_(seq), i_(i) {}
        constexpr reference operator*() const { return (*seq_)[i_]; }
        constexpr iterator& operator++() {
            ++i_;
            return *this;
        }
        constexpr iterator operator++(int) {
            iterator old = *this;
            ++i_;
            return old;
        }
        constexpr bool operator==(const iterator& other) const { return i_ == other.i_; }

      private:
        const BasicOperandSeq* seq_ = nullptr;
        std::size_t i_ = 0;
    };

    constexpr iterator begin() const { return iterator(this, 0); }
    constexpr iterator end() const { return iterator(this, size()); }

  private:
    constexpr void set_head(std::initializer_list<pointer> head) {
        for (pointer p : head) head_[head_len_++] = p;
    }

    std::array<pointer, 3> head_{};
    std::size_t head_len_ = 0;
    pointer list_ = nullptr;
    pair_pointer pairs_ = nullptr;
    std::size_t list_len_ = 0;
};

using Operands = BasicOperandSeq<false>;
using OperandsMut = BasicOperandSeq<true>;

// The types an instruction names itself, in their fixed order (at most two). Borrows the record.
template <bool Mutable>
class BasicTypeSeq {
  public:
    using reference = std::conditional_t<Mutable, Typeref&, const Typeref&>;
    using pointer = std::conditional_t<Mutable, Typeref*, const Typeref*>;

    constexpr BasicTypeSeq() = default;
    constexpr BasicTypeSeq(std::initializer_list<pointer> items) {
        for (pointer p : items) items_[len_++] = p;
    }

    constexpr std::size_t size() const { return len_; }
    constexpr bool empty() const { return len_ == 0; }
    constexpr reference operator[](std::size_t i) const {
        if (i >= len_) utils::panic("type index {} out of range", i);
        return *items_[i];
    }

    class iterator {
      public:
        using value_type = Typeref;
        using difference_type = std::ptrdiff_t;
        using reference = BasicTypeSeq::reference;
        using iterator_category = std::forward_iterator_tag;

        constexpr iterator() = default;
        constexpr explicit iterator(const pointer* p) : p_(p) {}
        constexpr reference operator*() const { return **p_; }
        constexpr iterator& operator++() {
            ++p_;
            return *this;
        }
        constexpr iterator operator++(int) {
            iterator old = *this;
            ++p_;
            return old;
        }
        constexpr bool operator==(const iterator& other) const { return p_ == other.p_; }

      private:
        const pointer* p_ = nullptr;
    };

    constexpr iterator begin() const { return iterator(items_.data()); }
    constexpr iterator end() const { return iterator(items_.data() + len_); }

  private:
    std::array<pointer, 2> items_{};
    std::size_t len_ = 0;
};

using Types = BasicTypeSeq<false>;
using TypesMut = BasicTypeSeq<true>;

template <typename R>
concept InstructionRecord = std::same_as<R, IAdd> || std::same_as<R, ISub> ||
    std::same_as<R, IMul> || std::same_as<R, IDiv> || std::same_as<R, IRem> ||
    std::same_as<R, ICmp> || std::same_as<R, ISht> || std::same_as<R, INeg> ||
    std::same_as<R, IAnd> || std::same_as<R, IOr> || std::same_as<R, IXor> ||
    std::same_as<R, INot> || std::same_as<R, IImplies> || std::same_as<R, IEquiv> ||
    std::same_as<R, FAdd> || std::same_as<R, FSub> || std::same_as<R, FMul> ||
    std::same_as<R, FDiv> || std::same_as<R, FRem> || std::same_as<R, FCmp> ||
    std::same_as<R, FNeg> || std::same_as<R, MLoad> || std::same_as<R, MStore> ||
    std::same_as<R, MAlloca> || std::same_as<R, MGetElementPtr> || std::same_as<R, Invoke> ||
    std::same_as<R, Phi> || std::same_as<R, Select> || std::same_as<R, Cast> ||
    std::same_as<R, InsertValue> || std::same_as<R, ExtractValue> || std::same_as<R, MetaAssert> ||
    std::same_as<R, MetaAssume> || std::same_as<R, MetaIsDef> || std::same_as<R, MetaProb> ||
    std::same_as<R, MetaAnalysisStat> || std::same_as<R, MetaForall>;

namespace detail {

template <typename R, typename... Ts>
inline constexpr bool is_one_of = (std::same_as<R, Ts> || ...);

// `Self` is a record, const or not; the sequence is mutable exactly when the record is.
template <typename Self>
constexpr BasicOperandSeq<!std::is_const_v<Self>> operand_seq(Self& r) {
    using R = std::remove_const_t<Self>;
    using Seq = BasicOperandSeq<!std::is_const_v<Self>>;
    if constexpr (requires {
                      r.lhs;
                      r.rhs;
                  }) {
        return Seq{&r.lhs, &r.rhs};
    } else if constexpr (is_one_of<R, INeg, INot, FNeg, Cast>) {
        return Seq{&r.value};
    } else if constexpr (std::same_as<R, MLoad>) {
        return Seq{&r.addr};
    } else if constexpr (std::same_as<R, MStore>) {
        return Seq{&r.addr, &r.value};
    } else if constexpr (std::same_as<R, MAlloca>) {
        return Seq{&r.count};
    } else if constexpr (std::same_as<R, MGetElementPtr>) {
        return Seq({&r.base}, r.indices.data(), r.indices.size());
    } else if constexpr (std::same_as<R, Invoke>) {
        return Seq({&r.function}, r.args.data(), r.args.size());
    } else if constexpr (std::same_as<R, Phi>) {
        return Seq({}, r.values.data(), r.values.size());
    } else if constexpr (std::same_as<R, Select>) {
        return Seq{&r.condition, &r.true_value, &r.false_value};
    } else if constexpr (std::same_as<R, InsertValue>) {
        return Seq{&r.aggregate, &r.value};
    } else if constexpr (std::same_as<R, ExtractValue>) {
        return Seq{&r.aggregate};
    } else if constexpr (is_one_of<R, MetaAssert, MetaAssume>) {
        return Seq{&r.condition};
    } else if constexpr (std::same_as<R, MetaIsDef>) {
        return Seq{&r.operand};
    } else if constexpr (std::same_as<R, MetaProb>) {
        return Seq{&r.operand.value};
    } else {
        static_assert(is_one_of<R, MetaAnalysisStat, MetaForall>);
        return Seq{};
    }
}

template <typename Self>
constexpr BasicTypeSeq<!std::is_const_v<Self>> type_seq(Self& r) {
    using R = std::remove_const_t<Self>;
    using Seq = BasicTypeSeq<!std::is_const_v<Self>>;
    if constexpr (std::same_as<R, MGetElementPtr>) {
        return Seq{&r.ty, &r.in_ty};
    } else if constexpr (std::same_as<R, Invoke>) {
        if (r.ty) return Seq{&*r.ty};
        return Seq{};
    } else if constexpr (requires { r.ty; }) {
        return Seq{&r.ty};
    } else {
        static_assert(is_one_of<R, MStore, MetaAssert, MetaAssume>);
        return Seq{};
    }
}

}  // namespace detail

// The register the instruction defines.
template <InstructionRecord R>
constexpr std::optional<Name> destination(const R& r) {
    if constexpr (requires { r.dest; })
        return r.dest;
    else
        return std::nullopt;
}

// The type of that register. An `Invoke` without a type answers none even with a destination.
template <InstructionRecord R>
constexpr std::optional<Typeref> destination_type(const R& r) {
    if constexpr (requires { r.ty; })
        return r.ty;
    else
        return std::nullopt;
}

template <InstructionRecord R>
constexpr Operands operands(const R& r) {
    return detail::operand_seq(r);
}
template <InstructionRecord R>
constexpr OperandsMut operands_mut(R& r) {
    return detail::operand_seq(r);
}
template <InstructionRecord R>
constexpr Types referenced_types(const R& r) {
    return detail::type_seq(r);
}
template <InstructionRecord R>
constexpr TypesMut referenced_types_mut(R& r) {
    return detail::type_seq(r);
}

template <InstructionRecord R, typename F>
constexpr void for_each_operand(const R& r, F&& f) {
    for (const Operand& o : detail::operand_seq(r)) f(o);
}
template <InstructionRecord R, typename F>
constexpr void for_each_operand_mut(R& r, F&& f) {
    for (Operand& o : detail::operand_seq(r)) f(o);
}
template <InstructionRecord R, typename F>
constexpr void for_each_type(const R& r, F&& f) {
    for (const Typeref& t : detail::type_seq(r)) f(t);
}
template <InstructionRecord R, typename F>
constexpr void for_each_type_mut(R& r, F&& f) {
    for (Typeref& t : detail::type_seq(r)) f(t);
}

// Each referenced type found among the map's keys is replaced by its value, looked up once.
// Types inside operands (undef, constants) are not touched.
template <InstructionRecord R>
void remap_types(R& r, const TypeRemap& map) {
    for_each_type_mut(r, [&](Typeref& t) {
        if (auto it = map.find(t); it != map.end()) t = it->second;
    });
}

}  // namespace kdinstr::modules::instructions
