"""The logger extension seen from Python: the callable and its dictionaries, level filtering,
standard-output lines, and callables that raise."""

import io
import re
import sys

import pytest

from instance_support import (
    LOGGER,
    create_info,
    creation_lines,
    logger_config,
    run_child,
    teardown_line,
)
from kdpi._sys import _kd_create_instance
from kdpi.api.ext.kdlog import LogLevelEXT

STDOUT_LINE = re.compile(
    r"\[(Trace|Debug|Info|Warn|Error)\] "
    r"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d(?:\.\d{3}|\.\d{6}|\.\d{9})?) - (.*)\n"
)
LEVEL_NAMES = ["Trace", "Debug", "Info", "Warn", "Error"]


def stdout_lines(text):
    """(level, message) of each standard-output line; every line must have the logger's form."""
    lines = text.splitlines(keepends=True)
    parsed = [STDOUT_LINE.fullmatch(line) for line in lines]
    assert all(parsed), lines
    return [(LEVEL_NAMES.index(m.group(1)), m.group(3)) for m in parsed]


def address_in(message):
    return re.fullmatch(r"Instance created successfully at (0x[0-9a-f]+)", message).group(1)


def test_without_configuration_every_line_goes_to_standard_output(capfd):
    instance = _kd_create_instance(create_info([LOGGER]))
    out = capfd.readouterr().out
    lines = stdout_lines(out)
    address = address_in(lines[0][1])
    assert lines == [(level, text) for level, text, _ in creation_lines(address)]
    del instance
    assert stdout_lines(capfd.readouterr().out) == [teardown_line(address)[:2]]


def test_standard_output_lines_bypass_sys_stdout(capfd, monkeypatch):
    replaced = io.StringIO()
    monkeypatch.setattr(sys, "stdout", replaced)
    instance = _kd_create_instance(create_info([LOGGER]))
    del instance
    assert replaced.getvalue() == ""
    assert len(stdout_lines(capfd.readouterr().out)) == 6


@pytest.mark.parametrize(
    "level, expected_levels",
    [
        (LogLevelEXT.Trace, [0, 2, 2, 2, 2, 0]),
        (LogLevelEXT.Debug, [2, 2, 2, 2]),
        (LogLevelEXT.Info, [2, 2, 2, 2]),
        (LogLevelEXT.Warn, []),
        (LogLevelEXT.Error, []),
        (3, []),
    ],
)
def test_messages_below_the_level_are_dropped(capfd, level, expected_levels):
    records = []
    instance = _kd_create_instance(create_info([LOGGER], [logger_config(records.append, level)]))
    del instance
    assert [r["level"] for r in records] == expected_levels
    assert capfd.readouterr() == ("", "")


def test_the_callables_result_is_ignored():
    records = []

    def callback(record):
        records.append(record)
        return "ignored"

    _kd_create_instance(create_info([LOGGER], [logger_config(callback)]))
    assert len(records) == 6


def test_a_logger_named_twice_with_one_configuration_prints_everything(capfd):
    records = []
    instance = _kd_create_instance(
        create_info([LOGGER, LOGGER], [logger_config(records.append)])
    )
    lines = stdout_lines(capfd.readouterr().out)
    address = address_in(lines[0][1])
    expected = creation_lines(address, enabled=[LOGGER, LOGGER], plugins=1)
    assert lines == [(level, text) for level, text, _ in expected]
    assert records == []
    del instance


def test_a_logger_named_twice_takes_the_next_configuration(capfd):
    first, second = [], []
    instance = _kd_create_instance(
        create_info(
            [LOGGER, LOGGER],
            [logger_config(first.append), logger_config(second.append, LogLevelEXT.Info)],
        )
    )
    del instance
    assert first == []
    assert [r["message"] for r in second][1] == (
        f'Loaded 1 extensions: ["{LOGGER}", "{LOGGER}"]'
    )
    assert [r["level"] for r in second] == [2, 2, 2, 2]
    assert capfd.readouterr() == ("", "")


def test_with_two_configurations_the_first_one_configures_the_logger():
    first, second = [], []
    _kd_create_instance(
        create_info([LOGGER], [logger_config(first.append), logger_config(second.append)])
    )
    assert (len(first), second) == (6, [])


# Callables that raise: the process must survive, so each case runs in a child interpreter.
RAISING_PRELUDE = """
import kdpi._sys, sys
from instance_support import LOGGER, create_info, logger_config

calls, reports = [], []
sys.unraisablehook = lambda u: reports.append(
    [u.exc_type.__module__ + "." + u.exc_type.__qualname__, str(u.exc_value),
     repr(u.exc_value.__cause__), u.object is kdpi._sys.Instance])

def raising(when):
    def callback(record):
        calls.append(record["message"])
        if when(record["message"]):
            raise ValueError(f"boom {len(calls)}")
    return callback

def create(when):
    try:
        instance = kdpi._sys._kd_create_instance(
            create_info([LOGGER], [logger_config(raising(when))]))
    except BaseException as error:
        return None, [type(error).__module__ + "." + type(error).__qualname__, str(error),
                      repr(error.__cause__), repr(error.__context__)]
    return instance, None
"""

PANIC = "pyo3_runtime.PanicException"
RAISED = "the logger's Python callable raised: ValueError: boom {}"


def run_raising(code):
    import pathlib

    support_dir = str(pathlib.Path(__file__).parent)
    status, result, stderr = run_child(
        f"import sys; sys.path.insert(0, {support_dir!r})\n" + RAISING_PRELUDE + code
    )
    assert status == 0, stderr
    return result, stderr


def test_a_raising_callable_ends_creation_with_panic_and_still_sees_the_teardown_line():
    result, stderr = run_raising(
        """
try:
    raise KeyError("being handled")
except KeyError:  # the panic's cause must not give way to the exception being handled
    instance, error = create(lambda message: message.startswith("Instance created"))
report({"error": error, "calls": [c.split(" at ")[0] for c in calls], "reports": reports,
        "instance": instance})
"""
    )
    assert result == {
        "error": [PANIC, RAISED.format(1), "ValueError('boom 1')", "ValueError('boom 1')"],
        "calls": ["Instance created successfully", "Tearing down InstanceContext"],
        "reports": [],
        "instance": None,
    }
    assert stderr == RAISED.format(1) + "\n"


def test_raising_again_during_that_teardown_goes_to_the_unraisable_hook():
    result, stderr = run_raising(
        """
instance, error = create(lambda message: True)
again, second_error = create(lambda message: False)
report({"error": error, "calls": len(calls), "reports": reports,
        "usable": type(again).__name__, "second_error": second_error})
"""
    )
    assert result == {
        "error": [PANIC, RAISED.format(1), "ValueError('boom 1')", "ValueError('boom 1')"],
        "calls": 2 + 5,
        "reports": [[PANIC, RAISED.format(2), "ValueError('boom 2')", True]],
        "usable": "Instance",
        "second_error": None,
    }
    assert stderr == RAISED.format(1) + "\n" + RAISED.format(2) + "\n"


def test_a_callable_raising_during_deallocation_goes_to_the_unraisable_hook():
    result, stderr = run_raising(
        """
instance, error = create(lambda message: message.startswith("Tearing down"))
del instance
report({"error": error, "calls": len(calls), "reports": reports})
"""
    )
    assert result == {
        "error": None,
        "calls": 6,
        "reports": [[PANIC, RAISED.format(6), "ValueError('boom 6')", True]],
    }
    assert stderr == RAISED.format(6) + "\n"


def test_a_pending_error_of_the_caller_survives_a_teardown_during_deallocation():
    result, _ = run_raising(
        """
seen = []
def callback(record):
    seen.append(sys.exc_info()[0] is None)
instance = kdpi._sys._kd_create_instance(create_info([LOGGER], [logger_config(callback)]))
try:
    try:
        raise KeyError("kept")
    finally:
        del instance
except KeyError as error:
    outcome = repr(error)
report({"outcome": outcome, "teardown_seen": len(seen)})
"""
    )
    assert result == {"outcome": "KeyError('kept')", "teardown_seen": 6}
