#!/usr/bin/python3
"""Times crafted inputs that try to make a load or a compile spend memory or time out of
proportion to their size, each in a process of its own under an address-space limit.

    /usr/bin/python3 bench/hostile.py [--build build] [--limit-mb 1536] [--only NAME,...]

Each row makes its input (storage bytes or source texts) in a temporary folder, then a child
process imports the module from `--build`, sets RLIMIT_AS to `--limit-mb` and runs one load or
one compile of it. The table shows the input's size, the wall time and peak resident set of the
child (from wait4, the interpreter included), and how the call ended: the error's text (its two
ends when it is long), or "ok". Run it against two build trees to compare before and after a
change.
"""

import argparse
import ctypes
import json
import os
import resource
import struct
import subprocess
import sys
import tempfile
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
ENGINE_VERSION = "0.1.2"
MAGIC = b"\x7fKDMODIR"

# ----------------------------------------------------------------------------------------------
# Making inputs

_zstd = ctypes.CDLL("libzstd.so.1")
_zstd.ZSTD_createCCtx.restype = ctypes.c_void_p
_zstd.ZSTD_freeCCtx.argtypes = [ctypes.c_void_p]
_zstd.ZSTD_CCtx_setParameter.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_int]
_zstd.ZSTD_compressStream2.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_void_p,
                                       ctypes.c_int]  # fmt: skip
_zstd.ZSTD_compressStream2.restype = ctypes.c_size_t
_zstd.ZSTD_isError.argtypes = [ctypes.c_size_t]


class _Buffer(ctypes.Structure):
    _fields_ = [("ptr", ctypes.c_void_p), ("size", ctypes.c_size_t), ("pos", ctypes.c_size_t)]


def write_storage(path: Path, chunks, version=ENGINE_VERSION):
    """Writes a storage: the magic, "=version" and NUL, then one zstd frame (level 3) of the
    concatenated `chunks` (an iterable of bytes), compressed as they come: a body of a gigabyte
    of zeros never exists whole. Returns the storage's size in bytes."""
    ctx = _zstd.ZSTD_createCCtx()
    _zstd.ZSTD_CCtx_setParameter(ctx, 100, 3)  # ZSTD_c_compressionLevel
    out_buf = ctypes.create_string_buffer(1 << 17)
    size = 0
    with path.open("wb") as f:
        f.write(MAGIC + b"=" + version.encode() + b"\0")

        def feed(data: bytes, mode: int):
            keep = ctypes.create_string_buffer(data, len(data)) if data else None
            # addressof, not cast: a cast keeps its source in a reference cycle, and a gigabyte
            # of chunks would wait for the collector in this process, whose resident set the
            # child inherits as the start of its peak.
            inb = _Buffer(ctypes.addressof(keep) if keep else None, len(data), 0)
            while True:
                outb = _Buffer(ctypes.addressof(out_buf), len(out_buf), 0)
                left = _zstd.ZSTD_compressStream2(ctx, ctypes.byref(outb), ctypes.byref(inb), mode)
                if _zstd.ZSTD_isError(left):
                    raise RuntimeError("zstd compression failed")
                f.write(out_buf.raw[: outb.pos])
                if (mode == 0 and inb.pos == inb.size) or (mode == 2 and left == 0):
                    return

        for chunk in chunks:
            feed(chunk, 0)  # ZSTD_e_continue
        feed(b"", 2)  # ZSTD_e_end
        size = f.tell()
    _zstd.ZSTD_freeCCtx(ctx)
    return size


def zeros(mib: int):
    """`mib` MiB of zero bytes, one MiB at a time."""
    block = bytes(1 << 20)
    for _ in range(mib):
        yield block


def u32(v: int) -> bytes:
    return struct.pack("<I", v)


# ----------------------------------------------------------------------------------------------
# Rows. Each maker takes a temporary folder and returns ("load", storage_path) or
# ("compile", [source_path, ...]); its row is (name, maker). Sections by subject, one after
# another.

ROWS = []


def row(name):
    def register(maker):
        ROWS.append((name, maker))
        return maker

    return register


# --- Storage bodies that decode to far more than they hold --------------------------------------
# Each declares a list of 2^32-1 elements (or one name of a gigabyte) and then supplies bytes
# that compress to almost nothing. Layouts: the body is the file names (u32 count, then u32
# length and bytes each), the module (u32 function count, then the key and the function), the
# registry; a function is its uuid, name option, u32 parameter count, return type option and its
# blocks (u32 count, then per block the label twice and a u32 instruction count); an instruction
# is its opcode byte and then its fields; a register operand is 00 and the u32 register.

ALL_ONES = 0xFFFFFFFF
REG0 = b"\x00" + u32(0)
TYPEREF = bytes(range(1, 17))


def _one_block(instructions: int) -> bytes:
    """No file names; one function with no name, parameters or return type, whose one block
    declares `instructions` instructions: the body up to the first instruction."""
    function = TYPEREF + b"\x00" + u32(0) + b"\x00" + u32(1) + u32(0) + u32(0) + u32(instructions)
    return u32(0) + u32(1) + TYPEREF + function


def _repeated(pattern: bytes, mib: int):
    """About `mib` MiB of `pattern` repeated, in chunks of whole patterns."""
    chunk = pattern * ((1 << 20) // len(pattern))
    for _ in range(mib):
        yield chunk


def _asserts(tmp: Path, mib: int):
    # !assert %0: opcode 31, then the condition operand.
    path = tmp / "asserts.kdm"
    write_storage(path, [_one_block(ALL_ONES), *_repeated(b"\x1f" + REG0, mib)])
    return "load", [path]


@row("block of 2^32-1 instructions over 100 MiB of !assert %0")
def _asserts_100(tmp: Path):
    return _asserts(tmp, 100)


@row("block of 2^32-1 instructions over 1000 MiB of !assert %0")
def _asserts_1000(tmp: Path):
    return _asserts(tmp, 1000)


@row("block of 2^32-1 instructions over 1000 MiB of zeros (iadd)")
def _iadds(tmp: Path):
    path = tmp / "iadds.kdm"
    write_storage(path, [_one_block(ALL_ONES), *zeros(1000)])
    return "load", [path]


@row("invoke of 2^32-1 arguments over 1000 MiB of zeros")
def _invoke_arguments(tmp: Path):
    # Opcode 25: the callee operand, then the argument list; each 5 zeros are the operand %0.
    path = tmp / "invoke.kdm"
    write_storage(path, [_one_block(1) + b"\x19" + REG0 + u32(ALL_ONES), *zeros(1000)])
    return "load", [path]


@row("phi of 2^32-1 pairs over 1000 MiB of zeros")
def _phi_pairs(tmp: Path):
    # Opcode 26: destination, type, then the pairs of operand and label (9 zeros each).
    path = tmp / "phi.kdm"
    write_storage(path, [_one_block(1) + b"\x1a" + u32(1) + TYPEREF + u32(ALL_ONES), *zeros(1000)])
    return "load", [path]


@row("gep of 2^32-1 indices over 1000 MiB of zeros")
def _gep_indices(tmp: Path):
    # Opcode 24: destination, type, indexed type, base operand, then the index operands.
    path = tmp / "gep.kdm"
    head = _one_block(1) + b"\x18" + u32(1) + TYPEREF + TYPEREF + REG0 + u32(ALL_ONES)
    write_storage(path, [head, *zeros(1000)])
    return "load", [path]


@row("2^32-1 file names over 1000 MiB of zeros")
def _file_names(tmp: Path):
    # Each 4 zeros are an empty name.
    path = tmp / "names.kdm"
    write_storage(path, [u32(ALL_ONES), *zeros(1000)])
    return "load", [path]


@row("one file name of 1 GiB of NUL bytes")
def _one_long_name(tmp: Path):
    path = tmp / "long_name.kdm"
    write_storage(path, [u32(1) + u32(1 << 30), *zeros(1024)])
    return "load", [path]


# --- Type registries whose types print far longer than they are stored ---------------------------
# T_0 = i8 and T_k = {T_(k-1), T_(k-1)}: k + 1 entries of at most 54 bytes whose T_k prints
# 6 * 2^k - 4 characters (k = 22: 25 MB, k = 30: 6.4 GB).


def _type_ref(n: int) -> bytes:
    """A version-6 Typeref; ascending with n, as encoders write them."""
    return b"\x10" + bytes(5) + b"\x60" + bytes(1) + n.to_bytes(8, "big")


def _text(s: str) -> bytes:
    return u32(len(s)) + s.encode()


def _doubling_registry(k: int):
    """(registry bytes, i32's Typeref, T_k's Typeref)."""
    i32, chain = _type_ref(0), [_type_ref(1 + i) for i in range(k + 1)]
    entries = [i32 + b"\x00\x00" + u32(32), chain[0] + b"\x00\x00" + u32(8)]
    entries += [chain[i] + b"\x02" + u32(2) + chain[i - 1] * 2 + b"\x00" for i in range(1, k + 1)]
    return struct.pack("<Q", len(entries)) + b"".join(entries), i32, chain[k]


def _one_function_body(params, return_type, instructions, terminator) -> bytes:
    """Names, a module of one function "f" (one block, label 0) and no external functions."""
    uuid = bytes(15) + b"\x01"
    function = (uuid + b"\x01" + _text("f")
                + u32(len(params)) + b"".join(u32(n) + t for n, t in enumerate(params))
                + (b"\x01" + return_type if return_type else b"\x00")
                + u32(1) + u32(0) + u32(0) + u32(len(instructions)) + b"".join(instructions)
                + terminator
                + b"\x00\x00" + u32(0) + b"\x00\x00")  # fmt: skip
    return u32(0) + u32(1) + uuid + function + u32(0)


def _dag_returned(k: int):
    def make(tmp: Path):
        registry, i32, top = _doubling_registry(k)
        ret_reg0 = b"\x02\x01\x00" + u32(0)
        body = _one_function_body([top], i32, [], ret_reg0) + registry
        path = tmp / f"dag{k}.kdm"
        write_storage(path, [body])
        return "load", [path]

    return make


for _k in (22, 24, 30, 40):
    row(f"type registry DAG: `f(%0: T_{_k}) -> i32 {{ ret %0 }}`")(_dag_returned(_k))


def _dag_many_undefs(k: int, count: int):
    """`invoke T_k undef(T_k undef x count)`: the type check refuses the callee, and its message
    shows the instruction, which names T_k count + 1 times."""

    def make(tmp: Path):
        registry, _, top = _doubling_registry(k)
        undef = b"\x02" + top
        invoke = b"\x19" + undef + u32(count) + undef * count + b"\x00\x00\x00"
        body = _one_function_body([], None, [invoke], b"\x02\x00") + registry
        path = tmp / f"dag{k}x{count}.kdm"
        write_storage(path, [body])
        return "load", [path]

    return make


row("type registry DAG: T_21 named by an invoke 31 times")(_dag_many_undefs(21, 30))


def _dag_at_the_bound(tmp: Path):
    """`f() -> i32 { ret T undef }` with T = {T_21, T_19, T_17}: 16.5 MB of text, just within
    what a storage of this size may name, which its type check's message shows twice."""
    registry, i32, _ = _doubling_registry(21)
    top = _type_ref(100)
    chain = [_type_ref(1 + i) for i in range(22)]
    entry = top + b"\x02" + u32(3) + chain[21] + chain[19] + chain[17] + b"\x00"
    count = struct.unpack("<Q", registry[:8])[0]
    registry = struct.pack("<Q", count + 1) + registry[8:] + entry
    body = _one_function_body([], i32, [], b"\x02\x01\x02" + top) + registry
    path = tmp / "dag_bound.kdm"
    write_storage(path, [body])
    return "load", [path]


row("type registry DAG: `f() -> i32 { ret T undef }` with T of 16.5 MB")(_dag_at_the_bound)


# --- Keys chosen to collide, and many sources ------------------------------------------------------

# Function names that share one std::hash<std::string_view> value, and the bucket counts of
# libstdc++'s tables, come from bench/tools/colliding_keys.cpp (its comment tells how), built
# here with the system's compiler: the hash is the C++ runtime's, so the tool checks every name
# against std::hash itself.


def colliding_keys(tmp: Path, *args) -> list:
    tool = tmp / "colliding_keys"
    if not tool.exists():
        subprocess.run(["c++", "-O2", "-std=c++20", "-o", str(tool),
                        str(ROOT / "bench" / "tools" / "colliding_keys.cpp")], check=True)  # fmt: skip
    out = subprocess.run([str(tool), *map(str, args)], check=True, capture_output=True, text=True)
    return out.stdout.split()


def colliding_names(tmp: Path, count: int) -> list:
    return colliding_keys(tmp, "names", count)


def ordinary_names(count: int, length: int) -> list:
    """`count` names of `length` characters, as a program might have."""
    return [f"ordinary{i:0{length - 8}d}" for i in range(count)]


def write_sources(tmp: Path, texts) -> list:
    paths = []
    for i, text in enumerate(texts):
        path = tmp / f"source{i:06d}.kdasm"
        path.write_text(text, encoding="utf-8")
        paths.append(path)
    return paths


def empty_functions(names) -> str:
    return "".join(f"define void {n}() {{\nentry: ret void\n}}\n" for n in names)


def caller(name: str, callee: str) -> str:
    return f"define void {name}() {{\nentry:\n invoke ptr {callee}\n ret void\n}}\n"


def names_rows(count: int, label: str):
    """A source defining `count` functions and a second one calling the last of them, or one
    source doing both; with colliding names, and with ordinary names of the same length."""

    def kinds(tmp: Path, colliding: bool):
        names = colliding_names(tmp, count)
        return names if colliding else ordinary_names(count, len(names[0]))

    for colliding in (True, False):
        kind = "sharing one std::hash value" if colliding else "ordinary, of the same length"

        @row(f"names: {label} {kind}, called from a second source")
        def two_sources(tmp, colliding=colliding):
            names = kinds(tmp, colliding)
            return "compile", write_sources(tmp, [empty_functions(names),
                                                  caller("caller", names[-1])])  # fmt: skip

        @row(f"names: {label} {kind}, called from the same source")
        def one_source(tmp, colliding=colliding):
            names = kinds(tmp, colliding)
            return "compile", write_sources(tmp, [empty_functions(names) +
                                                  caller("caller", names[-1])])  # fmt: skip


names_rows(40_000, "40 000")
names_rows(200_000, "200 000")


def vector_key(count: int, width: int) -> int:
    """The type cache's packed key of `<count x iwidth>`."""
    return (1 << 63) | (count << 32) | (1 << 28) | width


def vector_types(tmp: Path, count: int, colliding: bool) -> list:
    """`count` distinct (C, W) for `<C x iW>`: colliding ones have packed keys in one bucket of
    the cache's table as it is once it holds them all; ordinary ones have the same Cs and
    scattered widths."""
    buckets = int(colliding_keys(tmp, "buckets", count)[0])
    residue = vector_key(1, 1) % buckets
    out = []
    c = 1
    while len(out) < count:
        w = (residue - vector_key(c, 0)) % buckets or buckets
        while w <= 8388607 and len(out) < count:
            out.append((c, w))
            w += buckets
        c += 1
    if not colliding:
        out = [(c, 1 + (i * 7919) % 8388607) for i, (c, _) in enumerate(out)]
    return out


def vector_rows(count: int, label: str):
    for colliding in (True, False):
        kind = "whose packed keys share one bucket of the type cache" if colliding else \
            "ordinary, of the same lengths"  # fmt: skip

        @row(f"vector types: {label} {kind}")
        def make(tmp, colliding=colliding):
            types = vector_types(tmp, count, colliding)
            texts = []
            for start in range(0, len(types), 4096):  # the most parameters a function may have
                params = ", ".join(f"%p{i}: <{c} x i{w}>"
                                   for i, (c, w) in enumerate(types[start:start + 4096]))  # fmt: skip
                texts.append(f"define void v{start}({params}) {{\nentry: ret void\n}}\n")
            return "compile", write_sources(tmp, ["".join(texts)])


vector_rows(30_000, "30 000")
vector_rows(100_000, "100 000")


def sources_rows(count: int, label: str):
    """`count` sources of one function each, against one source of the same functions: empty
    functions, and functions that each call the one before (names from earlier sources)."""
    empty = [empty_functions([f"f{i}"]) for i in range(count)]
    calling = [empty_functions(["f0"])] + [caller(f"f{i}", f"f{i - 1}") for i in range(1, count)]

    @row(f"sources: {label} of one empty function each")
    def many_empty(tmp):
        return "compile", write_sources(tmp, empty)

    @row(f"sources: one of the same {label} empty functions")
    def one_empty(tmp):
        return "compile", write_sources(tmp, ["".join(empty)])

    @row(f"sources: {label} of one function each, each calling the one before")
    def many_calling(tmp):
        return "compile", write_sources(tmp, calling)

    @row(f"sources: one of the same {label} calling functions")
    def one_calling(tmp):
        return "compile", write_sources(tmp, ["".join(calling)])


sources_rows(10_000, "10 000")
sources_rows(30_000, "30 000")


# --- One large function before many small ones -------------------------------------------------
# The check for registers defined twice keeps a bit per register from one function to the next:
# each function has to cost what it defines, not what the largest function before it defined.


def one_large_then_empty(registers: int, empty: int) -> str:
    """`big(%a)`, whose blocks of 50 000 instructions define `registers` more registers, then
    `empty` empty functions, in one source."""
    lines = ["define void big(%a: i64) {\n"]
    for start in range(0, registers, 50_000):
        end = min(start + 50_000, registers)
        lines.append(f"b{start}:\n")
        lines.extend(f"  %r{i}: i64 = iadd.wrap %a, i64 1\n" for i in range(start, end))
        lines.append(f"  jump b{end}\n" if end < registers else "  ret void\n")
    lines.append("}\n")
    lines.append(empty_functions(f"f{i}" for i in range(empty)))
    return "".join(lines)


@row("registers: one function of 999 999 registers and then 300 000 empty functions")
def _one_large_then_empty(tmp: Path):
    return "compile", write_sources(tmp, [one_large_then_empty(999_998, 300_000)])



# ----------------------------------------------------------------------------------------------
# Running


def child_main(build: Path, limit_mb: int, what: str, paths):
    sys.path.insert(0, str(build / "python"))
    import kdpi
    from kdpi import _sys

    app = kdpi.ApplicationInfo("hostile", kdpi.VersionInfo(0, 0, 0), "keldrane",
                               kdpi.VersionInfo(0, 1, 2))  # fmt: skip
    instance = _sys._kd_create_instance(kdpi.InstanceCreateInfo(app))
    if what == "load":
        data = Path(paths[0]).read_bytes()
    else:
        sources = [kdpi.ModuleSourceInfo(kdpi.ModuleSourceType.Assembly, Path(p).name,
                                         Path(p).read_text(encoding="utf-8"))
                   for p in paths]  # fmt: skip
        data = kdpi.ModuleCompileInfo(sources)
    limit = limit_mb << 20
    resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
    start = time.perf_counter()
    try:
        if what == "load":
            _sys._kd_load_module(instance, data)
        else:
            _sys._kd_compile_module(instance, data)
        outcome = "ok"
    except BaseException as e:  # PanicException is a BaseException
        text = f"{type(e).__name__}: {e}"
        # Both ends: the start names the step, the end which refusal it was.
        outcome = text if len(text) <= 160 else f"{text[:60]} ... {text[-90:]}"
    elapsed = time.perf_counter() - start
    print(json.dumps({"seconds": elapsed, "outcome": outcome}), flush=True)


# A process's peak resident set, as wait4 reports it, starts from the resident set of the process
# that forked it: children are started by a small launcher made before any input is, so that the
# inputs this script builds do not show in the children's peaks.
LAUNCHER = r"""
import json, os, subprocess, sys, threading
for line in sys.stdin:
    command, timeout = json.loads(line)
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    timer = threading.Timer(timeout, process.kill)
    timer.start()
    out = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    timer.cancel()
    print(json.dumps([usage.ru_maxrss, os.waitstatus_to_exitcode(status), out.decode()]),
          flush=True)
"""


class Launcher:
    def __init__(self):
        self.process = subprocess.Popen([sys.executable, "-c", LAUNCHER], stdin=subprocess.PIPE,
                                        stdout=subprocess.PIPE, text=True)  # fmt: skip

    def run(self, command, timeout: float):
        """Peak resident set (KiB), exit code and standard output of one process."""
        self.process.stdin.write(json.dumps([[str(c) for c in command], timeout]) + "\n")
        self.process.stdin.flush()
        return json.loads(self.process.stdout.readline())


def run_row(launcher: Launcher, build: Path, limit_mb: int, what: str, paths, timeout: float):
    """The child's result and its own peak resident set in KiB."""
    peak_kib, code, out = launcher.run(
        [sys.executable, __file__, "--build", str(build), "--limit-mb", str(limit_mb),
         "--child", what, *map(str, paths)], timeout)  # fmt: skip
    try:
        result = json.loads(out.strip().splitlines()[-1])
    except (IndexError, ValueError):
        result = {"seconds": float("nan"), "outcome": f"died (exit {code})"}
    return result, peak_kib


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default=str(ROOT / "build"))
    parser.add_argument("--limit-mb", type=int, default=1536)
    parser.add_argument("--timeout", type=float, default=300.0)
    parser.add_argument("--only", default="", help="row names, comma-separated")
    parser.add_argument("--child", nargs="+", help=argparse.SUPPRESS)
    args = parser.parse_args()
    build = Path(args.build).resolve()
    if args.child:
        child_main(build, args.limit_mb, args.child[0], args.child[1:])
        return
    only = {n for n in args.only.split(",") if n}
    launcher = Launcher()
    print(f"address-space limit {args.limit_mb} MiB; build {build}")
    print("| input | size | seconds | peak MiB | outcome |")
    print("|---|---|---|---|---|")
    for name, maker in ROWS:
        if only and name not in only:
            continue
        with tempfile.TemporaryDirectory(prefix="hostile.") as tmp:
            what, paths = maker(Path(tmp))
            size = sum(Path(p).stat().st_size for p in paths)
            result, peak_kib = run_row(launcher, build, args.limit_mb, what, paths, args.timeout)
        print(f"| {name} | {size / 1024:.1f} KiB | {result['seconds']:.2f} | "
              f"{peak_kib / 1024:.0f} | {result['outcome']} |", flush=True)


if __name__ == "__main__":
    main()
