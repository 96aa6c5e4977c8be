#!/usr/bin/python3
"""Times crafted inputs that try to make a load or a compile spend memory or time out of
proportion to their size, each in a process of its own under an address-space limit.

    /usr/bin/python3 bench/hostile.py [--build build] [--limit-mb 1536] [--only NAME,...]

Each row makes its input (storage bytes or source texts) in a temporary folder, then a child
process imports the module from `--build`, sets RLIMIT_AS to `--limit-mb` and runs one load or
one compile of it. The table shows the input's size, the wall time and peak resident set of the
child (from wait4, the interpreter included), and how the call ended: the start of the error's
text, or "ok". Run it against two build trees to compare before and after a change.
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
import threading
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


# --- Keys chosen to collide, and many sources ------------------------------------------------------


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
        outcome = f"{type(e).__name__}: {str(e)[:100]}"
    elapsed = time.perf_counter() - start
    print(json.dumps({"seconds": elapsed, "outcome": outcome}), flush=True)


def run_row(build: Path, limit_mb: int, what: str, paths, timeout: float):
    """The child's result and its own peak resident set in KiB (the child is reaped here, by
    wait4, so that its usage is its own)."""
    process = subprocess.Popen(
        [sys.executable, __file__, "--build", str(build), "--limit-mb", str(limit_mb),
         "--child", what, *map(str, paths)],
        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)  # fmt: skip
    timer = threading.Timer(timeout, process.kill)
    timer.start()
    out = process.stdout.read()
    _, status, usage = os.wait4(process.pid, 0)
    timer.cancel()
    process.returncode = os.waitstatus_to_exitcode(status)
    try:
        result = json.loads(out.decode().strip().splitlines()[-1])
    except (IndexError, ValueError):
        result = {"seconds": float("nan"), "outcome": f"died (exit {process.returncode})"}
    return result, usage.ru_maxrss


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
    print(f"address-space limit {args.limit_mb} MiB; build {build}")
    print("| input | size | seconds | peak MiB | outcome |")
    print("|---|---|---|---|---|")
    for name, maker in ROWS:
        if only and name not in only:
            continue
        with tempfile.TemporaryDirectory(prefix="hostile.") as tmp:
            what, paths = maker(Path(tmp))
            size = sum(Path(p).stat().st_size for p in paths)
            # Each child is waited for on its own, so its peak is its own.
            result, peak_kib = run_row(build, args.limit_mb, what, paths, args.timeout)
        print(f"| {name} | {size / 1024:.1f} KiB | {result['seconds']:.2f} | "
              f"{peak_kib / 1024:.0f} | {result['outcome']} |", flush=True)


if __name__ == "__main__":
    main()
