#pragma once
// Helpers shared by the codec tests: encoding into bytes, decoding from bytes, a source that
// watches the heap while decoding pulls bytes, and a sample of every instruction kind. Bytes
// written by hand come from byte_strings.hpp.
#include <gmpxx.h>
#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "kdinstr/consts/any_const.hpp"
#include "kdinstr/encoding/block_codec.hpp"
#include "kdinstr/encoding/borsh_reader.hpp"
#include "kdinstr/encoding/borsh_writer.hpp"
#include "kdinstr/encoding/byte_io.hpp"
#include "kdinstr/encoding/const_codec.hpp"
#include "kdinstr/encoding/enum_codec.hpp"
#include "kdinstr/encoding/function_codec.hpp"
#include "kdinstr/encoding/instr_codec.hpp"
#include "kdinstr/encoding/module_codec.hpp"
#include "kdinstr/encoding/operand_codec.hpp"
#include "kdinstr/encoding/registry_codec.hpp"
#include "kdinstr/encoding/type_codec.hpp"
#include "kdinstr/modules/instructions/kd_instr.hpp"
#include "kdinstr/tests/byte_strings.hpp"
#include "kdinstr/tests/ir_builder.hpp"

namespace kdinstr::tests::codec {

using encoding::BorshReader;
using encoding::BorshWriter;
using encoding::IoError;
using encoding::IoResult;

inline Bytes bytes_of(const utils::Uuid& u) { return Bytes(u.bytes.begin(), u.bytes.end()); }
inline Bytes bytes_of(const Typeref& t) { return bytes_of(t.uuid); }

// The encoding of `value`, which must succeed.
template <typename T>
Bytes to_bytes(const T& value) {
    Bytes out;
    encoding::VectorSink sink(out);
    BorshWriter w(sink);
    auto r = encoding::encode(w, value);
    EXPECT_TRUE(r.has_value()) << (r ? "" : r.error().message);
    return out;
}

// Decodes `bytes` with `decode`; a success must have read every byte.
template <typename Decode>
auto from_bytes(const Bytes& bytes, Decode&& decode) {
    encoding::SpanSource source(bytes);
    BorshReader r(source);
    auto value = decode(r);
    if (value) {
        EXPECT_EQ(source.remaining(), 0u);
    }
    return value;
}

// The error text of decoding `bytes`, or "<ok>" when it succeeds.
template <typename Decode>
std::string decode_error(const Bytes& bytes, Decode&& decode) {
    auto value = from_bytes(bytes, decode);
    return value ? std::string("<ok>") : value.error().message;
}

// Bytes held by the heap right now (small blocks and mapped ones).
inline std::size_t heap_in_use() {
    const struct mallinfo2 info = mallinfo2();
    return info.uordblks + info.hblkhd;
}

// Serves `data` and records the most heap in use seen at any read: whatever a decoder reserved
// before asking for the next bytes shows up here.
class HeapWatchingSource final : public encoding::ByteSource {
  public:
    explicit HeapWatchingSource(const Bytes& data) : inner_(data), peak_(heap_in_use()) {}
    IoResult<std::size_t> read(std::span<std::uint8_t> buffer) override {
        peak_ = std::max(peak_, heap_in_use());
        return inner_.read(buffer);
    }
    std::size_t peak() const { return peak_; }

  private:
    encoding::SpanSource inner_;
    std::size_t peak_;
};

inline ir::Operand imm_big(const char* decimal, std::uint32_t bits) {
    return ir::Operand(
        consts::AnyConst(consts::IConst(types::primary::IType{bits}, mpz_class(decimal))));
}
inline ir::Operand imm_float(const char* unscaled, std::int64_t scale) {
    return ir::Operand(consts::AnyConst(consts::FConst(
        types::primary::FType::Fp64, consts::BigDecimal(mpz_class(unscaled), scale))));
}

// One instruction of every opcode, in opcode order, with optional fields and lists filled in
// various ways.
inline std::vector<ir::KdInstr> every_instruction() {
    using namespace instr;
    namespace an = analysis;
    const Typeref t = ty(1), u = ty(2);
    const ir::Name d{7};
    std::vector<ir::KdInstr> all{
        IAdd{d, t, reg(1), imm_int(-5, 32), OverflowSignednessPolicy::UTrap},
        ISub{d, t, reg(1), reg(2), OverflowSignednessPolicy::SSat},
        IMul{d, t, undef(t), reg(2), OverflowSignednessPolicy::Wrap},
        IDiv{d, t, reg(1), reg(2), IntegerSignedness::Unsigned},
        IRem{d, t, reg(1), reg(2), IntegerSignedness::Signed},
        ICmp{d, t, reg(1), reg(2), ICmpVariant::Sle},
        ISht{d, t, reg(1), reg(2), IShiftVariant::Ror},
        INeg{d, t, imm_big("-170141183460469231731687303715884105728", 128)},
        IAnd{d, t, reg(1), reg(2)},
        IOr{d, t, reg(1), reg(2)},
        IXor{d, t, reg(1), reg(2)},
        INot{d, t, reg(1)},
        IImplies{d, t, reg(1), reg(2)},
        IEquiv{d, t, reg(1), reg(2)},
        FAdd{d, t, imm_float("15", 1), imm_float("-150", 2)},
        FSub{d, t, reg(1), reg(2)},
        FMul{d, t, reg(1), reg(2)},
        FDiv{d, t, reg(1), reg(2)},
        FRem{d, t, reg(1), reg(2)},
        FCmp{d, t, reg(1), reg(2), FCmpVariant::Ord},
        FNeg{d, t, imm_float("7", -3)},
        MLoad{d, t, reg(1), 4u, MemoryOrdering::Acq, true},
        MStore{reg(1), reg(2), std::nullopt, MemoryOrdering::SeqCst, false},
        MAlloca{d, t, imm_int(3), 16u},
        MGetElementPtr{d, t, u, reg(1), {imm_int(0, 32), reg(2)}},
        Invoke{internal_fn(uuid(9)),
               {reg(1), external_fn(uuid(8))},
               d,
               t,
               ir::CallingConvention::numbered(7)},
        Phi{d, t, {{reg(1), ir::Label{0}}, {imm_int(1), ir::Label{2}}}},
        Select{d, reg(1), reg(2), reg(3), t},
        Cast{d, t, reg(1), CastVariant::Bitcast},
        InsertValue{d, t, reg(1), reg(2), {0, 4294967295u}},
        ExtractValue{d, t, reg(1), {3}},
        MetaAssert{reg(1)},
        MetaAssume{reg(2)},
        MetaIsDef{d, t, reg(1)},
        MetaProb{d, t, MetaProbOperand{MetaProbVariant::Variance, reg(1)}},
        MetaAnalysisStat{d, t, an::TerminationBehavior{an::ReachAny{{ir::Label{1}, ir::Label{5}}}}},
        MetaForall{d, t},
    };
    return all;
}

}  // namespace kdinstr::tests::codec
