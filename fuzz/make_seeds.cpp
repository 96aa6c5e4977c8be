// Writes the generated seed corpora: the storage body of each program below into
// <corpus>/module_body/<name>.bin, and the whole storage into <corpus>/storage/<name>.kdm; and
// the same for bodies that declare far more than they hold (inflated_*, refused by the decode
// budget). The programs are built like the tests build theirs (the IR builder and the checker's
// fixture); most pass every load step, so that mutations start deep. Minted type identifiers
// carry the time, so a second run writes other bytes: run it after a change of the binary form,
// not on every build.
//
//   build-fuzz/fuzz/kd_fuzz_make_seeds fuzz/corpus
//
// Prints how far each program gets through the loader's steps.
#include <fmt/format.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "fuzz/load_steps.hpp"
#include "kdcore/base/api.hpp"
#include "kdcore/compiler/compiled_module_storage.hpp"
#include "kdcore/load_time.hpp"
#include "kdcore/tests/inflated_storages.hpp"
#include "kdinstr/tests/checker_fixture.hpp"
#include "kdinstr/tests/codec_test_support.hpp"

namespace {

using namespace kdinstr;
using namespace kdinstr::tests;
namespace an = kdinstr::analysis;

struct Program {
    std::string name;
    kdfuzz::Body body;
};

Program make(std::string name, CheckerFixture& f, std::vector<ir::Function> functions,
             std::vector<ir::ExternalFunction> externals = {},
             std::vector<std::string> source_names = {}) {
    Program p;
    p.name = std::move(name);
    p.body.source_names = std::move(source_names);
    p.body.module = module_of(std::move(functions), std::move(externals));
    p.body.type_registry = std::move(f.registry);
    return p;
}

// The storage test's program: a loop with a phi and a call of an external function, an
// anonymous function, and types nothing uses.
Program loop_call() {
    CheckerFixture f;
    f.strct({f.i32, f.ptr}, /*packed=*/true);
    f.array(f.i32, 4);
    auto loop = FunctionBuilder()
                    .uuid(uuid(1))
                    .name("loop")
                    .param(0, f.i32)
                    .returns(f.i32)
                    .block(0, {iadd(1, f.i32, reg(0), imm_int(-129, 32))}, jump(1))
                    .block(1,
                           {phi(2, f.i32, {{reg(1), 0}, {reg(3), 1}}),
                            iadd(3, f.i32, reg(2), imm_int(1, 32)),
                            icmp(4, f.i1, reg(3), imm_int(100, 32))},
                           branch(reg(4), 2, 1))
                    .block(2, {invoke(external_fn(uuid(9)), {reg(3)})}, ret(reg(3)))
                    .build();
    auto anonymous = FunctionBuilder().uuid(uuid(2)).block(0, {}, trap()).build();
    anonymous.reserved_id = std::array<std::uint8_t, 16>{1, 2, 3};
    return make("loop_call", f, {loop, anonymous}, {external(uuid(9), "ext", {f.i32})},
                {"first.kd", "second.kd"});
}

// Integer, floating-point and vector arithmetic, comparisons and a select.
Program arithmetic() {
    CheckerFixture f;
    using namespace instr;
    const Typeref v4i32 = f.vec(IType{32}, 4);
    const Typeref sv2fp64 = f.svec(FType::Fp64, 2);
    std::vector<ir::KdInstr> body{
        IAdd{ir::Name{3}, f.i32, reg(0), reg(1), OverflowSignednessPolicy::SSat},
        ISub{ir::Name{4}, f.i32, reg(3), imm_int(7, 32), OverflowSignednessPolicy::UTrap},
        IMul{ir::Name{5}, f.i32, reg(4), reg(4), OverflowSignednessPolicy::Wrap},
        IDiv{ir::Name{6}, f.i32, reg(5), imm_int(3, 32), IntegerSignedness::Signed},
        IRem{ir::Name{7}, f.i32, reg(6), imm_int(5, 32), IntegerSignedness::Unsigned},
        ISht{ir::Name{8}, f.i32, reg(7), imm_int(2, 32), IShiftVariant::Rol},
        IAnd{ir::Name{9}, f.i32, reg(8), reg(0)},
        IOr{ir::Name{10}, f.i32, reg(9), reg(1)},
        IXor{ir::Name{11}, f.i32, reg(10), imm_int(-1, 32)},
        INot{ir::Name{12}, f.i32, reg(11)},
        INeg{ir::Name{13}, f.i32, reg(12)},
        ICmp{ir::Name{14}, f.i1, reg(13), reg(0), ICmpVariant::Slt},
        IImplies{ir::Name{15}, f.i1, reg(14), reg(14)},
        IEquiv{ir::Name{16}, f.i1, reg(15), reg(14)},
        FAdd{ir::Name{17}, f.fp32, reg(2), fp_imm(FType::Fp32, 15, 1)},
        FSub{ir::Name{18}, f.fp32, reg(17), reg(2)},
        FMul{ir::Name{19}, f.fp32, reg(18), fp_imm(FType::Fp32, -25, 2)},
        FDiv{ir::Name{20}, f.fp32, reg(19), reg(2)},
        FRem{ir::Name{21}, f.fp32, reg(20), reg(2)},
        FNeg{ir::Name{22}, f.fp32, reg(21)},
        FCmp{ir::Name{23}, f.i1, reg(22), reg(2), FCmpVariant::Olt},
        IAdd{ir::Name{24}, v4i32, reg(27), reg(27), OverflowSignednessPolicy::Wrap},
        FAdd{ir::Name{25}, sv2fp64, reg(28), reg(28)},
        Select{ir::Name{26}, reg(23), reg(13), reg(0), f.i32},
    };
    auto fn = FunctionBuilder()
                  .uuid(uuid(3))
                  .name("arithmetic")
                  .param(0, f.i32)
                  .param(1, f.i32)
                  .param(2, f.fp32)
                  .param(27, v4i32)
                  .param(28, sv2fp64)
                  .returns(f.i32)
                  .block(0, std::move(body), ret(reg(26)))
                  .build();
    return make("arithmetic", f, {fn});
}

// Stack memory, pointers into aggregates, aggregate values and casts.
Program memory() {
    CheckerFixture f;
    using namespace instr;
    const Typeref pair = f.strct({f.i32, f.i64});
    const Typeref pairs = f.array(pair, 4);
    std::vector<ir::KdInstr> body{
        MAlloca{ir::Name{1}, f.ptr, imm_int(4, 64), 8u},
        gep(2, f.ptr, pairs, reg(1), {imm_int(0, 64), reg(0), imm_int(1, 32)}),
        store(reg(2), imm_int(-3, 64)),
        MLoad{ir::Name{3}, f.i64, reg(2), 8u, MemoryOrdering::Acq, true},
        MStore{reg(2), reg(3), std::nullopt, MemoryOrdering::SeqCst, true},
        MLoad{ir::Name{4}, pair, reg(1), std::nullopt, std::nullopt, false},
        ExtractValue{ir::Name{5}, f.i64, reg(4), {1}},
        InsertValue{ir::Name{6}, pair, reg(4), reg(5), {1}},
        Cast{ir::Name{7}, f.i32, reg(5), CastVariant::Trunc},
        Cast{ir::Name{8}, f.fp64, reg(7), CastVariant::SIToFp},
        Cast{ir::Name{9}, f.i64, reg(1), CastVariant::PtrToInt},
    };
    auto fn = FunctionBuilder()
                  .uuid(uuid(4))
                  .name("memory")
                  .param(0, f.i64)
                  .returns(f.i64)
                  .block(0, std::move(body), ret(reg(9)))
                  .build();
    fn.visibility = ir::Visibility::Hidden;
    return make("memory", f, {fn});
}

// A meta function with every meta instruction, over a wildcard-typed parameter.
Program meta() {
    CheckerFixture f;
    using namespace instr;
    std::vector<ir::KdInstr> entry{
        meta_forall(1, f.i32),
        MetaIsDef{ir::Name{2}, f.i1, reg(0)},
        MetaAssume{reg(2)},
        icmp(3, f.i1, reg(1), imm_int(0, 32), ICmpVariant::Sge),
        MetaProb{ir::Name{4}, f.fp64, MetaProbOperand{MetaProbVariant::Probability, reg(3)}},
        MetaAnalysisStat{ir::Name{5}, f.i64, an::ExecutionCount{}},
        MetaAnalysisStat{ir::Name{6}, f.i8,
                         an::TerminationBehavior{an::ReachAny{{ir::Label{1}, ir::Label{2}}}}},
    };
    auto fn = FunctionBuilder()
                  .uuid(uuid(5))
                  .name("meta")
                  .meta()
                  .wildcards({0})
                  .param(0, wildcard(0))
                  .block(0, std::move(entry), branch(reg(3), 1, 2))
                  .block(1, {meta_assert(reg(3))}, ret())
                  .block(2, {}, trap())
                  .build();
    return make("meta", f, {fn});
}

// Calls between functions of the module and out of it, with calling conventions.
Program calls() {
    CheckerFixture f;
    auto callee = FunctionBuilder()
                      .uuid(uuid(6))
                      .name("callee")
                      .param(0, f.i64)
                      .returns(f.i64)
                      .block(0, {iadd(1, f.i64, reg(0), imm_int(1))}, ret(reg(1)))
                      .build();
    callee.calling_convention = ir::CallingConvention::numbered(11);
    auto caller = FunctionBuilder()
                      .uuid(uuid(7))
                      .name("caller")
                      .param(0, f.i64)
                      .returns(f.i64)
                      .block(0,
                             {invoke(1, f.i64, internal_fn(uuid(6)), {reg(0)}),
                              instr::Invoke{external_fn(uuid(10)),
                                            {reg(1), internal_fn(uuid(7))},
                                            ir::Name{2},
                                            f.ptr,
                                            ir::CallingConvention::numbered(64)}},
                             ret(reg(1)))
                      .build();
    caller.visibility = ir::Visibility::Protected;
    return make("calls", f, {callee, caller},
                {external(uuid(10), "malloc", {f.i64, f.ptr}, f.ptr), external(uuid(11), "unused")},
                {"calls.kd"});
}

// Every instruction kind once: reaches every decoder, though it is not a valid function.
Program every_opcode() {
    CheckerFixture f;
    auto fn =
        FunctionBuilder().uuid(uuid(8)).meta().block(0, codec::every_instruction(), trap()).build();
    return make("every_opcode", f, {fn});
}

// Types that share their elements, T_0 = i8 and T_j = {T_(j-1), T_(j-1)}, and
// `f(%0: T_k) -> i32 { ret %0 }`: T_k prints 6 * 2^k - 4 characters. At k = 5 the type check
// fails showing T_5; at k = 30 the storage is refused as it is read, and the body alone by the
// body's target.
Program doubling(std::string name, int k) {
    CheckerFixture f;
    Typeref t = f.i8;
    for (int j = 1; j <= k; ++j) t = f.strct({t, t});
    auto fn = FunctionBuilder()
                  .uuid(uuid(12))
                  .name("f")
                  .param(0, t)
                  .returns(f.i32)
                  .block(0, {}, ret(reg(0)))
                  .build();
    return make(std::move(name), f, {fn});
}

// Bodies that declare lists far longer than they hold (the shapes the decode budget refuses): a
// prefix, then a run of one pattern. Written raw with a few kilobytes of the run, and as storage
// with `mib` MiB of it, which compress into a few kilobytes.
struct Inflated {
    std::string name;
    std::vector<std::uint8_t> prefix;
    std::vector<std::uint8_t> pattern;
    std::size_t mib;
};

std::vector<Inflated> inflated() {
    using namespace kdtest::inflated;
    const Bytes zeros(16, 0);
    return {
        // !assert %0, six bytes each; they compress less well than zeros.
        {"inflated_asserts", one_block(0xFFFFFFFF), cat({{31}, kReg0}), 40},
        // Each 32 zeros are an iadd.
        {"inflated_iadds", one_block(0xFFFFFFFF), zeros, 100},
        {"inflated_invoke_arguments", cat({one_block(1), {25}, kReg0, kAllOnes}), zeros, 100},
        {"inflated_phi_pairs", cat({one_block(1), {26}, u32(1), kTyperef, kAllOnes}), zeros, 100},
        {"inflated_gep_indices",
         cat({one_block(1), {24}, u32(1), kTyperef, kTyperef, kReg0, kAllOnes}), zeros, 100},
        {"inflated_file_names", kAllOnes, zeros, 100},
        {"inflated_file_name_bytes", cat({u32(1), u32(1u << 30)}), zeros, 100},
    };
}

const char* reached_text(kdfuzz::LoadOutcome::Reached r) {
    using Reached = kdfuzz::LoadOutcome::Reached;
    switch (r) {
        case Reached::MergeFailed:
            return "merge failed";
        case Reached::VerifyFailed:
            return "verification failed";
        case Reached::CheckFailed:
            return "type check failed";
        case Reached::Analysed:
            return "loaded";
    }
    return "";
}

}  // namespace

static void write_file(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    const std::filesystem::path bodies = std::filesystem::path(argv[1]) / "module_body";
    const std::filesystem::path storages = std::filesystem::path(argv[1]) / "storage";
    std::filesystem::create_directories(bodies);
    std::filesystem::create_directories(storages);
    kdcore::register_load_time_entries();
    auto instance = kdcore::base::api::create_instance({});
    if (!instance) {
        std::fprintf(stderr, "%s\n", instance.error().message().c_str());
        return 1;
    }

    std::vector<Program> programs;
    programs.emplace_back().name = "empty";
    programs.push_back(loop_call());
    programs.push_back(arithmetic());
    programs.push_back(memory());
    programs.push_back(meta());
    programs.push_back(calls());
    programs.push_back(every_opcode());
    programs.push_back(doubling("doubling_5", 5));
    programs.push_back(doubling("doubling_30", 30));

    for (const auto& seed : inflated()) {
        std::vector<std::uint8_t> run;
        while (run.size() < 3 * 1024)
            run.insert(run.end(), seed.pattern.begin(), seed.pattern.end());
        write_file(bodies / (seed.name + ".bin"), kdtest::inflated::cat({seed.prefix, run}));
        const auto storage = kdtest::inflated::storage_of(seed.prefix, seed.pattern, seed.mib);
        if (!storage) {
            std::fprintf(stderr, "%s: compression failed\n", seed.name.c_str());
            return 1;
        }
        write_file(storages / (seed.name + ".kdm"), *storage);
        fmt::print("{:<26} {:>5} bytes of storage\n", seed.name, storage->size());
    }

    for (auto& p : programs) {
        const auto bytes = kdfuzz::encode_body(p.body);
        write_file(bodies / (p.name + ".bin"), bytes);
        // As compressed, whether or not the reader takes it (doubling_30 it refuses).
        auto encoded = kdcore::compiler::CompiledModuleStorage::compress(p.body, **instance);
        if (!encoded) {
            std::fprintf(stderr, "%s\n", encoded.error().to_string().c_str());
            return 1;
        }
        write_file(storages / (p.name + ".kdm"), *encoded);
        if (const char* refusal = kdfuzz::Body::type_text_refusal(
                p.body, kdfuzz::Body::type_text_budget(encoded->size()))) {
            fmt::print("{:<14} {:>5} bytes  refused as read: {}\n", p.name, bytes.size(), refusal);
            continue;
        }
        auto outcome = kdfuzz::run_load_steps(std::move(p.body.module), p.body.type_registry);
        fmt::print("{:<14} {:>5} bytes  {}{}{}\n", p.name, bytes.size(),
                   reached_text(outcome.reached), outcome.error.empty() ? "" : ": ", outcome.error);
    }
    return 0;
}
