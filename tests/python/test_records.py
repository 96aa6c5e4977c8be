"""The package's configuration records: the attribute names and values the engine reads."""

import dataclasses
import operator

import kdpi
import kdpi.api
from kdpi.api.ext import kdlog


def test_record_fields():
    expected = {
        kdpi.VersionInfo: ["major", "minor", "patch"],
        kdpi.ApplicationInfo: [
            "application_name",
            "application_version",
            "engine_name",
            "engine_version",
        ],
        kdpi.InstanceCreateInfo: ["application_info", "enabled_extensions", "node_id", "ext"],
        kdpi.ModuleSourceInfo: ["source_type", "filename", "data"],
        kdpi.ModuleCompileInfo: ["sources"],
        kdlog.LogCreateInfoEXT: ["level", "callback"],
    }
    for record, fields in expected.items():
        assert [f.name for f in dataclasses.fields(record)] == fields, record
    for name in kdpi.api.__all__:
        assert getattr(kdpi, name) is getattr(kdpi.api, name)


def test_defaults_are_fresh_lists():
    app = kdpi.ApplicationInfo("app", kdpi.VersionInfo(1, 0, 0), "eng", kdpi.VersionInfo(0, 1, 2))
    first, second = kdpi.InstanceCreateInfo(app), kdpi.InstanceCreateInfo(app)
    assert (first.enabled_extensions, first.node_id, first.ext) == ([], 0, [])
    assert first.ext is not second.ext
    assert kdpi.ModuleCompileInfo().sources == []


def test_enumerations_read_as_integers():
    assert [(m.name, operator.index(m)) for m in kdpi.ModuleSourceType] == [("Assembly", 0)]
    assert [(m.name, operator.index(m)) for m in kdlog.LogLevelEXT] == [
        ("Trace", 0),
        ("Debug", 1),
        ("Info", 2),
        ("Warn", 3),
        ("Error", 4),
    ]


def test_logger_configuration_has_the_name_its_loader_is_registered_for():
    cls = kdlog.LogCreateInfoEXT
    assert f"{cls.__module__}.{cls.__qualname__}" == "kdpi.api.ext.kdlog.LogCreateInfoEXT"
