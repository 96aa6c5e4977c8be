#!/usr/bin/python3
"""Measures what loading compiled module storage costs against its decode budget, and what it
really takes.

    /usr/bin/python3 bench/decode_budget.py [--build build] [--no-memory]

1. Gathers storages: every storage the compiler writes while the Python tests run and while
   examples/demo.py runs (their `_kd_compile_module` results, caught by a `sitecustomize` put
   first on the path), the sample storages of kdcore/tests (the kd_storage_fixtures program),
   programs of bench/gen_program.py (10 000, 100 000 and 1 000 000 instructions) and 1 000 000
   functions of one block that returns.
2. Runs `kd_bench --benchmark_filter=DecodeBudgetFile` over them: the cost of each storage (the
   least budget that decodes it), its cost per byte and the headroom that the budget of its size
   leaves (that budget over the cost: below 1 it would be refused).
3. Unless --no-memory: loads each large storage in a child process of its own (started by a
   small launcher, since a child's peak resident set starts from its parent's) and shows the
   peak resident set above the child's baseline beside the cost.

The test storages are summed up in one row (their number, the largest cost per byte, the least
headroom); the others get one row each.
"""

import argparse
import json
import os
import subprocess
import sys
import tempfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent

SITECUSTOMIZE = '''
import itertools, os
try:
    import kdpi._sys as _s
except ImportError:
    _s = None
if _s is not None and not getattr(_s, "_kd_captured", False):
    _compile = _s._kd_compile_module
    _numbers = itertools.count()

    def _kd_compile_module(*args, **kwargs):
        out = _compile(*args, **kwargs)
        name = f"test-{os.getpid()}-{next(_numbers):05d}.kdm"
        with open(os.path.join(os.environ["KD_CAPTURE_DIR"], name), "wb") as f:
            f.write(bytes(out))
        return out

    _s._kd_compile_module = _kd_compile_module
    _s._kd_captured = True
'''

CHILD = '''
import sys, time
sys.path.insert(0, sys.argv[1])
import kdpi
from kdpi import _sys
app = kdpi.ApplicationInfo("budget", kdpi.VersionInfo(0, 0, 0), "keldrane", kdpi.VersionInfo(0, 1, 2))
instance = _sys._kd_create_instance(kdpi.InstanceCreateInfo(app))
data = open(sys.argv[2], "rb").read()
def status(key):
    for line in open("/proc/self/status"):
        if line.startswith(key):
            return int(line.split()[1])
base = status("VmRSS")
open("/proc/self/clear_refs", "w").write("5")  # the peak starts here
start = time.perf_counter()
try:
    _sys._kd_load_module(instance, data)
    outcome = "ok"
except BaseException as e:
    outcome = f"{type(e).__name__}: ...{str(e)[-60:]}"
seconds = time.perf_counter() - start
print(f"{(status('VmHWM') - base) / 1024:.1f} {seconds:.2f} {outcome}")
'''


def gather(build: Path, folder: Path):
    env = dict(os.environ)
    hook = folder / "hook"
    hook.mkdir()
    (hook / "sitecustomize.py").write_text(SITECUSTOMIZE)
    env["PYTHONPATH"] = os.pathsep.join([str(hook), str(build / "python")])
    env["KDPI_BUILD_DIR"] = str(build)
    env["KD_CAPTURE_DIR"] = str(folder)
    # The tests' own outcome does not matter here (a wrapped function fails the signature test).
    subprocess.run([sys.executable, "-m", "pytest", "-q", "-p", "no:cacheprovider",
                    str(ROOT / "tests" / "python")], env=env, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL)  # fmt: skip
    subprocess.run([sys.executable, str(ROOT / "examples" / "demo.py")], env=env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)  # fmt: skip
    fixtures = folder / "fixtures"
    fixtures.mkdir()
    subprocess.run([str(build / "kd_storage_fixtures"), str(fixtures)], check=True)
    for path in fixtures.iterdir():
        path.rename(folder / f"test-fixture-{path.stem}.kdm")
    tests = len(list(folder.glob("test-*.kdm")))

    sys.path.insert(0, str(build / "python"))
    import kdpi
    from kdpi import _sys

    app = kdpi.ApplicationInfo("budget", kdpi.VersionInfo(0, 0, 0), "keldrane",
                               kdpi.VersionInfo(0, 1, 2))  # fmt: skip
    instance = _sys._kd_create_instance(kdpi.InstanceCreateInfo(app))

    def compile_to(name, text):
        source = kdpi.ModuleSourceInfo(kdpi.ModuleSourceType.Assembly, "bench.kd", text)
        data = _sys._kd_compile_module(instance, kdpi.ModuleCompileInfo([source]))
        (folder / f"{name}.kdm").write_bytes(bytes(data))

    for size in (10_000, 100_000, 1_000_000):
        text = subprocess.run([sys.executable, str(ROOT / "bench" / "gen_program.py"),
                               "--instructions", str(size)], check=True, capture_output=True,
                              text=True).stdout  # fmt: skip
        compile_to(f"gen_program-{size}", text)
    compile_to("small_functions-1000000",
               "".join(f"define void f{i}() {{ entry: ret void }}\n" for i in range(1_000_000)))
    return tests


def costs(build: Path, folder: Path):
    env = dict(os.environ, KD_BENCH_STORAGES=str(folder))
    out = subprocess.run([str(build / "kd_bench"), "--benchmark_filter=DecodeBudgetFile",
                          "--benchmark_format=json"], env=env, check=True, capture_output=True,
                         text=True).stdout  # fmt: skip
    rows = {}
    for b in json.loads(out)["benchmarks"]:
        name = b["name"].split("/")[1]
        if "error_occurred" in b:
            rows[name] = None
        else:
            rows[name] = (int(b["storage_bytes"]), b["cost"], b["cost_per_byte"], b["headroom"])
    return rows


def peak(build: Path, path: Path):
    launcher = ("import subprocess, sys; "
                "sys.stdout.write(subprocess.run(sys.argv[1:], capture_output=True, "
                "text=True).stdout)")  # fmt: skip
    out = subprocess.run([sys.executable, "-c", launcher, sys.executable, "-c", CHILD,
                          str(build / "python"), str(path)], capture_output=True,
                         text=True).stdout.split(maxsplit=2)  # fmt: skip
    return float(out[0]), float(out[1]), out[2].strip()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--no-memory", action="store_true")
    args = parser.parse_args()
    build = Path(args.build).resolve()
    with tempfile.TemporaryDirectory(prefix="decode_budget.") as tmp:
        folder = Path(tmp)
        tests = gather(build, folder)
        rows = costs(build, folder)
        print("| storage | bytes | cost | cost per byte | headroom | peak MiB | seconds | outcome |")
        print("|---|---|---|---|---|---|---|---|")
        test_rows = [r for n, r in rows.items() if n.startswith("test-")]
        refused = [n for n, r in rows.items() if r is None]
        worst = max(test_rows, key=lambda r: r[2])
        least = min(test_rows, key=lambda r: r[3])
        print(f"| {tests} test storages | up to {max(r[0] for r in test_rows)} | up to "
              f"{max(r[1] for r in test_rows):.0f} | up to {worst[2]:.1f} | at least "
              f"{least[3]:.0f} | | | |")  # fmt: skip
        for name, r in rows.items():
            if name.startswith("test-") or r is None:
                continue
            memory = ("", "", "")
            if not args.no_memory:
                mib, seconds, outcome = peak(build, folder / name)
                memory = (f"{mib:.1f}", f"{seconds:.2f}", outcome)
            print(f"| {name} | {r[0]} | {r[1] / 2**20:.1f} MiB | {r[2]:.1f} | {r[3]:.1f} | "
                  f"{memory[0]} | {memory[1]} | {memory[2]} |", flush=True)  # fmt: skip
        for name in refused:
            print(f"| {name} | refused by every budget | | | | | | |")


if __name__ == "__main__":
    main()
