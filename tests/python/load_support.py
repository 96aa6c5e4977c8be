"""Helpers for the compile and load tests: the sample storages that the build makes from IR
built in memory (the kd_storage_fixtures program), a logger callable that records every line,
and the engine's compile and load lines."""

import functools
import os
import re
import subprocess
import tempfile
from pathlib import Path

import kdpi
import kdpi._sys
from instance_support import LOGGER, create_info, logger_config
from kdpi._sys import _kd_create_instance

TRACE, INFO, ERROR = 0, 2, 4


def build_dir():
    configured = os.environ.get("KDPI_BUILD_DIR")
    if configured:
        return Path(configured)
    # build/python/kdpi/_sys.*.so
    return Path(kdpi._sys.__file__).resolve().parents[2]


@functools.cache
def _storages():
    with tempfile.TemporaryDirectory() as directory:
        subprocess.run([str(build_dir() / "kd_storage_fixtures"), directory], check=True)
        return {path.stem: path.read_bytes() for path in Path(directory).iterdir()}


def storage(name):
    """The bytes of one sample storage of kdcore/tests/sample_storages.hpp, by the name that
    storage_fixtures.cpp gives it (e.g. two_functions, every_family)."""
    return _storages()[name]


class Recorder:
    """A logger callable: keeps every record, then calls `hook(record)` if one is set."""

    def __init__(self):
        self.records = []
        self.hook = None

    def __call__(self, record):
        self.records.append(record)
        if self.hook is not None:
            self.hook(record)

    def raise_at(self, at):
        """From now on, the callable raises ValueError("callable failed") at its line number
        `at` (counted from 0), once; the line is still recorded."""
        seen = 0

        def hook(record):
            nonlocal seen
            seen += 1
            if seen == at + 1:
                raise ValueError("callable failed")

        self.hook = hook

    def take(self):
        """(level, module, file, line, message) of each record since the last take."""
        lines = [
            (r["level"], r["module"], r["file"], r["line"], r["message"]) for r in self.records
        ]
        self.records.clear()
        return lines


def logged_instance(node_id=42):
    """An instance whose logger records at Trace level, with its creation lines taken."""
    recorder = Recorder()
    instance = _kd_create_instance(
        create_info([LOGGER], [logger_config(recorder)], node_id=node_id)
    )
    recorder.take()
    return instance, recorder


def base(line, level, text):
    return (level, "kdcore::base", "kdcore/src/base/mod", line, text)


def compiler(line, level, text):
    return (level, "kdcore::compiler", "kdcore/src/compiler", line, text)


def text_list(texts):
    return "[" + ", ".join('"' + t.replace("\\", "\\\\").replace('"', '\\"') + '"' for t in texts) + "]"


def read_lines(size, functions, files, stored_types, instance_types):
    """A load's lines up to the merge line."""
    return [
        compiler(154, TRACE, f"Deserializing compiled module storage ({size} bytes)"),
        compiler(284, TRACE, f"Loaded compiled module with {functions} functions from {size} bytes"),
        compiler(290, TRACE, "Module originally compiled from: " + ", ".join(files)),
        compiler(
            297,
            TRACE,
            f"Merging type registry ({stored_types} types) into instance's registry "
            f"({instance_types} types)",
        ),
    ]


def add_lines(labels, uuid, key):
    """add_module's lines of a module that loads."""
    return (
        [base(209, TRACE, "Verifying module before adding to instance")]
        + [base(213, TRACE, f"Type checking function '{label}'") for label in labels]
        + [
            base(
                252,
                INFO,
                f"Module with UUID {uuid} added to instance. Contains functions: "
                + text_list(labels),
            ),
            base(266, TRACE, f"ModuleContext inserted into InstanceContext with key ModuleKey({key})"),
        ]
    )


UUID_LINE = re.compile(r"Module with UUID ([0-9a-f-]{36}) added to instance\. .*")


def module_uuids(lines):
    """The module UUIDs of the "Module with UUID" lines, in order."""
    return [m.group(1) for m in (UUID_LINE.fullmatch(line[4]) for line in lines) if m]


def compile_info(*sources):
    """A ModuleCompileInfo of (filename, text) pairs."""
    return kdpi.ModuleCompileInfo(
        [kdpi.ModuleSourceInfo(kdpi.ModuleSourceType.Assembly, name, text) for name, text in sources]
    )

