"""Times the main road on a generated program: compiling IR assembly into compiled module
storage, and loading that storage into an instance, beside the nearest LLVM tools on an
equivalent program (llvm-as: parse, verify, write bitcode; opt -passes=verify: read bitcode and
verify). Absolute times on a shared machine vary: read the ratios, which come from one run.

Run after building: PYTHONPATH=build/python /usr/bin/python3 bench/road.py [functions]
"""

import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import kdpi
from kdpi._sys import _kd_compile_module, _kd_create_instance, _kd_load_module

BLOCKS = 4
PER_BLOCK = 25


def kd_program(functions):
    out = []
    for f in range(functions):
        out.append(f"define i64 f{f}(%v0: i64) {{")
        n = 0
        for b in range(BLOCKS):
            out.append(f"b{b}:")
            for _ in range(PER_BLOCK):
                out.append(f"  %v{n + 1}: i64 = iadd.wrap %v{n}, i64 {n}")
                n += 1
            out.append(f"  jump b{b + 1}" if b + 1 < BLOCKS else f"  ret %v{n}")
        out.append("}")
    return "\n".join(out) + "\n"


def llvm_program(functions):
    out = []
    for f in range(functions):
        out.append(f"define i64 @f{f}(i64 %v0) {{")
        n = 0
        for b in range(BLOCKS):
            out.append(f"b{b}:")
            for _ in range(PER_BLOCK):
                out.append(f"  %v{n + 1} = add i64 %v{n}, {n}")
                n += 1
            out.append(f"  br label %b{b + 1}" if b + 1 < BLOCKS else f"  ret i64 %v{n}")
        out.append("}")
    return "\n".join(out) + "\n"


def best_of(runs, action):
    times = []
    for _ in range(runs):
        start = time.perf_counter()
        action()
        times.append(time.perf_counter() - start)
    return min(times)


def tool(*names):
    for name in names:
        found = shutil.which(name)
        if found:
            return found
    return None


def main():
    functions = int(sys.argv[1]) if len(sys.argv) > 1 else 2000
    instructions = functions * BLOCKS * PER_BLOCK
    source = kd_program(functions)
    info = kdpi.ModuleCompileInfo(
        [kdpi.ModuleSourceInfo(kdpi.ModuleSourceType.Assembly, "road.kdasm", source)]
    )
    instance = _kd_create_instance(kdpi.InstanceCreateInfo(kdpi.ApplicationInfo(
        "road", kdpi.VersionInfo(0, 0, 0), "keldrane", kdpi.VersionInfo(0, 1, 2))))
    storage = _kd_compile_module(instance, info)
    compile_time = best_of(3, lambda: _kd_compile_module(instance, info))

    def load():
        target = _kd_create_instance(kdpi.InstanceCreateInfo(kdpi.ApplicationInfo(
            "road", kdpi.VersionInfo(0, 0, 0), "keldrane", kdpi.VersionInfo(0, 1, 2))))
        _kd_load_module(target, storage)

    load_time = best_of(3, load)
    print(f"{functions} functions, {instructions} instructions, {len(source)} bytes of text, "
          f"{len(storage)} bytes of storage")
    print(f"  compile: {compile_time * 1000:8.1f} ms  ({instructions / compile_time / 1e6:.2f} M instr/s)")
    print(f"  load:    {load_time * 1000:8.1f} ms  ({instructions / load_time / 1e6:.2f} M instr/s)")

    llvm_as = tool("llvm-as-19", "llvm-as")
    opt = tool("opt-19", "opt")
    if llvm_as is None:
        print("  (llvm-as not found: no comparison)")
        return
    with tempfile.TemporaryDirectory() as directory:
        text = Path(directory) / "road.ll"
        bitcode = Path(directory) / "road.bc"
        text.write_text(llvm_program(functions))
        as_time = best_of(3, lambda: subprocess.run(
            [llvm_as, str(text), "-o", str(bitcode)], check=True))
        print(f"  llvm-as: {as_time * 1000:8.1f} ms  (compile / llvm-as = {compile_time / as_time:.2f})")
        if opt is not None:
            verify_time = best_of(3, lambda: subprocess.run(
                [opt, "-passes=verify", "-disable-output", str(bitcode)], check=True))
            print(f"  opt -passes=verify: {verify_time * 1000:8.1f} ms  "
                  f"(load / opt = {load_time / verify_time:.2f})")


if __name__ == "__main__":
    main()
