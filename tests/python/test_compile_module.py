"""_kd_compile_module: the lines of a compilation, its failures (parser, type check), the
arguments, and the storage it produces loading back."""

import inspect
from pathlib import Path

import pytest

import kdpi
from instance_support import create_info
from kdpi._sys import _kd_compile_module, _kd_create_instance, _kd_load_module
from load_support import (
    ERROR,
    INFO,
    TRACE,
    add_lines,
    compile_info,
    compiler,
    logged_instance,
    module_uuids,
    read_lines,
    text_list,
)

HEADER = b"\x7fKDMODIR=0.1.2\x00\x28\xb5\x2f\xfd"

HELPER = """\
; Adds one.
define i32 helper(%x: i32) {
entry:
  %r: i32 = iadd.wrap %x, i32 1
  ret %r
}
"""

MAIN = """\
; Calls helper, which an earlier source defines.
define i32 main(%n: i32) {
entry:
  %r: i32 = invoke ptr helper, %n
  ret %r
}
"""


def success_lines(labels, size, sources=(), functions_in_order=None):
    """The lines of a compilation that succeeds, `labels` in UUID order."""
    return (
        [compiler(200, TRACE, f'Compiling source "{name}"') for name in sources]
        + [
            compiler(227, TRACE, "Verifying compiled module"),
            compiler(232, TRACE, "Type checking compiled module"),
        ]
        + [compiler(234, TRACE, f"Type checking function '{label}'") for label in labels]
        + [
            compiler(117, TRACE, f"Serializing compiled module storage (module has {len(labels)} functions)"),
            compiler(262, INFO, f"Compiled successful, module has {len(labels)} functions: {text_list(labels)}"),
            compiler(273, INFO, f"Produced {size} bytes of compiled module storage"),
        ]
    )  # fmt: skip


def test_no_sources_compile_to_an_empty_module_that_loads():
    instance, recorder = logged_instance()
    data = _kd_compile_module(instance, kdpi.ModuleCompileInfo([]))
    assert type(data) is bytes and data.startswith(HEADER)
    assert recorder.take() == success_lines([], len(data))
    _kd_load_module(instance, data)
    lines = recorder.take()
    assert lines == read_lines(len(data), 0, [], 0, 0) + add_lines([], module_uuids(lines)[0], "1v1")


def test_two_sources_compile_and_load_with_their_lines():
    instance, recorder = logged_instance()
    data = _kd_compile_module(
        compile_info=compile_info(("helper.kdasm", HELPER), (None, MAIN)), instance=instance
    )
    lines = recorder.take()
    # Function UUIDs are random: the order of the checks is the order of the final list.
    labels = [line[4].split("'")[1] for line in lines if line[3] == 234]
    assert sorted(labels) == ["helper", "main"]
    assert lines == success_lines(labels, len(data), ["helper.kdasm", "<unnamed>"])

    # The compilation left the instance's registry alone; only named sources are recorded.
    _kd_load_module(instance, data)
    lines = recorder.take()
    assert lines == read_lines(len(data), 2, ["helper.kdasm"], 2, 0) + add_lines(
        labels, module_uuids(lines)[0], "1v1"
    )


def test_every_named_source_is_recorded_even_twice_and_an_empty_one_adds_nothing():
    instance, recorder = logged_instance()
    data = _kd_compile_module(
        instance, compile_info(("same.kdasm", HELPER), ("same.kdasm", "; nothing here\n"))
    )
    lines = recorder.take()
    assert lines[:2] == [compiler(200, TRACE, 'Compiling source "same.kdasm"')] * 2
    assert lines[-2][4] == 'Compiled successful, module has 1 functions: ["helper"]'
    _kd_load_module(instance, data)
    assert recorder.take()[2] == compiler(
        290, TRACE, "Module originally compiled from: same.kdasm, same.kdasm"
    )


def test_sources_dropped_by_the_caller_during_the_compilation_are_still_read():
    # The texts are viewed, not copied: a logger callable that lets go of every reference the
    # caller held must not pull them away (one text is not ASCII, so its UTF-8 form is made).
    instance, recorder = logged_instance()
    info = compile_info(
        ("helper.kdasm", "".join(["; ré\n", HELPER])), ("main.kdasm", "".join([MAIN]))
    )

    def drop(record):
        for source in info.sources:
            source.data = "not IR at all"
        info.sources.clear()
        recorder.hook = None

    recorder.hook = drop
    data = _kd_compile_module(instance, info)
    lines = recorder.take()
    labels = [line[4].split("'")[1] for line in lines if line[3] == 234]
    assert sorted(labels) == ["helper", "main"]
    assert lines == success_lines(labels, len(data), ["helper.kdasm", "main.kdasm"])
    _kd_load_module(instance, data)


FAMILIES = (Path(__file__).resolve().parent / "families.kdasm").read_text()


def test_a_program_with_every_instruction_family_compiles_and_loads():
    instance, recorder = logged_instance()
    data = _kd_compile_module(instance, compile_info(("families.kdasm", FAMILIES)))
    lines = recorder.take()
    labels = [line[4].split("'")[1] for line in lines if line[3] == 234]
    assert sorted(labels) == ["floats", "ints", "memory", "meta", "misc"]
    assert lines == success_lines(labels, len(data), ["families.kdasm"])

    # The second load finds the 6 stored types already in the instance's registry.
    for key, instance_types in (("1v1", 0), ("2v1", 6)):
        _kd_load_module(instance, data)
        lines = recorder.take()
        assert lines == read_lines(
            len(data), 5, ["families.kdasm"], 6, instance_types
        ) + add_lines(labels, module_uuids(lines)[0], key)


def test_a_module_far_more_repetitive_than_programs_compiles_to_storage_that_loads():
    # Four functions of 65 535 identical calls: 3.9 MB of text, whose compressed body of a few
    # hundred bytes is too small a storage for what reading it costs.
    instance, recorder = logged_instance()
    calls = "  invoke ptr g\n" * 65535
    text = "define void g() {\nentry:\n  ret void\n}\n" + "".join(
        f"define void f{i}() {{\nb0:\n{calls}  ret void\n}}\n" for i in range(4)
    )
    data = _kd_compile_module(instance, compile_info(("calls.kdasm", text)))
    lines = recorder.take()
    labels = [line[4].split("'")[1] for line in lines if line[3] == 234]
    assert sorted(labels) == ["f0", "f1", "f2", "f3", "g"]
    assert lines == success_lines(labels, len(data), ["calls.kdasm"])
    _kd_load_module(instance, data)
    lines = recorder.take()
    assert lines == read_lines(len(data), 5, ["calls.kdasm"], 1, 0) + add_lines(
        labels, module_uuids(lines)[0], "1v1"
    )


# (sources, the failing source's label, the error's message); the sources after the failing one
# are never read.
PARSER_FAILURES = [
    (
        [("imports.kdasm", 'import "lib.kdasm"\n'), ("later.kdasm", HELPER)],
        "imports.kdasm",
        'Parser errors occurred: [ParserError { file: None, start: 0, end: 0, message: "import '
        'statements are not supported when parsing from string: lib.kdasm" }]',
    ),
    (
        [("main.kdasm", MAIN), ("helper.kdasm", HELPER)],
        "main.kdasm",
        "The internal function `helper` was referenced but not defined within the module as "
        "either an internal or external function.",
    ),
]


@pytest.mark.parametrize("sources, label, message", PARSER_FAILURES)
def test_a_source_the_parser_refuses_ends_the_compilation(sources, label, message):
    instance, recorder = logged_instance()
    with pytest.raises(RuntimeError) as info:
        _kd_compile_module(instance, compile_info(*sources))
    assert str(info.value) == "Failed to compile module: " + message
    assert recorder.take() == [
        compiler(200, TRACE, f'Compiling source "{label}"'),
        compiler(211, ERROR, f'Failed to compile assembly source "{label}": {message}'),
    ]


def test_a_function_that_fails_its_type_check_ends_the_compilation():
    mistyped = "define void mistyped(%x: i16) {\nentry:\n  %r: i16 = iadd.wrap %x, i32 1\n  ret void\n}\n"
    message = (
        "Type mismatch in instruction `%1: i16 = iadd.wrap %0, i32 1`: expected type `i16`, but "
        "found type `i32`."
    )
    instance, recorder = logged_instance()
    with pytest.raises(RuntimeError) as info:
        _kd_compile_module(instance, compile_info(("mistyped.kdasm", mistyped)))
    assert str(info.value) == "Failed to compile module: " + message
    assert recorder.take() == [
        compiler(200, TRACE, 'Compiling source "mistyped.kdasm"'),
        compiler(227, TRACE, "Verifying compiled module"),
        compiler(232, TRACE, "Type checking compiled module"),
        compiler(234, TRACE, "Type checking function 'mistyped'"),
        compiler(242, ERROR, f"Type check failed for function 'mistyped': {message}"),
    ]


class Record:
    def __init__(self, **attributes):
        vars(self).update(attributes)


def test_arguments():
    instance = _kd_create_instance(create_info())
    empty = kdpi.ModuleCompileInfo([])
    assert type(_kd_compile_module(compile_info=empty, instance=instance)) is bytes
    assert type(_kd_compile_module(instance, Record(sources=()))) is bytes
    module = _kd_load_module(instance, _kd_compile_module(instance, empty))
    cases = [
        ((module, empty), "argument 'instance': 'Module' object is not an instance of 'Instance'"),
        ((empty, instance), "argument 'instance': 'ModuleCompileInfo' object is not an instance of 'Instance'"),
        ((instance, Record()), "Invalid ModuleCompileInfo: AttributeError: 'Record' object has no attribute 'sources'"),
        ((instance, Record(sources="text")), "Invalid ModuleCompileInfo: TypeError: failed to extract field ModuleCompileInfo.sources"),
        ((instance,), "_kd_compile_module() missing 1 required positional argument: 'compile_info'"),
        ((instance, empty, empty), "_kd_compile_module() takes 2 positional arguments but 3 were given"),
    ]  # fmt: skip
    for args, message in cases:
        with pytest.raises(TypeError) as info:
            _kd_compile_module(*args)
        assert str(info.value) == message


def test_signature_and_doc():
    assert str(inspect.signature(_kd_compile_module)) == "(instance, compile_info)"
    assert _kd_compile_module.__doc__ == "Compiles a list of source modules into a compiled module."


# The lines of compiling no source.
COMPILE_LINE_COUNT = 5


@pytest.mark.parametrize("at", range(COMPILE_LINE_COUNT))
def test_a_raising_callable_at_any_compile_line_leaves_a_working_instance(at, capfd):
    instance, recorder = logged_instance()
    recorder.raise_at(at)
    with pytest.raises(BaseException) as info:
        _kd_compile_module(instance, kdpi.ModuleCompileInfo([]))
    assert type(info.value).__qualname__ == "PanicException"
    assert str(info.value) == "the logger's Python callable raised: ValueError: callable failed"
    recorder.hook = None
    recorder.take()
    data = _kd_compile_module(instance, kdpi.ModuleCompileInfo([]))
    assert recorder.take() == success_lines([], len(data))
    capfd.readouterr()
