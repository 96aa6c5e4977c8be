"""Times the main road on the generated benchmark program (bench/gen_program.py): compiling its
IR assembly into compiled module storage, and loading that storage into a fresh instance,
beside the nearest LLVM tools on the same program written as LLVM IR (llvm-as: parse, verify,
write bitcode; opt -passes=verify: read bitcode and verify). Times on a shared machine vary from
run to run: compare the ratios, which come from one run.

Run after building:
    PYTHONPATH=build/python /usr/bin/python3 bench/road.py [--instructions N]
"""

import argparse
import io
import shutil
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))

import gen_program  # noqa: E402
import kdpi  # noqa: E402
from kdpi._sys import _kd_compile_module, _kd_create_instance, _kd_load_module  # noqa: E402

# The same model written as LLVM IR.
LLVM_TYPES = {"i1": "i1", "i64": "i64", "fp64": "double", "ptr": "ptr"}
LLVM_BINARY = {
    "iadd.wrap": "add", "isub.wrap": "sub", "imul.wrap": "mul", "and": "and", "or": "or",
    "xor": "xor", "isht.lsl": "shl", "idiv.signed": "sdiv", "irem.unsigned": "urem",
    "fadd": "fadd", "fsub": "fsub", "fmul": "fmul", "fdiv": "fdiv",
}  # fmt: skip
SIGNATURE = ", ".join(LLVM_TYPES[t] for _, t in gen_program.PARAMS)


def llvm_operand(o):
    if isinstance(o, gen_program.Reg):
        return f"%{o.name}"
    if isinstance(o, gen_program.FuncPtr):
        return f"@{o.function}"
    if o.ty == "fp64":
        return "0x%016X" % struct.unpack("<Q", struct.pack("<d", float(o.value)))[0]
    return o.value


def llvm_instr(i):
    ty = LLVM_TYPES.get(i.ty, "")
    ops = [llvm_operand(o) for o in i.operands]
    if i.op in LLVM_BINARY:
        return f"%{i.dest} = {LLVM_BINARY[i.op]} {ty} {ops[0]}, {ops[1]}"
    if i.op == "iadd.ssat":
        return f"%{i.dest} = call i64 @llvm.sadd.sat.i64(i64 {ops[0]}, i64 {ops[1]})"
    if i.op.startswith("icmp."):
        return f"%{i.dest} = icmp {i.op[5:]} i64 {ops[0]}, {ops[1]}"
    if i.op.startswith("fcmp."):
        return f"%{i.dest} = fcmp {i.op[5:]} double {ops[0]}, {ops[1]}"
    if i.op == "alloca":
        return f"%{i.dest} = alloca i64, i64 {ops[0]}, align {i.align}"
    if i.op == "store":
        return f"store i64 {ops[1]}, ptr {ops[0]}, align {i.align}"
    if i.op == "load":
        return f"%{i.dest} = load {ty}, ptr {ops[0]}, align {i.align}"
    if i.op == "select":
        return f"%{i.dest} = select i1 {ops[0]}, ptr {ops[1]}, ptr {ops[2]}"
    if i.op == "invoke":
        args = ", ".join(
            f"{LLVM_TYPES[t]} {a}" for (_, t), a in zip(gen_program.PARAMS, ops[1:])
        )
        return f"%{i.dest} = call {ty} ({SIGNATURE}) {ops[0]}({args})"
    if i.op == "phi":
        entries = ", ".join(f"[ {llvm_operand(v)}, %{label} ]" for v, label in i.phi)
        return f"%{i.dest} = phi {ty} {entries}"
    raise ValueError(f"no LLVM form for {i.op}")


def llvm_term(t, ret):
    if t.kind == "branch":
        return f"br i1 {llvm_operand(t.operand)}, label %{t.labels[0]}, label %{t.labels[1]}"
    if t.kind == "jump":
        return f"br label %{t.labels[0]}"
    return f"ret {LLVM_TYPES[ret]} {llvm_operand(t.operand)}"


def emit_llvm(functions, out):
    out.write("declare i64 @llvm.sadd.sat.i64(i64, i64)\n")
    for f in functions:
        params = ", ".join(f"{LLVM_TYPES[t]} %{n}" for n, t in f.params)
        out.write(f"\ndefine {LLVM_TYPES[f.ret]} @{f.name}({params}) {{\n")
        for b in f.blocks:
            out.write(f"{b.label}:\n")
            for i in b.instrs:
                out.write(f"  {llvm_instr(i)}\n")
            out.write(f"  {llvm_term(b.term, f.ret)}\n")
        out.write("}\n")


def best_of(runs, action):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times)


def tool(*names):
    return next((found for found in map(shutil.which, names) if found), None)


def new_instance():
    app = kdpi.ApplicationInfo("road", kdpi.VersionInfo(0, 0, 0), "keldrane",
                               kdpi.VersionInfo(0, 1, 2))  # fmt: skip
    return _kd_create_instance(kdpi.InstanceCreateInfo(app))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--instructions", type=int, default=200_000)
    parser.add_argument("--runs", type=int, default=3)
    args = parser.parse_args()

    functions = gen_program.build_program(args.instructions, 1)
    instructions = sum(f.instruction_count() for f in functions)
    kd_text = io.StringIO()
    gen_program.emit_kd(functions, kd_text)
    source = kd_text.getvalue()
    info = kdpi.ModuleCompileInfo(
        [kdpi.ModuleSourceInfo(kdpi.ModuleSourceType.Assembly, "road.kdasm", source)]
    )
    compiler = new_instance()
    storage = _kd_compile_module(compiler, info)
    compile_time = best_of(args.runs, lambda: _kd_compile_module(compiler, info))
    load_time = best_of(args.runs, lambda: _kd_load_module(new_instance(), storage))

    print(f"{len(functions)} functions, {instructions} instructions, {len(source)} bytes of "
          f"text, {len(storage)} bytes of storage (best of {args.runs})")
    print(f"  compile            {compile_time * 1e3:9.1f} ms")
    print(f"  load               {load_time * 1e3:9.1f} ms")

    llvm_as, opt = tool("llvm-as-19", "llvm-as"), tool("opt-19", "opt")
    if llvm_as is None:
        print("  (llvm-as not found: no comparison)")
        return
    with tempfile.TemporaryDirectory() as directory:
        text, bitcode = Path(directory) / "road.ll", Path(directory) / "road.bc"
        with text.open("w") as out:
            emit_llvm(functions, out)
        assemble = [llvm_as, str(text), "-o", str(bitcode)]
        subprocess.run(assemble, check=True)
        as_time = best_of(args.runs, lambda: subprocess.run(assemble, check=True))
        print(f"  llvm-as            {as_time * 1e3:9.1f} ms   compile / llvm-as = "
              f"{compile_time / as_time:.2f}")
        if opt is not None:
            verify = [opt, "-passes=verify", "-disable-output", str(bitcode)]
            verify_time = best_of(args.runs, lambda: subprocess.run(verify, check=True))
            print(f"  opt -passes=verify {verify_time * 1e3:9.1f} ms   load / opt = "
                  f"{load_time / verify_time:.2f}")


if __name__ == "__main__":
    main()
