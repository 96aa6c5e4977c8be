#include "kdinstr/encoding/block_codec.hpp"
#include "kdinstr/encoding/try.hpp"

#include <utility>
#include <variant>

#include "kdinstr/encoding/decode_costs.hpp"
#include "kdinstr/encoding/instr_codec.hpp"
#include "kdinstr/encoding/operand_codec.hpp"

namespace kdinstr::encoding {

using modules::BasicBlock;
using modules::KdInstr;
using modules::KdTerminator;
using modules::Label;
using modules::Operand;


IoResult<void> encode(BorshWriter& w, const KdTerminator& value) {
    KD_TRY(w.write_u8(static_cast<std::uint8_t>(value.index())));
    return std::visit(
        [&](const auto& t) -> IoResult<void> {
            using T = std::decay_t<decltype(t)>;
            if constexpr (std::is_same_v<T, KdTerminator::Branch>) {
                KD_TRY(encode(w, t.condition));
                KD_TRY(encode(w, t.true_target));
                return encode(w, t.false_target);
            } else if constexpr (std::is_same_v<T, KdTerminator::Jump>) {
                return encode(w, t.target);
            } else if constexpr (std::is_same_v<T, KdTerminator::Ret>) {
                return w.write_option(
                    t.value, [](BorshWriter& w, const Operand& v) { return encode(w, v); });
            } else {
                return {};
            }
        },
        value.as_variant());
}

IoResult<KdTerminator> decode_terminator(BorshReader& r) {
    KD_LET(tag, r.read_tag(3));
    switch (tag) {
        case 0: {
            KD_LET(condition, decode_operand(r));
            KD_LET(when_true, decode_label(r));
            KD_LET(when_false, decode_label(r));
            return KdTerminator(KdTerminator::Branch{std::move(condition), when_true, when_false});
        }
        case 1: {
            KD_LET(target, decode_label(r));
            return KdTerminator(KdTerminator::Jump{target});
        }
        case 2: {
            KD_LET(value, r.read_option<Operand>(decode_operand));
            return KdTerminator(KdTerminator::Ret{std::move(value)});
        }
        default:
            return KdTerminator(KdTerminator::Trap{});
    }
}

IoResult<void> encode(BorshWriter& w, const BasicBlock& value) {
    KD_TRY(encode(w, value.label));
    KD_TRY(w.write_seq(value.instructions,
                       [](BorshWriter& w, const KdInstr& i) { return encode(w, i); }));
    return encode(w, value.terminator);
}

IoResult<BasicBlock> decode_basic_block(BorshReader& r) {
    KD_LET(label, decode_label(r));
    KD_LET(count, r.read_u32());
    // Records are built where they stay; the count is not trusted for memory: the list grows
    // as records arrive, each growth charged first.
    std::vector<KdInstr> instructions;
    for (std::uint32_t i = 0; i < count; ++i) {
        KD_TRY(r.make_room(instructions, count));
        KD_TRY(decode_instruction_into(r, instructions));
    }
    // What loading builds per instruction, for those that arrived.
    KD_TRY(r.budget().charge(instructions.size(), decode_costs::kInstruction));
    KD_LET(terminator, decode_terminator(r));
    return BasicBlock{label, std::move(instructions), std::move(terminator)};
}

IoResult<void> encode(BorshWriter& w, const std::map<Label, BasicBlock>& body) {
    KD_TRY(w.write_len(body.size()));
    for (const auto& [label, block] : body) {
        KD_TRY(encode(w, label));
        KD_TRY(encode(w, block));
    }
    return {};
}

IoResult<std::map<Label, BasicBlock>> decode_block_map(BorshReader& r) {
    KD_LET(count, r.read_u32());
    // Entries go into the map as they arrive, so a false count reserves nothing; assigning over
    // a repeated key keeps the entry read last.
    std::map<Label, BasicBlock> body;
    for (std::uint32_t i = 0; i < count; ++i) {
        KD_TRY(r.charge(decode_costs::kBlock));
        KD_LET(label, decode_label(r));
        KD_LET(block, decode_basic_block(r));
        body.insert_or_assign(body.end(), label, std::move(block));
    }
    return body;
}


}  // namespace kdinstr::encoding
