"""Instance handles: the classes, creation and its failures, teardown when the last reference
goes."""

import gc
import re
import sys

import pytest

from instance_support import LOGGER, create_info, creation_lines, logger_config, teardown_line
from kdpi._sys import Instance, Module, _kd_create_instance


def messages(records):
    return [(r["level"], r["message"], r["line"]) for r in records]


def address_of(records):
    match = re.fullmatch(r"Instance created successfully at (0x[0-9a-f]+)", records[0]["message"])
    assert match, records[0]["message"]
    return match.group(1)


@pytest.mark.parametrize(
    "cls, doc",
    [
        (Instance, "Opaque handle to a running Keldrane instance exposed to Python callers."),
        (Module, "Opaque handle to a keldrane module"),
    ],
)
def test_handle_classes(cls, doc):
    name = cls.__name__
    assert (cls.__qualname__, repr(cls), cls.__doc__) == (name, f"<class '{name}'>", doc)
    assert cls.__bases__ == (object,)
    assert "__dict__" not in vars(cls) and "__weakref__" not in vars(cls)
    assert not cls.__flags__ & (1 << 8)  # not an immutable type
    with pytest.raises(TypeError) as info:
        cls()
    assert str(info.value) == f"cannot create '{name}' instances"


def test_an_instance_without_extensions_shows_nothing(capfd):
    instance = _kd_create_instance(create_info())
    assert type(instance) is Instance
    with pytest.raises(AttributeError):
        instance.anything = 1
    del instance
    assert capfd.readouterr() == ("", "")


def test_arguments_by_position_or_keyword():
    assert type(_kd_create_instance(instance_create_info=create_info())) is Instance
    with pytest.raises(TypeError) as info:
        _kd_create_instance()
    assert str(info.value) == (
        "_kd_create_instance() missing 1 required positional argument: 'instance_create_info'"
    )


def test_creation_and_teardown_lines_reach_the_callable():
    records = []
    instance = _kd_create_instance(create_info([LOGGER], [logger_config(records.append)]))
    address = address_of(records)
    assert messages(records) == creation_lines(address)
    del instance
    assert messages(records) == creation_lines(address) + [teardown_line(address)]
    for record in records:
        assert list(record) == [
            "level", "timepoint", "message", "module", "file", "line", "thread_name",
        ]  # fmt: skip
        assert (record["module"], record["file"], record["thread_name"]) == (
            "kdcore::base",
            "kdcore/src/base/mod",
            None,
        )
        assert record["timepoint"].tzinfo is None
    stamps = [r["timepoint"] for r in records]
    assert stamps == sorted(stamps)


def test_teardown_waits_for_the_last_reference():
    records = []
    instance = _kd_create_instance(create_info([LOGGER], [logger_config(records.append)]))
    other = instance
    del instance
    gc.collect()
    assert len(records) == 5
    del other
    assert messages(records)[-1] == teardown_line(address_of(records))


def test_the_callable_is_released_with_its_instance_or_when_no_logger_takes_it():
    def callback(record):
        pass

    held = sys.getrefcount(callback)
    instance = _kd_create_instance(create_info([LOGGER], [logger_config(callback)]))
    assert sys.getrefcount(callback) == held + 1
    del instance
    assert sys.getrefcount(callback) == held
    # Not enabled: the configuration object is read, then dropped when creation returns.
    instance = _kd_create_instance(create_info([], [logger_config(callback)]))
    assert sys.getrefcount(callback) == held
    del instance


@pytest.mark.parametrize(
    "enabled, name",
    [
        (["nope"], "nope"),
        ([LOGGER, "nope"], "nope"),
        ([LOGGER.upper()], LOGGER.upper()),
        ([""], ""),
        (["a\0b"], "a\0b"),
    ],
)
def test_an_unknown_plugin_fails_creation_silently(capfd, enabled, name):
    records = []
    with pytest.raises(RuntimeError) as info:
        _kd_create_instance(create_info(enabled, [logger_config(records.append)]))
    assert str(info.value) == f"Failed to create instance: Plugin with name '{name}' not found"
    assert records == []
    assert capfd.readouterr() == ("", "")
