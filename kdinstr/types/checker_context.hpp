#pragma once
// The state the type checker keeps while it checks one function, and the helpers every rule
// uses: operand types, facts about a type, mismatch errors.
//
// Registry discipline: facts are copied out of a read view that is dropped before the helper
// returns, and every helper that interns (`operand_type`, `ptr_type`, `intern`) holds no view.
// Rules therefore never see a view at all and cannot deadlock on their own lock.
#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/modules/name_table.hpp"
#include "kdinstr/modules/operand.hpp"
#include "kdinstr/modules/terminator.hpp"
#include "kdinstr/types/primary.hpp"
#include "kdinstr/types/registry.hpp"
#include "kdinstr/types/typeref.hpp"
#include "kdinstr/utils/error.hpp"

namespace kdinstr::types::checker {

template <typename T>
using Checked = std::expected<T, utils::Error>;
using Step = std::expected<void, utils::Error>;

// What the rules need to know about one type, copied out of the registry.
struct TypeFacts {
    enum class Kind : std::uint8_t {
        // Not held by the registry, or a wildcard: no rule accepts it.
        Missing,
        Int,
        Float,
        Ext,
        Ptr,
        Wildcard,
        Vector,
        Label,
        Array,
        Struct,
    };
    // A vector's element kind; None for every other type.
    enum class Element : std::uint8_t { None, Int, Float, Ext, Ptr, Wildcard };

    Kind kind = Kind::Missing;
    Element element = Element::None;
    // Int: its width; a vector of Int: the element's width.
    std::uint32_t width = 0;
    // Float: its format; a vector of Float: the element's format.
    primary::FType ftype = primary::FType::Fp16;
    // Vector only.
    primary::VcSize size = primary::VcSize::fixed(0);
    // Array: its element count; Struct: its field count.
    std::uint32_t count = 0;
    // Array: its element type; Struct: the field asked for, when it exists.
    std::optional<Typeref> inner;

    bool is_int() const { return kind == Kind::Int; }
    bool is_i1() const { return kind == Kind::Int && width == 1; }
    bool is_float() const { return kind == Kind::Float; }
    bool is_ptr() const { return kind == Kind::Ptr; }
    bool is_vector() const { return kind == Kind::Vector; }
    bool is_int_vector() const { return kind == Kind::Vector && element == Element::Int; }
    bool is_float_vector() const { return kind == Kind::Vector && element == Element::Float; }
    bool is_i1_vector() const { return is_int_vector() && width == 1; }
};

// Register number -> position of its type, sized once for every name a function can define
// (`modules::name_table_for_names`): the dense numbering (the usual one) indexes an array that
// a small function keeps inline, other numbers go to a seeded hash table.
using NameSlots = modules::NameTable;

class Checker {
  public:
    Checker(TypeRegistry& registry, std::size_t expected_names)
        : registry_(registry), names_(modules::name_table_for_names(expected_names)) {
        types_.reserve(expected_names);
    }

    TypeRegistry& registry() { return registry_; }

    // Pass 1: a repeated parameter keeps the later type.
    void record_parameter(modules::Name name, Typeref type);
    // Pass 2: a name already recorded fails with DuplicateDefinition.
    Step record_destination(const modules::KdInstr& instruction);

    // The instruction or terminator whose text goes into errors from now on.
    void set_subject(const modules::KdInstr& instruction) { subject_ = &instruction; }
    void set_subject(const modules::KdTerminator& terminator) { subject_ = &terminator; }

    // The type the checker gives an operand; may intern the type of a constant.
    Checked<Typeref> operand_type(const modules::Operand& operand);
    // The registry's identifier of ptr (interned once per check).
    Typeref ptr_type();
    // Interns a type; no view is held here.
    Typeref intern(AnyType type);

    // Looks the type up once; `field` selects the struct field reported in `inner`.
    TypeFacts facts(Typeref type, std::optional<std::uint32_t> field = std::nullopt) const;
    // The element of a vector type taken as a primary type, copied out of the registry.
    std::optional<primary::PrimaryType> vector_element(Typeref vector) const;

    // Texts for messages.
    std::string type_text(Typeref type) const;
    std::string subject_text() const;
    // An operand's own text, without registry and module: a register, a constant, "undef".
    static std::string operand_text(const modules::Operand& operand);

    // TypeMismatch with the current subject's text.
    utils::Error mismatch(std::string expected, std::string found) const;
    utils::Error mismatch(std::string expected, Typeref found) const;
    utils::Error mismatch(Typeref expected, Typeref found) const;
    // IndexOutOfBounds with the current subject's text; `maximum` is the first index out of range.
    utils::Error out_of_bounds(std::uint64_t index, Typeref type, std::uint64_t maximum) const;

  private:
    TypeRegistry& registry_;
    // Register -> position in `types_`.
    NameSlots names_;
    std::vector<Typeref> types_;
    std::optional<Typeref> ptr_;
    // The last constant types interned: constants of one width or format repeat, and the
    // registry returns the same identifier for a type it holds, so later ones skip the lookup.
    std::optional<std::pair<std::uint32_t, Typeref>> last_int_;
    std::optional<std::pair<primary::FType, Typeref>> last_float_;
    // The facts of types looked up without a field, by a few bits of the identifier: a function
    // uses a handful of types, and each lookup in the registry takes its lock. Only a type the
    // registry holds is kept: it never changes once stored, while a missing one may be
    // interned meanwhile.
    struct FactsEntry {
        Typeref type;
        TypeFacts facts;
        bool held = false;
    };
    static constexpr std::size_t kFactsSlots = 16;
    static std::size_t facts_slot(const Typeref& type) {
        // Minted identifiers differ in their clock sequence (bytes 8 and 9) and time fields.
        return (type.uuid.bytes[9] ^ type.uuid.bytes[3] ^ type.uuid.bytes[15]) % kFactsSlots;
    }
    mutable std::array<FactsEntry, kFactsSlots> facts_cache_{};
    std::variant<std::monostate, const modules::KdInstr*, const modules::KdTerminator*> subject_;
};

}  // namespace kdinstr::types::checker
