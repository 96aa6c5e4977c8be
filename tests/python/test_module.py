"""Initialisation of kdpi._sys: members, one module object per process, exported symbols."""

import importlib
import importlib.util
import inspect
import os
import shutil
import subprocess
import sys

import pytest

import kdpi._sys


def test_members_in_order_with_signatures_and_docs():
    members = [name for name in vars(kdpi._sys) if not name.startswith("__")]
    assert members == [
        "Instance",
        "Module",
        "_kd_create_instance",
        "_kd_compile_module",
        "_kd_load_module",
        "factorial",
        "fibonacci",
    ]
    assert all(isinstance(getattr(kdpi._sys, name), type) for name in members[:2])
    expected = {
        "_kd_create_instance": (
            "(instance_create_info)",
            "Creates a new Keldrane instance from the validated Python dataclasses.",
        ),
        "_kd_compile_module": (
            "(instance, compile_info)",
            "Compiles a list of source modules into a compiled module.",
        ),
        "_kd_load_module": (
            "(instance, module_data)",
            "Loads a compiled module into the given instance.",
        ),
        "factorial": ("(n)", "Computes the factorial of a number."),
        "fibonacci": ("(n)", "Computes the fibonacci of a number."),
    }
    for name, (signature, doc) in expected.items():
        function = getattr(kdpi._sys, name)
        assert str(inspect.signature(function)) == signature
        assert function.__doc__ == doc
        assert function.__module__ == "kdpi._sys"
    assert kdpi._sys.__name__ == "kdpi._sys"
    assert kdpi._sys.__doc__ == "Wires the native functions of the Keldrane engine into kdpi._sys."


def test_initialising_again_hands_out_the_same_module_object():
    original = kdpi._sys
    try:
        del sys.modules["kdpi._sys"]
        again = importlib.import_module("kdpi._sys")
        assert again is original
        spec = importlib.util.find_spec("kdpi._sys")
        assert importlib.util.module_from_spec(spec) is original
    finally:
        sys.modules["kdpi._sys"] = original
    assert original.factorial(5) == 120


def test_a_second_interpreter_cannot_import_it(tmp_path):
    interpreters = pytest.importorskip("_xxsubinterpreters")
    result = tmp_path / "result.txt"
    package_dir = os.path.dirname(os.path.dirname(kdpi._sys.__file__))
    code = f"""
import sys
sys.path.insert(0, {package_dir!r})
try:
    import kdpi._sys
    outcome = "imported"
except BaseException as error:
    outcome = type(error).__name__ + ": " + str(error)
with open({str(result)!r}, "w") as out:
    out.write(outcome)
"""
    interpreter = interpreters.create()
    try:
        interpreters.run_string(interpreter, code)
    finally:
        interpreters.destroy(interpreter)
    assert result.read_text() == (
        "ImportError: kdpi._sys can be imported in only one interpreter per process; "
        "it was already initialised in another one"
    )
    assert kdpi._sys.fibonacci(10) == 55


def test_only_the_init_function_is_exported():
    nm = shutil.which("nm")
    if nm is None:
        pytest.skip("nm is not installed")
    listing = subprocess.run(
        [nm, "-D", "--defined-only", kdpi._sys.__file__],
        check=True,
        capture_output=True,
        text=True,
    ).stdout
    symbols = [line.split()[-1] for line in listing.splitlines() if line.strip()]
    assert symbols == ["PyInit__sys"]
