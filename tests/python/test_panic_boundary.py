"""The panic boundary: C++ exceptions become PanicException, or go to the unraisable hook.

The module offers no way to provoke a panic, so a small probe module is compiled from the same
boundary sources; it also carries a handle class made by the module's type helper.
"""

import sys

import pytest

from probe_support import build_probe

PROBE_SOURCES = [
    "tests/python/panic_probe.cpp",
    "kdpi_sys/panic_boundary.cpp",
    "kdpi_sys/python_error.cpp",
    "kdpi_sys/python_panic.cpp",
    "kdpi_sys/attached_thread.cpp",
    "kdpi_sys/module_member.cpp",
    "kdinstr/utils/panic.cpp",
]


@pytest.fixture(scope="module")
def probe(tmp_path_factory):
    return build_probe("_panic_probe", PROBE_SOURCES, tmp_path_factory.mktemp("probe"))


def test_panic_exception_type(probe):
    panic_type = probe.panic_type()
    assert panic_type is probe.panic_type()
    assert panic_type.__bases__ == (BaseException,)
    assert not issubclass(panic_type, Exception)
    assert (panic_type.__module__, panic_type.__qualname__) == ("pyo3_runtime", "PanicException")
    assert panic_type.__name__ == "PanicException"
    assert panic_type.__doc__


@pytest.mark.parametrize(
    "call, message",
    [
        (lambda p: p.panic("invariant broken: ünïcode"), "invariant broken: ünïcode"),
        (lambda p: p.throw_runtime_error("from the standard library"), "from the standard library"),
        (lambda p: p.throw_int(), "unknown C++ exception"),
    ],
)
def test_cpp_exceptions_become_panic_exception_and_are_printed_once(probe, capfd, call, message):
    with pytest.raises(BaseException) as info:
        call(probe)
    assert type(info.value) is probe.panic_type()
    assert info.value.args == (message,)
    assert capfd.readouterr().err == message + "\n"


def test_a_pending_python_error_becomes_the_panics_context(probe, capfd):
    with pytest.raises(BaseException) as info:
        probe.panic_over_pending("over pending")
    assert type(info.value) is probe.panic_type()
    assert str(info.value) == "over pending"
    context = info.value.__context__
    assert (type(context), str(context)) == (ValueError, "pending")
    capfd.readouterr()


def test_unraisable_reporting_keeps_the_callers_pending_error(probe, capfd, monkeypatch):
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    context = object()
    with pytest.raises(KeyError) as info:
        probe.panic_unraisable(context, "panic in dealloc")
    assert info.value.args == ("kept",)
    assert len(reports) == 1
    assert reports[0].exc_type is probe.panic_type()
    assert str(reports[0].exc_value) == "panic in dealloc"
    assert reports[0].object is context
    assert capfd.readouterr().err == "panic in dealloc\n"


def test_a_python_error_left_in_a_guarded_dealloc_is_reported(probe, monkeypatch):
    reports = []
    monkeypatch.setattr(sys, "unraisablehook", reports.append)
    assert probe.error_unraisable(int) is None
    assert [(r.exc_type, str(r.exc_value), r.object) for r in reports] == [
        (RuntimeError, "left behind", int)
    ]


def test_handle_types_have_bare_names_and_no_constructor(probe):
    handle = probe.Handle
    assert (handle.__name__, handle.__qualname__, repr(handle)) == ("Handle", "Handle", "<class 'Handle'>")
    assert handle.__bases__ == (object,)
    assert handle.__doc__ == "An opaque handle."
    assert "__dict__" not in vars(handle) and "__weakref__" not in vars(handle)
    with pytest.raises(TypeError) as info:
        handle()
    assert str(info.value) == "cannot create 'Handle' instances"
