"""Reading ModuleCompileInfo-shaped objects, through a probe module built from the readers."""

import pytest

import kdpi
from probe_support import build_probe

SOURCES = [
    "tests/python/compile_records_probe.cpp",
    "kdpi_sys/record_reading.cpp",
    "kdpi_sys/python_error.cpp",
]
FIELD = "TypeError: failed to extract field ModuleCompileInfo.sources"


@pytest.fixture(scope="module")
def read(tmp_path_factory):
    probe = build_probe("_compile_records_probe", SOURCES, tmp_path_factory.mktemp("probe"))
    return probe.read_compile_info


class Record:
    def __init__(self, **attributes):
        vars(self).update(attributes)


def source(source_type=kdpi.ModuleSourceType.Assembly, filename="a.kdasm", data="text"):
    return kdpi.ModuleSourceInfo(source_type, filename, data)


@pytest.mark.parametrize(
    "info, expected",
    [
        (kdpi.ModuleCompileInfo(), []),
        (kdpi.ModuleCompileInfo([source(), source(0, None, "ünï")]),
         [(0, "a.kdasm", "text"), (0, None, "ünï")]),
        (Record(sources=(Record(source_type=False, filename="f", data=""),)), [(0, "f", "")]),
    ],
)  # fmt: skip
def test_accepted_records(read, info, expected):
    assert read(info) == expected


@pytest.mark.parametrize(
    "info, message",
    [
        (Record(), "AttributeError: 'Record' object has no attribute 'sources'"),
        (kdpi.ModuleCompileInfo("text"), FIELD),
        (kdpi.ModuleCompileInfo({"a": source()}), FIELD),
        (kdpi.ModuleCompileInfo([Record(source_type=0, data="x")]), FIELD),
        (kdpi.ModuleCompileInfo([source(source_type=1)]), FIELD),
        (kdpi.ModuleCompileInfo([source(source_type=-1)]), FIELD),
        (kdpi.ModuleCompileInfo([source(source_type=2**32)]), FIELD),
        (kdpi.ModuleCompileInfo([source(source_type="0")]), FIELD),
        (kdpi.ModuleCompileInfo([source(filename=b"a")]), FIELD),
        (kdpi.ModuleCompileInfo([source(filename=1)]), FIELD),
        (kdpi.ModuleCompileInfo([source(data=None)]), FIELD),
        (kdpi.ModuleCompileInfo([source(data="\ud800")]), FIELD),
    ],
)
def test_records_that_cannot_be_read(read, info, message):
    with pytest.raises(TypeError) as error:
        read(info)
    assert str(error.value) == "Invalid ModuleCompileInfo: " + message
    assert error.value.__cause__ is None


def test_exceptions_that_are_not_errors_propagate_unchanged(read):
    interrupt = KeyboardInterrupt()

    class Interrupting:
        @property
        def data(self):
            raise interrupt

        source_type, filename = 0, None

    with pytest.raises(KeyboardInterrupt) as raised:
        read(kdpi.ModuleCompileInfo([Interrupting()]))
    assert raised.value is interrupt
