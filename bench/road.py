#!/usr/bin/python3
"""Times the main road beside LLVM's tools on generated programs of three shapes and sizes.

    /usr/bin/python3 bench/road.py [--sizes 10000,100000,1000000] [--small 200000]
        [--empty 10000,100000,1000000] [--runs 5] [--page-cost 256] [--build build]

The shapes come from bench/gen_program.py: "large", thousands of functions of ~250
instructions (`--sizes` in instructions); "small", functions of 2-20 instructions that call
each other (`--small` in functions); "empty", functions `define void fN() { entry: ret void }`
(`--empty` in functions). An empty list leaves a shape out. For each program, gen_program.py
writes the IR's assembly text and, from the same model, LLVM IR. Then, in one run:
- our compile (`_kd_compile_module` on the text) and our load (`_kd_load_module` on the
  storage it produced), cold: a fresh Python child per repetition that imports the module,
  makes an instance and reads its input (the text, into a ModuleCompileInfo; the storage's
  bytes) before its clock starts, then times exactly one compile or one load;
- the same warm, as an extra column: repeated in this process (the load into a fresh instance
  made outside the timing), so that the memory the first run touched is reused;
- `llvm-as` (parse, verify, write bitcode), and `opt -passes=verify -disable-output` on the
  text and on the bitcode, each a fresh process, minus its process start-up (the same tool on
  a one-function program);
each time the minimum of `--runs` repetitions. Peak memory is the maximum resident set of a
process of its own: for LLVM's tools the tool's process, shown above its start-up (the
one-function program); for ours the cold child, shown above the interpreter's baseline (the
child after importing the module and making an instance, before it reads its input). Totals
are printed too. Ratios are LLVM's time over our cold time (the throughput of ours relative to
the tool) and LLVM's memory over ours; only ratios from one run mean anything on a shared
machine. The header gives what a fresh process pays for the first touch of fresh memory
(`--page-cost` MiB of it, 0 to skip), which a cold run pays and a warm one mostly does not.

From a fresh clone it installs what it needs: the build's Debian packages (scripts/setup.sh)
and a Release build of the module in `--build` when the module is missing there, and Debian's
`llvm` package when `llvm-as` or `opt` is missing.
"""

import argparse
import gc
import json
import os
import resource
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "bench"))

import gen_program  # noqa: E402


# ----------------------------------------------------------------------------------------------
# Set-up


def as_root(command):
    return command if os.geteuid() == 0 else ["sudo", *command]


def ensure_module(build: Path):
    if list((build / "python" / "kdpi").glob("_sys*.so")):
        return
    print(f"building the module in {build} (Release) ...", file=sys.stderr)
    subprocess.run(as_root(["bash", str(ROOT / "scripts" / "setup.sh")]), check=True)
    subprocess.run(["cmake", "-S", str(ROOT), "-B", str(build), "-G", "Ninja",
                    "-DCMAKE_BUILD_TYPE=Release"], check=True)  # fmt: skip
    subprocess.run(["cmake", "--build", str(build), "--target", "_sys"], check=True)


def ensure_llvm():
    if shutil.which("llvm-as") and shutil.which("opt"):
        return
    print("installing Debian's llvm package ...", file=sys.stderr)
    env = dict(os.environ, DEBIAN_FRONTEND="noninteractive")
    subprocess.run(as_root(["apt-get", "update", "-qq"]), check=True, env=env)
    subprocess.run(as_root(["apt-get", "install", "-y", "-qq", "llvm"]), check=True, env=env)


def llvm_major(tool):
    out = subprocess.run([tool, "--version"], capture_output=True, text=True).stdout
    for word in out.split():
        if word[:1].isdigit() and "." in word:
            return int(word.split(".")[0])
    return 0


def import_module(build: Path):
    sys.path.insert(0, str(build / "python"))
    import kdpi
    from kdpi import _sys

    return kdpi, _sys


def new_instance(kdpi, _sys):
    app = kdpi.ApplicationInfo("road", kdpi.VersionInfo(0, 0, 0), "keldrane",
                               kdpi.VersionInfo(0, 1, 2))  # fmt: skip
    return _sys._kd_create_instance(kdpi.InstanceCreateInfo(app))


def compile_info(kdpi, text):
    return kdpi.ModuleCompileInfo(
        [kdpi.ModuleSourceInfo(kdpi.ModuleSourceType.Assembly, "road.kdasm", text)]
    )


# ----------------------------------------------------------------------------------------------
# Measuring


def max_rss_kib():
    return resource.getrusage(resource.RUSAGE_SELF).ru_maxrss


def child_main(build: Path, what: str, path: str):
    """One compile or one load in this fresh process; prints the baseline in KiB and the time
    of the compile or load alone, its input already read."""
    kdpi, _sys = import_module(build)
    instance = new_instance(kdpi, _sys)
    baseline = max_rss_kib()
    if what == "compile":
        with open(path, encoding="utf-8") as f:
            arg = compile_info(kdpi, f.read())
        action = _sys._kd_compile_module
    else:
        arg = Path(path).read_bytes()
        action = _sys._kd_load_module
    gc.collect()
    start = time.perf_counter()
    result = action(instance, arg)
    elapsed = time.perf_counter() - start
    del result  # freed outside the timing, as a caller would keep it
    print(json.dumps({"baseline_kib": baseline, "seconds": elapsed}))


# First touch of fresh anonymous memory, one byte a page, less the same loop over the pages once
# they are mapped: the part of a cold run that a warm one does not pay.
PAGE_COST = r"""
import json, mmap, sys, time
size = int(sys.argv[1]) << 20
memory = mmap.mmap(-1, size)
passes = []
for _ in range(2):
    start = time.perf_counter()
    for i in range(0, size, mmap.PAGESIZE):
        memory[i] = 1
    passes.append(time.perf_counter() - start)
print(json.dumps((passes[0] - passes[1]) / size))
"""


# A process's peak resident set, as wait4 reports it, starts from the resident set of the process
# that forked it (exec keeps the larger of the two): processes are started by a small launcher
# made while this script is still small, so that the script's own growth does not show.
LAUNCHER = r"""
import json, os, subprocess, sys, time
for line in sys.stdin:
    start = time.perf_counter()
    process = subprocess.Popen(json.loads(line), stdout=subprocess.PIPE)
    out = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    elapsed = time.perf_counter() - start
    print(json.dumps([elapsed, usage.ru_maxrss, os.waitstatus_to_exitcode(status),
                      out.decode()]), flush=True)
"""


class Launcher:
    def __init__(self):
        self.process = subprocess.Popen([sys.executable, "-c", LAUNCHER], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)  # fmt: skip

    def run(self, command):
        """Wall time (s), peak resident set (KiB) and standard output of one process."""
        self.process.stdin.write(json.dumps([str(c) for c in command]) + "\n")
        self.process.stdin.flush()
        elapsed, peak, code, out = json.loads(self.process.stdout.readline())
        if code != 0:
            raise SystemExit(f"failed ({code}): {' '.join(map(str, command))}")
        return elapsed, peak, out


def best_of(launcher, runs, command):
    """Minimum time and maximum peak memory over `runs` runs of a process."""
    times, peaks = [], []
    for _ in range(runs):
        elapsed, peak, _ = launcher.run(command)
        times.append(elapsed)
        peaks.append(peak)
    return min(times), max(peaks)


def cold_runs(launcher, runs, build: Path, what, path: Path):
    """Best in-child time and the largest (peak, baseline) over `runs` fresh children."""
    times, peaks = [], []
    for _ in range(runs):
        _, peak, out = launcher.run(
            [sys.executable, __file__, "--build", str(build), "--child", what, str(path)])
        child = json.loads(out)
        times.append(child["seconds"])
        peaks.append((peak, child["baseline_kib"]))
    return min(times), max(peaks)


def page_cost(launcher, mib_touched, runs):
    """Least and most seconds per byte of the first touch of fresh memory, each run a fresh
    process; on a virtual machine they are far apart, so both are shown."""
    costs = [json.loads(launcher.run([sys.executable, "-c", PAGE_COST, str(mib_touched)])[2])
             for _ in range(runs)]
    return min(costs), max(costs)


def time_in_process(runs, prepare, action):
    times = []
    for _ in range(runs):
        state = prepare()
        gc.collect()
        start = time.perf_counter()
        action(state)
        times.append(time.perf_counter() - start)
        del state
    return min(times)


# ----------------------------------------------------------------------------------------------


def one_function_program():
    entry = gen_program.Block("entry", [], gen_program.Term("ret", gen_program.Reg("a")))
    return [gen_program.Function("f0", list(gen_program.PARAMS), "i64", [entry])]


def write_program(functions, directory: Path, stem: str):
    kd, ll = directory / f"{stem}.kdasm", directory / f"{stem}.ll"
    with kd.open("w", encoding="utf-8") as out:
        gen_program.emit_kd(functions, out)
    with ll.open("w", encoding="utf-8") as out:
        gen_program.emit_llvm(functions, out)
    return kd, ll


def llvm_commands(ll: Path, bc: Path, flags):
    return {
        "llvm-as": ["llvm-as", *flags, str(ll), "-o", str(bc)],
        "opt text": ["opt", *flags, "-passes=verify", "-disable-output", str(ll)],
        "opt bitcode": ["opt", *flags, "-passes=verify", "-disable-output", str(bc)],
    }


def mib(kib):
    return kib / 1024


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--sizes", default="10000,100000,1000000",
                        help="instruction counts of the large shape, comma-separated (default "
                             "10000,100000,1000000)")
    parser.add_argument("--small", default="200000",
                        help="function counts of the small shape (default 200000)")
    parser.add_argument("--empty", default="10000,100000,1000000",
                        help="function counts of the empty shape (default 10000,100000,1000000)")
    parser.add_argument("--runs", type=int, default=5, help="repetitions per time (default 5)")
    parser.add_argument("--page-cost", type=int, default=256, metavar="MIB",
                        help="MiB of fresh memory a fresh process touches to time the first "
                             "touch of a page; 0 to skip (default 256)")
    parser.add_argument("--build", default=str(ROOT / "build"),
                        help="build directory holding python/kdpi (default build)")
    parser.add_argument("--child", nargs=2, metavar=("WHAT", "PATH"), help=argparse.SUPPRESS)
    args = parser.parse_args()
    build = Path(args.build).resolve()
    if args.child:
        child_main(build, *args.child)
        return

    ensure_module(build)
    ensure_llvm()
    launcher = Launcher()
    kdpi, _sys = import_module(build)
    # LLVM 14 (Debian bookworm's `llvm`) reads `ptr` only in its opaque-pointer mode.
    flags = ["-opaque-pointers"] if llvm_major("llvm-as") == 14 else []
    version = subprocess.run(["llvm-as", "--version"], capture_output=True, text=True).stdout
    version = next((l.strip() for l in version.splitlines() if "version" in l), "?")
    runs = args.runs
    page_runs = min(runs, 3)
    touch = page_cost(launcher, args.page_cost, page_runs) if args.page_cost > 0 else None
    rows = []
    with tempfile.TemporaryDirectory(prefix="road.") as tmp:
        directory = Path(tmp)

        # Start-up of LLVM's tools: time and memory on a one-function program.
        _, small_ll = write_program(one_function_program(), directory, "startup")
        startup = {}
        # (llvm-as comes first and writes the bitcode that opt then reads.)
        for name, command in llvm_commands(small_ll, directory / "startup.bc", flags).items():
            startup[name] = best_of(launcher, runs, command)

        def counts(text):
            return [int(c) for c in text.split(",") if c.strip()]

        programs = ([("large", n, lambda n: gen_program.build_program(n, 1))
                     for n in counts(args.sizes)] +
                    [("small", n, lambda n: gen_program.build_small_program(n, 1))
                     for n in counts(args.small)] +
                    [("empty", n, gen_program.build_empty_program)
                     for n in counts(args.empty)])  # fmt: skip
        for shape, size, build_functions in programs:
            functions = build_functions(size)
            function_count = len(functions)
            instructions = sum(f.instruction_count() for f in functions)
            stem = f"{shape}{size}"
            kd, ll = write_program(functions, directory, stem)
            bc, storage_path = directory / f"{stem}.bc", directory / f"{stem}.kdstore"
            del functions

            text = kd.read_text(encoding="utf-8")
            info = compile_info(kdpi, text)
            storage = _sys._kd_compile_module(new_instance(kdpi, _sys), info)
            storage_path.write_bytes(storage)
            compiler = new_instance(kdpi, _sys)
            warm = {
                "compile": time_in_process(
                    runs, lambda: None, lambda _: _sys._kd_compile_module(compiler, info)),
                "load": time_in_process(
                    runs, lambda: new_instance(kdpi, _sys),
                    lambda i: _sys._kd_load_module(i, storage)),
            }  # fmt: skip
            del info, text, compiler

            # Cold: one fresh child per repetition gives both its time and its peak.
            cold = {what: cold_runs(launcher, runs, build, what, path)
                    for what, path in (("compile", kd), ("load", storage_path))}

            llvm = {name: best_of(launcher, runs, command)
                    for name, command in llvm_commands(ll, bc, flags).items()}

            sizes = {"text": kd.stat().st_size, "ll": ll.stat().st_size,
                     "storage": len(storage), "bitcode": bc.stat().st_size}  # fmt: skip
            for ours_name, tool in (("compile", "llvm-as"), ("compile", "opt text"),
                                    ("load", "opt bitcode")):
                tool_s = llvm[tool][0] - startup[tool][0]
                ours_s, (peak, baseline) = cold[ours_name]
                tool_peak, tool_start = llvm[tool][1], startup[tool][1]
                rows.append({
                    "program": stem, "shape": shape, "functions": function_count,
                    "instructions": instructions, "road": ours_name, "ours_ms": ours_s * 1e3,
                    "warm_ms": warm[ours_name] * 1e3,
                    "ns_per_instr": ours_s * 1e9 / instructions if instructions else None,
                    "us_per_function": ours_s * 1e6 / function_count, "tool": tool,
                    "tool_ms": tool_s * 1e3, "speed": tool_s / ours_s,
                    "ours_mib": mib(peak - baseline), "ours_total_mib": mib(peak),
                    "tool_mib": mib(tool_peak - tool_start), "tool_total_mib": mib(tool_peak),
                    "memory": (tool_peak - tool_start) / max(peak - baseline, 1), **sizes,
                })  # fmt: skip
            del storage

    print(f"LLVM: {version}; best of {runs} runs; LLVM's times less their start-up "
          f"({', '.join(f'{n} {t * 1e3:.1f} ms' for n, (t, _) in startup.items())})")
    print("ours cold: a fresh process per run, timed inside it after import, instance and "
          "reading the input; warm: repeated in one process; ns/instr, us/function and "
          "speed-up from the cold times")
    if touch is not None:
        print(f"first touch of fresh memory in a fresh process ({args.page_cost} MiB, "
              f"{page_runs} runs): {touch[0] * 4096 * 1e6:.1f}-{touch[1] * 4096 * 1e6:.1f} us "
              f"per 4 KiB page, {touch[0] * (1 << 30):.2f}-{touch[1] * (1 << 30):.2f} s per GiB")
    print("peak memory: ours above the interpreter's baseline (the child's total in brackets); "
          "LLVM's above its start-up (total in brackets); MiB")
    for size_row in {r["program"]: r for r in rows}.values():
        print(f"  {size_row['shape']}, {size_row['functions']} functions, "
              f"{size_row['instructions']} instructions: text {size_row['text'] / 1e6:.2f} MB, "
              f"storage {size_row['storage'] / 1e6:.2f} MB; LLVM IR {size_row['ll'] / 1e6:.2f} "
              f"MB, bitcode {size_row['bitcode'] / 1e6:.2f} MB")
    header = ("| shape | functions | instructions | ours | cold ms | warm ms | ns/instr | "
              "us/function | LLVM | ms | speed-up | ours MiB | LLVM MiB | memory ratio |")
    print(header)
    print("|" + "|".join("---" for _ in range(header.count("|") - 1)) + "|")
    for r in rows:
        per_instr = f"{r['ns_per_instr']:.0f}" if r["ns_per_instr"] is not None else "-"
        print(f"| {r['shape']} | {r['functions']} | {r['instructions']} | {r['road']} | "
              f"{r['ours_ms']:.1f} | {r['warm_ms']:.1f} | {per_instr} | "
              f"{r['us_per_function']:.2f} | {r['tool']} | "
              f"{r['tool_ms']:.1f} | {r['speed']:.2f}x | {r['ours_mib']:.1f} "
              f"({r['ours_total_mib']:.0f}) | {r['tool_mib']:.1f} ({r['tool_total_mib']:.0f}) | "
              f"{r['memory']:.2f}x |")


if __name__ == "__main__":
    main()
