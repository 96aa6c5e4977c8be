#!/usr/bin/python3
"""Writes one large, valid program in the IR's assembly text, for benchmarks.

    /usr/bin/python3 bench/gen_program.py [--instructions N] [--seed S] [-o FILE] [--llvm FILE]
    /usr/bin/python3 bench/gen_program.py --small-functions N [--seed S] [-o FILE] [--llvm FILE]
    /usr/bin/python3 bench/gen_program.py --empty-functions N [-o FILE] [--llvm FILE]

The program has thousands of functions `f0`, `f1`, ... of the same signature
(i64, i64, fp64, ptr) -> i64. Each function is a chain of diamonds: integer and floating-point
arithmetic, a comparison, a branch into two arms (one calls a function through a pointer
constant, the other through a pointer chosen by `select`, and loads back what the entry
stored), and a join block with a phi. Everything verifies and type-checks. The output is the
same for the same arguments; the default size is about a million instructions (~30 MB).

Two other shapes have many small functions instead. `--small-functions N` writes N functions
of the same signature with 2 to 20 instructions each: most are one block of integer and
floating-point arithmetic with up to two calls of other functions of the program, about one
in five is a single diamond (19 instructions). `--empty-functions N` writes N functions
`define void fN() { entry: ret void }`, one a line.

The program is built as a model first (functions, blocks, instructions, terminators) and then
written by an emitter. A second emitter writes the same model as LLVM IR (`--llvm`), so that
LLVM's tools can be timed on the same program (bench/road.py).
"""
import argparse
import random
import struct
import sys
from dataclasses import dataclass, field
from typing import List, Optional, Tuple, Union

# ----------------------------------------------------------------------------------------------
# Model


@dataclass(frozen=True)
class Reg:
    name: str


@dataclass(frozen=True)
class Const:
    ty: str      # "i64", "fp64", ...
    value: str   # the literal as written


@dataclass(frozen=True)
class FuncPtr:
    function: str


Operand = Union[Reg, Const, FuncPtr]


@dataclass
class Instr:
    op: str                      # mnemonic with variant parts, e.g. "iadd.wrap"
    operands: List[Operand]
    dest: Optional[str] = None   # register name
    ty: Optional[str] = None     # destination type
    phi: List[Tuple[Operand, str]] = field(default_factory=list)  # (value, label) for phi
    align: Optional[int] = None


@dataclass
class Term:
    kind: str                    # "branch", "jump", "ret"
    operand: Optional[Operand] = None
    labels: List[str] = field(default_factory=list)


@dataclass
class Block:
    label: str
    instrs: List[Instr]
    term: Term


@dataclass
class Function:
    name: str
    params: List[Tuple[str, str]]
    ret: Optional[str]
    blocks: List[Block]

    def instruction_count(self):
        return sum(len(b.instrs) for b in self.blocks)


PARAMS = [("a", "i64"), ("b", "i64"), ("x", "fp64"), ("p", "ptr")]
INT_OPS = ["iadd.wrap", "isub.wrap", "imul.wrap", "and", "or", "xor", "isht.lsl", "idiv.signed",
           "irem.unsigned", "iadd.ssat"]
FP_OPS = ["fadd", "fsub", "fmul", "fdiv"]
ICMP = ["eq", "ne", "ult", "ule", "slt", "sgt", "sge"]
FCMP = ["oeq", "olt", "ogt", "ole", "une", "ord"]


class FunctionBuilder:
    def __init__(self, rng: random.Random, name: str, callees: int):
        self.rng = rng
        self.name = name
        self.callees = callees
        self.counter = 0
        self.blocks: List[Block] = []

    def fresh(self, prefix):
        self.counter += 1
        return f"{prefix}{self.counter}"

    def int_const(self):
        return Const("i64", str(self.rng.choice([self.rng.randint(-1000, 1000),
                                                 self.rng.randint(0, 1 << 40),
                                                 self.rng.randint(1, 16)])))

    def fp_const(self):
        return Const("fp64", f"{self.rng.randint(-999, 999)}.{self.rng.randint(0, 99):02d}")

    def callee(self):
        return FuncPtr(f"f{self.rng.randrange(self.callees)}")

    def int_chain(self, instrs, ints, n):
        for _ in range(n):
            lhs = Reg(self.rng.choice(ints))
            rhs = Reg(self.rng.choice(ints)) if self.rng.random() < 0.5 else self.int_const()
            d = self.fresh("t")
            instrs.append(Instr(self.rng.choice(INT_OPS), [lhs, rhs], d, "i64"))
            ints.append(d)

    def fp_chain(self, instrs, fps, n):
        for _ in range(n):
            lhs = Reg(self.rng.choice(fps))
            rhs = Reg(self.rng.choice(fps)) if self.rng.random() < 0.5 else self.fp_const()
            d = self.fresh("u")
            instrs.append(Instr(self.rng.choice(FP_OPS), [lhs, rhs], d, "fp64"))
            fps.append(d)

    def diamond(self, head_label, carried, ints, fps, size, last):
        """Appends a head (starting with `carried`), two arms and a join. Returns the join's
        label, its instructions when the next diamond's head continues it (else None), and its
        result register."""
        then_label, else_label = self.fresh("then"), self.fresh("else")
        join_label = self.fresh("join")
        head = list(carried)
        slot = self.fresh("s")
        head.append(Instr("alloca", [Const("i64", "1")], slot, "ptr", align=8))
        self.int_chain(head, ints, size)
        self.fp_chain(head, fps, max(1, size // 2))
        head.append(Instr("store", [Reg(slot), Reg(ints[-1])], align=8))
        cond = self.fresh("c")
        head.append(Instr(f"icmp.{self.rng.choice(ICMP)}", [Reg(ints[-1]), Reg(ints[-2])],
                          cond, "i1"))
        self.blocks.append(Block(head_label, head,
                                 Term("branch", Reg(cond), [then_label, else_label])))

        # Values of one arm are used only in that arm: every use is dominated by its definition.
        then = []
        t_ints, t_fps = list(ints), list(fps)
        self.int_chain(then, t_ints, size)
        self.fp_chain(then, t_fps, max(1, size // 2))
        fc = self.fresh("fc")
        then.append(Instr(f"fcmp.{self.rng.choice(FCMP)}", [Reg(t_fps[-1]), self.fp_const()],
                          fc, "i1"))
        call = self.fresh("r")
        then.append(Instr("invoke", [self.callee(), Reg(t_ints[-1]), Reg(ints[0]),
                                     Reg(t_fps[-1]), Reg("p")], call, "i64"))
        self.blocks.append(Block(then_label, then, Term("jump", labels=[join_label])))

        other = []
        e_ints = list(ints)
        fptr = self.fresh("fp")
        other.append(Instr("select", [Reg(cond), self.callee(), self.callee()], fptr, "ptr"))
        call2 = self.fresh("r")
        other.append(Instr("invoke", [Reg(fptr), Reg(ints[-1]), self.int_const(), Reg(fps[-1]),
                                      Reg(slot)], call2, "i64"))
        back = self.fresh("l")
        other.append(Instr("load", [Reg(slot)], back, "i64", align=8))
        self.int_chain(other, e_ints, size)
        mixed = self.fresh("t")
        other.append(Instr("iadd.wrap", [Reg(back), Reg(e_ints[-1])], mixed, "i64"))
        self.blocks.append(Block(else_label, other, Term("jump", labels=[join_label])))

        joined = self.fresh("j")
        join = [Instr("phi", [], joined, "i64",
                      phi=[(Reg(call), then_label), (Reg(mixed), else_label)])]
        if not last:
            return join_label, join, joined
        result = self.fresh("t")
        join.append(Instr("xor", [Reg(joined), Reg(ints[0])], result, "i64"))
        self.blocks.append(Block(join_label, join, Term("ret", Reg(result))))
        return join_label, None, result

    def build_small(self, instructions):
        """One block of `instructions` (2..20) instructions ending in `ret`, with up to two calls;
        or, for about one function in five, a single diamond of the smallest size."""
        ints, fps = ["a", "b"], ["x"]
        if self.rng.random() < 0.2:
            self.diamond("entry", [], ints, fps, 2, True)
            return Function(self.name, list(PARAMS), "i64", self.blocks)
        instrs = []
        calls = self.rng.randint(0, min(2, instructions // 4))
        fp_count = self.rng.randint(0, (instructions - calls) // 3)
        int_count = instructions - calls - fp_count - (1 if calls else 0)
        self.int_chain(instrs, ints, int_count)
        self.fp_chain(instrs, fps, fp_count)
        for _ in range(calls):
            r = self.fresh("r")
            instrs.append(Instr("invoke", [self.callee(), Reg(ints[-1]), Reg(ints[0]),
                                           Reg(fps[-1]), Reg("p")], r, "i64"))
            ints.append(r)
        if calls:
            d = self.fresh("t")
            instrs.append(Instr("iadd.wrap", [Reg(ints[-1]), Reg(ints[-2])], d, "i64"))
            ints.append(d)
        self.blocks.append(Block("entry", instrs, Term("ret", Reg(ints[-1]))))
        return Function(self.name, list(PARAMS), "i64", self.blocks)

    def build(self, target_instructions):
        ints, fps = ["a", "b"], ["x"]
        # One diamond holds about 3 * size integer, size floating-point and 10 other
        # instructions.
        diamonds = self.rng.randint(1, 4)
        size = max(2, (target_instructions // diamonds - 10) // 4)
        label, carried = "entry", []
        for k in range(diamonds):
            label, carried, result = self.diamond(label, carried, ints, fps, size,
                                                  k == diamonds - 1)
            ints.append(result)
        return Function(self.name, list(PARAMS), "i64", self.blocks)


def build_program(instructions: int, seed: int) -> List[Function]:
    rng = random.Random(seed)
    per_function = 250
    count = max(2, instructions // per_function)
    functions = []
    for k in range(count):
        target = rng.randint(per_function // 2, per_function * 3 // 2)
        functions.append(FunctionBuilder(rng, f"f{k}", count).build(target))
    return functions


def build_small_program(count: int, seed: int) -> List[Function]:
    rng = random.Random(seed)
    count = max(2, count)
    return [FunctionBuilder(rng, f"f{k}", count).build_small(rng.randint(2, 20))
            for k in range(count)]


def build_empty_program(count: int) -> List[Function]:
    # Emitters only read the model: every function shares its one block.
    entry = [Block("entry", [], Term("ret"))]
    return [Function(f"f{k}", [], None, entry) for k in range(count)]

# ----------------------------------------------------------------------------------------------
# Emitter: the IR's assembly text


def kd_operand(o: Operand) -> str:
    if isinstance(o, Reg):
        return f"%{o.name}"
    if isinstance(o, Const):
        return f"{o.ty} {o.value}"
    return f"ptr {o.function}"


def kd_instr(i: Instr) -> str:
    head = f"%{i.dest}: {i.ty} = " if i.dest is not None else ""
    if i.op == "phi":
        body = ", ".join(f"[{kd_operand(v)}, {l}]" for v, l in i.phi)
    else:
        body = ", ".join(kd_operand(o) for o in i.operands)
    text = f"{head}{i.op} {body}" if body else f"{head}{i.op}"
    if i.align is not None:
        text += f", align {i.align}"
    return text


def kd_term(t: Term) -> str:
    if t.kind == "branch":
        return f"branch {kd_operand(t.operand)}, {t.labels[0]}, {t.labels[1]}"
    if t.kind == "jump":
        return f"jump {t.labels[0]}"
    return f"ret {kd_operand(t.operand)}" if t.operand is not None else "ret void"


def emit_kd(functions: List[Function], out) -> None:
    out.write("; generated by bench/gen_program.py\n")
    for f in functions:
        if not f.params and len(f.blocks) == 1 and not f.blocks[0].instrs:
            # An empty function takes one line.
            b = f.blocks[0]
            out.write(f"define {f.ret or 'void'} {f.name}() {{ {b.label}: {kd_term(b.term)} }}\n")
            continue
        params = ", ".join(f"%{n}: {t}" for n, t in f.params)
        out.write(f"\ndefine {f.ret or 'void'} {f.name}({params}) {{\n")
        for b in f.blocks:
            out.write(f"{b.label}:\n")
            for i in b.instrs:
                out.write(f"  {kd_instr(i)}\n")
            out.write(f"  {kd_term(b.term)}\n")
        out.write("}\n")

# ----------------------------------------------------------------------------------------------
# Emitter: LLVM IR (opaque pointers), the same functions, blocks, instructions, constants and
# calls in the same order. Where the two programs differ, by what each language can say:
# - `iadd.ssat` is a call of the intrinsic `llvm.sadd.sat.i64`, which the module declares;
# - `invoke` through a pointer is an indirect `call` that names the callee's function type;
# - floating-point constants are written as the bits of the double (LLVM's exact form) instead
#   of a decimal literal;
# - `fp64` is `double`, register and label names take LLVM's `%`/`@` forms, and an alloca's
#   element type is written out (`alloca i64, i64 1`).

LLVM_TYPES = {"i1": "i1", "i64": "i64", "fp64": "double", "ptr": "ptr"}
LLVM_BINARY = {
    "iadd.wrap": "add", "isub.wrap": "sub", "imul.wrap": "mul", "and": "and", "or": "or",
    "xor": "xor", "isht.lsl": "shl", "idiv.signed": "sdiv", "irem.unsigned": "urem",
    "fadd": "fadd", "fsub": "fsub", "fmul": "fmul", "fdiv": "fdiv",
}  # fmt: skip
LLVM_SIGNATURE = ", ".join(LLVM_TYPES[t] for _, t in PARAMS)


def llvm_operand(o: Operand) -> str:
    if isinstance(o, Reg):
        return f"%{o.name}"
    if isinstance(o, FuncPtr):
        return f"@{o.function}"
    if o.ty == "fp64":
        return "0x%016X" % struct.unpack("<Q", struct.pack("<d", float(o.value)))[0]
    return o.value


def llvm_instr(i: Instr) -> str:
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
        args = ", ".join(f"{LLVM_TYPES[t]} {a}" for (_, t), a in zip(PARAMS, ops[1:]))
        return f"%{i.dest} = call {ty} ({LLVM_SIGNATURE}) {ops[0]}({args})"
    if i.op == "phi":
        entries = ", ".join(f"[ {llvm_operand(v)}, %{label} ]" for v, label in i.phi)
        return f"%{i.dest} = phi {ty} {entries}"
    raise ValueError(f"no LLVM form for {i.op}")


def llvm_term(t: Term, ret: Optional[str]) -> str:
    if t.kind == "branch":
        return f"br i1 {llvm_operand(t.operand)}, label %{t.labels[0]}, label %{t.labels[1]}"
    if t.kind == "jump":
        return f"br label %{t.labels[0]}"
    return f"ret {LLVM_TYPES[ret]} {llvm_operand(t.operand)}" if t.operand is not None else "ret void"


def emit_llvm(functions: List[Function], out) -> None:
    out.write("; generated by bench/gen_program.py\n")
    out.write("declare i64 @llvm.sadd.sat.i64(i64, i64)\n")
    for f in functions:
        params = ", ".join(f"{LLVM_TYPES[t]} %{n}" for n, t in f.params)
        out.write(f"\ndefine {LLVM_TYPES[f.ret] if f.ret else 'void'} @{f.name}({params}) {{\n")
        for b in f.blocks:
            out.write(f"{b.label}:\n")
            for i in b.instrs:
                out.write(f"  {llvm_instr(i)}\n")
            out.write(f"  {llvm_term(b.term, f.ret)}\n")
        out.write("}\n")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--instructions", type=int, default=1_000_000,
                        help="about how many instructions to write (default 1000000)")
    parser.add_argument("--small-functions", type=int, metavar="N",
                        help="write N small functions (2-20 instructions) instead")
    parser.add_argument("--empty-functions", type=int, metavar="N",
                        help="write N empty functions instead")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("-o", "--output", help="file to write (default: standard output)")
    parser.add_argument("--llvm", metavar="FILE", help="also write the program as LLVM IR")
    args = parser.parse_args()
    if args.empty_functions is not None:
        functions = build_empty_program(args.empty_functions)
    elif args.small_functions is not None:
        functions = build_small_program(args.small_functions, args.seed)
    else:
        functions = build_program(args.instructions, args.seed)
    if args.llvm:
        with open(args.llvm, "w", encoding="utf-8") as out:
            emit_llvm(functions, out)
    if args.output:
        with open(args.output, "w", encoding="utf-8") as out:
            emit_kd(functions, out)
    else:
        emit_kd(functions, sys.stdout)
    total = sum(f.instruction_count() for f in functions)
    print(f"{len(functions)} functions, {total} instructions", file=sys.stderr)


if __name__ == "__main__":
    main()
