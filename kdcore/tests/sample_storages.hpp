#pragma once
// Compiled module storages built from IR made in memory, for the loader's tests (here and, through
// the kd_storage_fixtures program, in Python): valid ones and ones that each fail one step of a
// load. Function UUIDs are fixed, so the order of functions in log lines is known.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdinstr/tests/ir_builder.hpp"
#include "kdinstr/types/registry.hpp"

namespace kdtest::samples {

namespace ib = kdinstr::tests;
namespace kt = kdinstr::types;
using kdcore::compiler::CompiledModuleStorage;

// "helper" (uuid(1)): i32 -> i32, adds one. "main" (uuid(2)): i32 -> i32, calls helper in a
// loop. The registry also holds a struct nothing uses. Compiled from two named files.
inline CompiledModuleStorage two_functions() {
    CompiledModuleStorage storage;
    storage.source_names = {"helper.kdasm", "main.kdasm"};
    const kt::Typeref i32 = storage.type_registry.search_or_insert(kt::primary::IType{32});
    const kt::Typeref i1 = storage.type_registry.search_or_insert(kt::primary::IType{1});
    const kt::Typeref ptr = storage.type_registry.search_or_insert(kt::primary::Ptr{});
    storage.type_registry.search_or_insert(kt::aggregate::StructType{{i32, ptr}, false});

    auto helper =
        ib::FunctionBuilder()
            .uuid(ib::uuid(1))
            .name("helper")
            .param(0, i32)
            .returns(i32)
            .block(0, {ib::iadd(1, i32, ib::reg(0), ib::imm_int(1, 32))}, ib::ret(ib::reg(1)))
            .build();
    auto main = ib::FunctionBuilder()
                    .uuid(ib::uuid(2))
                    .name("main")
                    .param(0, i32)
                    .returns(i32)
                    .block(0, {}, ib::jump(1))
                    .block(1,
                           {ib::phi(1, i32, {{ib::reg(0), 0}, {ib::reg(2), 1}}),
                            ib::invoke(2, i32, ib::internal_fn(ib::uuid(1)), {ib::reg(1)}),
                            ib::icmp(3, i1, ib::reg(2), ib::imm_int(10, 32))},
                           ib::branch(ib::reg(3), 2, 1))
                    .block(2, {}, ib::ret(ib::reg(2)))
                    .build();
    storage.module = ib::module_of({helper, main});
    return storage;
}

// One anonymous function that uses `undef` of a stored type, in an instruction and in its
// return; no file names.
inline CompiledModuleStorage undef_operands() {
    CompiledModuleStorage storage;
    const kt::Typeref i64 = storage.type_registry.search_or_insert(kt::primary::IType{64});
    auto f = ib::FunctionBuilder()
                 .uuid(ib::uuid(7))
                 .returns(i64)
                 .block(0, {ib::iadd(0, i64, ib::undef(i64), ib::imm_int(2, 64))},
                        ib::ret(ib::undef(i64)))
                 .build();
    storage.module = ib::module_of({f});
    return storage;
}

// A stored array whose element type the stored registry does not hold.
inline CompiledModuleStorage unmergeable_registry() {
    CompiledModuleStorage storage;
    storage.type_registry.search_or_insert(kt::primary::IType{8});
    storage.type_registry.insert_decoded(ib::ty(0x33), kt::aggregate::ArrayType{ib::ty(0x44), 4});
    return storage;
}

// Two stored structs that hold each other.
inline CompiledModuleStorage cyclic_registry() {
    CompiledModuleStorage storage;
    storage.type_registry.insert_decoded(ib::ty(0x21), kt::aggregate::StructType{{ib::ty(0x22)}});
    storage.type_registry.insert_decoded(ib::ty(0x22), kt::aggregate::StructType{{ib::ty(0x21)}});
    return storage;
}

// T_0 = i8 under ty(0x40) and T_j = {T_(j-1), T_(j-1)} under ty(0x40 + j), up to T_k, which
// prints 6 * 2^k - 4 characters from k + 1 entries; returns T_k.
inline kt::Typeref doubling_types(kt::TypeRegistry& registry, std::uint8_t k) {
    registry.insert_decoded(ib::ty(0x40), kt::primary::IType{8});
    for (std::uint8_t j = 1; j <= k; ++j) {
        const kt::Typeref previous = ib::ty(static_cast<std::uint8_t>(0x40 + j - 1));
        registry.insert_decoded(ib::ty(static_cast<std::uint8_t>(0x40 + j)),
                                kt::aggregate::StructType{{previous, previous}});
    }
    return ib::ty(static_cast<std::uint8_t>(0x40 + k));
}

// "f" (uuid(1)): f(%0: T_k) -> i32 { ret %0 }, over the doubling types up to T_k: its type check
// would show T_k in full (k = 30: 6.4 GB).
inline CompiledModuleStorage doubling_registry(std::uint8_t k = 30) {
    CompiledModuleStorage storage;
    const kt::Typeref i32 = storage.type_registry.search_or_insert(kt::primary::IType{32});
    const kt::Typeref top = doubling_types(storage.type_registry, k);
    auto f = ib::FunctionBuilder()
                 .uuid(ib::uuid(1))
                 .name("f")
                 .param(0, top)
                 .returns(i32)
                 .block(0, {}, ib::ret(ib::reg(0)))
                 .build();
    storage.module = ib::module_of({f});
    return storage;
}

// "f" (uuid(1)): `invoke T_k undef(T_k undef, ...)` with `count` arguments, then ret: its type
// check refuses the callee and would show the instruction, T_k count + 1 times (k = 21 and
// count = 30: 390 MB, though T_k alone is within what the storage may hold).
inline CompiledModuleStorage doubling_named_often(std::uint8_t k = 21, std::size_t count = 30) {
    CompiledModuleStorage storage;
    const kt::Typeref top = doubling_types(storage.type_registry, k);
    auto f =
        ib::FunctionBuilder()
            .uuid(ib::uuid(1))
            .name("f")
            .block(0, {ib::invoke(ib::undef(top), std::vector(count, ib::undef(top)))}, ib::ret())
            .build();
    storage.module = ib::module_of({f});
    return storage;
}

// A function without entry block: refused by verification. Its i16 is merged all the same.
inline CompiledModuleStorage failing_verification() {
    CompiledModuleStorage storage;
    const kt::Typeref i16 = storage.type_registry.search_or_insert(kt::primary::IType{16});
    auto f = ib::FunctionBuilder().uuid(ib::uuid(3)).name("broken").param(0, i16).build();
    storage.module = ib::module_of({f});
    return storage;
}

// "fine" (uuid(1)) checks; "mistyped" (uuid(2)) adds a 32-bit constant as a 16-bit integer.
inline CompiledModuleStorage failing_type_check() {
    CompiledModuleStorage storage;
    const kt::Typeref i16 = storage.type_registry.search_or_insert(kt::primary::IType{16});
    auto fine =
        ib::FunctionBuilder().uuid(ib::uuid(1)).name("fine").block(0, {}, ib::ret()).build();
    auto mistyped = ib::FunctionBuilder()
                        .uuid(ib::uuid(2))
                        .name("mistyped")
                        .param(0, i16)
                        .block(0, {ib::iadd(1, i16, ib::reg(0), ib::imm_int(1, 32))}, ib::ret())
                        .build();
    storage.module = ib::module_of({fine, mistyped});
    return storage;
}

// Two map keys, uuid(1) and uuid(2), whose functions both carry uuid(9): "first" and "second".
inline CompiledModuleStorage duplicate_function_uuid() {
    CompiledModuleStorage storage;
    for (std::uint8_t key : {1, 2}) {
        auto f = ib::FunctionBuilder()
                     .uuid(ib::uuid(9))
                     .name(key == 1 ? "first" : "second")
                     .block(0, {}, ib::ret())
                     .build();
        storage.module.functions.emplace(ib::uuid(key),
                                         std::make_shared<kdinstr::modules::Function>(f));
    }
    return storage;
}

// One function per instruction family (int, fp, mem, misc, meta), using every one of the 37
// instructions, an aggregate undef and a call: a load must rewrite every type they hold.
inline CompiledModuleStorage every_family() {
    namespace ir = kdinstr::modules;
    namespace in = kdinstr::modules::instructions;
    using ir::Name;
    CompiledModuleStorage storage;
    storage.source_names = {"families.kdasm"};
    auto& r = storage.type_registry;
    const kt::Typeref i1 = r.search_or_insert(kt::primary::IType{1});
    const kt::Typeref i32 = r.search_or_insert(kt::primary::IType{32});
    const kt::Typeref i64 = r.search_or_insert(kt::primary::IType{64});
    const kt::Typeref fp64 = r.search_or_insert(kt::primary::FType::Fp64);
    const kt::Typeref ptr = r.search_or_insert(kt::primary::Ptr{});
    const kt::Typeref pair = r.search_or_insert(kt::aggregate::StructType{{i32, i64}, false});
    const auto reg = [](std::uint32_t n) { return ib::reg(n); };

    auto ints =
        ib::FunctionBuilder()
            .uuid(ib::uuid(1))
            .name("ints")
            .param(0, i32)
            .param(1, i32)
            .returns(i32)
            .block(0,
                   {
                       in::IAdd{Name{2}, i32, reg(0), reg(1), in::OverflowSignednessPolicy::Wrap},
                       in::ISub{Name{3}, i32, reg(2), reg(1), in::OverflowSignednessPolicy::SSat},
                       in::IMul{Name{4}, i32, reg(3), reg(0), in::OverflowSignednessPolicy::UTrap},
                       in::IDiv{Name{5}, i32, reg(4), reg(1), in::IntegerSignedness::Signed},
                       in::IRem{Name{6}, i32, reg(5), reg(1), in::IntegerSignedness::Unsigned},
                       in::ISht{Name{7}, i32, reg(6), reg(1), in::IShiftVariant::Lsl},
                       in::INeg{Name{8}, i32, reg(7)},
                       in::IAnd{Name{9}, i32, reg(8), reg(0)},
                       in::IOr{Name{10}, i32, reg(9), reg(1)},
                       in::IXor{Name{11}, i32, reg(10), ib::undef(i32)},
                       in::INot{Name{12}, i32, reg(11)},
                       in::ICmp{Name{13}, i1, reg(12), reg(0), in::ICmpVariant::Sle},
                       in::IImplies{Name{14}, i1, reg(13), reg(13)},
                       in::IEquiv{Name{15}, i1, reg(14), reg(13)},
                   },
                   ib::branch(reg(15), 1, 2))
            .block(1, {}, ib::ret(reg(12)))
            .block(2, {}, ib::ret(ib::undef(i32)))
            .build();
    auto floats = ib::FunctionBuilder()
                      .uuid(ib::uuid(2))
                      .name("floats")
                      .param(0, fp64)
                      .param(1, fp64)
                      .returns(fp64)
                      .block(0,
                             {
                                 in::FAdd{Name{2}, fp64, reg(0), reg(1)},
                                 in::FSub{Name{3}, fp64, reg(2), reg(1)},
                                 in::FMul{Name{4}, fp64, reg(3), reg(0)},
                                 in::FDiv{Name{5}, fp64, reg(4), reg(1)},
                                 in::FRem{Name{6}, fp64, reg(5), reg(1)},
                                 in::FCmp{Name{7}, i1, reg(6), reg(0), in::FCmpVariant::Olt},
                                 in::FNeg{Name{8}, fp64, reg(6)},
                             },
                             ib::ret(reg(8)))
                      .build();
    auto memory = ib::FunctionBuilder()
                      .uuid(ib::uuid(3))
                      .name("memory")
                      .param(0, ptr)
                      .param(1, i64)
                      .returns(i64)
                      .block(0,
                             {
                                 in::MAlloca{Name{2}, ptr, reg(1), 8},
                                 in::MStore{reg(2), reg(1), 8, std::nullopt, false},
                                 in::MLoad{Name{3}, i64, reg(2), std::nullopt, std::nullopt, true},
                                 ib::gep(4, ptr, pair, reg(0), {reg(1), ib::imm_int(1, 32)}),
                             },
                             ib::ret(reg(3)))
                      .build();
    auto misc = ib::FunctionBuilder()
                    .uuid(ib::uuid(4))
                    .name("misc")
                    .param(0, i1)
                    .param(1, i32)
                    .returns(i64)
                    .block(0, {ib::invoke(2, i32, ib::internal_fn(ib::uuid(1)), {reg(1), reg(1)})},
                           ib::jump(1))
                    .block(1,
                           {
                               ib::phi(3, i32, {{reg(2), 0}}),
                               ib::select(4, i32, reg(0), reg(3), reg(1)),
                               in::Cast{Name{5}, i64, reg(4), in::CastVariant::SExt},
                               in::InsertValue{Name{6}, pair, ib::undef(pair), reg(4), {0}},
                               in::InsertValue{Name{7}, pair, reg(6), reg(5), {1}},
                               in::ExtractValue{Name{8}, i64, reg(7), {1}},
                           },
                           ib::ret(reg(8)))
                    .build();
    auto meta =
        ib::FunctionBuilder()
            .uuid(ib::uuid(5))
            .name("meta")
            .meta()
            .param(0, i1)
            .param(1, i32)
            .block(0,
                   {
                       in::MetaAssert{reg(0)},
                       in::MetaAssume{reg(0)},
                       in::MetaIsDef{Name{2}, i1, reg(1)},
                       in::MetaProb{Name{3}, fp64,
                                    in::MetaProbOperand{in::MetaProbVariant::Variance, reg(1)}},
                       in::MetaAnalysisStat{Name{4}, i64, kdinstr::analysis::ExecutionCount{}},
                       in::MetaForall{Name{5}, i32},
                   },
                   ib::ret())
            .build();
    storage.module = ib::module_of({ints, floats, memory, misc, meta});
    return storage;
}

}  // namespace kdtest::samples
