"""Reading InstanceCreateInfo-shaped objects: accepted values, the errors of bad ones, the
opaque-object loaders of `ext`."""

import dataclasses
import io
import sys

import pytest

import kdpi
from instance_support import LOGGER, app_info, create_info, logger_config
from kdpi._sys import Instance, _kd_create_instance
from kdpi.api.ext import kdlog


def noop(record):
    pass


class Record:
    """Any object with the right attributes serves as a record."""

    def __init__(self, **attributes):
        vars(self).update(attributes)


class Raising:
    """An attribute that raises `error` when read."""

    def __init__(self, error):
        self.error = error

    def __get__(self, obj, owner=None):
        raise self.error


def with_app(**changes):
    return dataclasses.replace(
        create_info(), application_info=dataclasses.replace(app_info(), **changes)
    )


def with_version(**changes):
    return with_app(application_version=dataclasses.replace(kdpi.VersionInfo(1, 2, 3), **changes))


def with_create(**changes):
    return dataclasses.replace(create_info(), **changes)


def without(name):
    fields = vars(create_info()).copy()
    del fields[name]
    return Record(**fields)


MISSING = "AttributeError: 'Record' object has no attribute '{}'"
FIELD = "TypeError: failed to extract field InstanceCreateInfo.{}"
APP, NAMES, NODE, EXT = (
    FIELD.format(name) for name in ["application_info", "enabled_extensions", "node_id", "ext"]
)


def field_error(name):
    return "Invalid InstanceCreateInfo: " + FIELD.format(name)


class Subclassed(kdlog.LogCreateInfoEXT):
    pass


def same_name_elsewhere():
    """A class of the exact qualified name, defined here: accepted and read by attributes."""
    cls = type("LogCreateInfoEXT", (), {"level": 2, "callback": staticmethod(noop)})
    cls.__module__ = "kdpi.api.ext.kdlog"
    return cls()


@pytest.mark.parametrize(
    "info",
    [
        create_info(),
        create_info(node_id=4294967295),
        create_info(node_id=True),
        with_version(major=65535, minor=0, patch=65535),
        with_create(enabled_extensions=(LOGGER,), ext=(logger_config(noop),)),
        with_create(ext=[same_name_elsewhere()]),
        Record(
            application_info=Record(
                application_version=Record(major=1, minor=0, patch=0),
                application_name="app",
                engine_version=Record(major=0, minor=1, patch=2),
                engine_name="eng",
            ),
            enabled_extensions=[],
            node_id=0,
            ext=[],
        ),
    ],
    ids=["dataclasses", "max-node-id", "bool-node-id", "max-version", "tuples", "same-name",
         "plain-objects"],  # fmt: skip
)
def test_accepted_records(info):
    assert type(_kd_create_instance(info)) is Instance


@pytest.mark.parametrize(
    "info, message",
    [
        (without("application_info"), MISSING.format("application_info")),
        (without("enabled_extensions"), MISSING.format("enabled_extensions")),
        (without("node_id"), MISSING.format("node_id")),
        (without("ext"), MISSING.format("ext")),
        (with_create(application_info=Record()), APP),
        (with_version(patch=65536), APP),
        (with_version(major=-1), APP),
        (with_version(minor=1.0), APP),
        (with_app(application_name=b"app"), APP),
        (with_app(engine_name=None), APP),
        (with_app(engine_version=None), APP),
        (with_create(enabled_extensions=LOGGER), NAMES),
        (with_create(enabled_extensions={LOGGER}), NAMES),
        (with_create(enabled_extensions=iter([LOGGER])), NAMES),
        (with_create(enabled_extensions=[LOGGER, 1]), NAMES),
        (with_create(enabled_extensions=["\ud800"]), NAMES),
        (with_create(node_id=4294967296), NODE),
        (with_create(node_id=-1), NODE),
        (with_create(node_id="1"), NODE),
        (with_create(node_id=None), NODE),
        (with_create(ext="x"), EXT),
        (with_create(ext=None), EXT),
        (with_create(ext=[kdlog.LogCreateInfoEXT(5, noop)]), EXT),
        (with_create(ext=[kdlog.LogCreateInfoEXT(-1, noop)]), EXT),
        (with_create(ext=[kdlog.LogCreateInfoEXT(0, 42)]), EXT),
        (with_create(ext=[Record(level=0, callback=noop)]), EXT),
        (create_info, "AttributeError: 'function' object has no attribute 'application_info'"),
    ],
)
def test_records_that_cannot_be_read(info, message, capfd):
    with pytest.raises(TypeError) as error:
        _kd_create_instance(info)
    assert str(error.value) == "Invalid InstanceCreateInfo: " + message
    assert error.value.__cause__ is None
    capfd.readouterr()


@pytest.mark.parametrize("text", ["no node id today", "no node\0id today"])
def test_attribute_errors_other_than_missing_ones_pass_as_the_record_error(text):
    class Broken(Record):
        node_id = Raising(ValueError(text))

    fields = vars(create_info()).copy()
    del fields["node_id"]
    with pytest.raises(TypeError) as error:
        _kd_create_instance(Broken(**fields))
    assert str(error.value) == "Invalid InstanceCreateInfo: ValueError: " + text


@pytest.mark.parametrize("error_type", [KeyboardInterrupt, SystemExit])
@pytest.mark.parametrize("where", ["top-level", "nested", "conversion", "loader"])
def test_exceptions_that_are_not_errors_propagate_unchanged(error_type, where):
    error = error_type("stop")
    if where == "top-level":
        cls = type("Broken", (Record,), {"ext": Raising(error)})
        fields = vars(create_info()).copy()
        del fields["ext"]
        info = cls(**fields)
    elif where == "nested":
        cls = type("Version", (Record,), {"patch": Raising(error)})
        info = with_app(engine_version=cls(major=0, minor=1))
    elif where == "conversion":
        index = type("Index", (), {"__index__": lambda self: (_ for _ in ()).throw(error)})
        info = with_create(node_id=index())
    else:
        cls = type("LogCreateInfoEXT", (), {"level": Raising(error), "callback": noop})
        cls.__module__ = "kdpi.api.ext.kdlog"
        info = with_create(ext=[cls()])
    with pytest.raises(error_type) as raised:
        _kd_create_instance(info)
    assert raised.value is error


@pytest.mark.parametrize(
    "item, type_name",
    [
        (1, "int"),
        (Subclassed(0, noop), "test_records_reading.Subclassed"),
        (dataclasses.replace, "function"),
        (Record(), "test_records_reading.Record"),
    ],
)
def test_ext_items_without_loader_print_a_line_and_fail(capfd, item, type_name):
    first_calls = []
    with pytest.raises(TypeError) as error:
        _kd_create_instance(
            with_create(enabled_extensions=[LOGGER], ext=[logger_config(first_calls.append), item])
        )
    assert str(error.value) == field_error("ext")
    assert capfd.readouterr() == (
        f"No loader registered for type '{type_name}'. "
        'Possible types are: ["kdpi.api.ext.kdlog.LogCreateInfoEXT"]\n',
        "",
    )
    assert first_calls == []


def test_the_loader_refusal_is_written_past_sys_stdout(capfd, monkeypatch):
    replaced = io.StringIO()
    monkeypatch.setattr(sys, "stdout", replaced)
    with pytest.raises(TypeError):
        _kd_create_instance(with_create(ext=[1]))
    assert replaced.getvalue() == ""
    assert capfd.readouterr().out == (
        "No loader registered for type 'int'. "
        'Possible types are: ["kdpi.api.ext.kdlog.LogCreateInfoEXT"]\n'
    )
