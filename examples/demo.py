"""The main road of kdpi._sys: compile IR assembly sources into compiled module storage, load it
into an engine instance, and watch every step in the engine's log.

Run from the repository after building: PYTHONPATH=build/python /usr/bin/python3 examples/demo.py
"""

from pathlib import Path

import kdpi
from kdpi._sys import _kd_compile_module, _kd_create_instance, _kd_load_module
from kdpi.api.ext.kdlog import LogCreateInfoEXT, LogLevelEXT

HERE = Path(__file__).resolve().parent
LOGGER = "__EXT_keldrane_logger"


def show(record):
    """The logger's callable: one dictionary per engine log line."""
    level = LogLevelEXT(record["level"]).name
    print(f"  [{level:5}] {record['module']} ({record['file']}:{record['line']}) {record['message']}")


def source(name):
    return kdpi.ModuleSourceInfo(kdpi.ModuleSourceType.Assembly, name, (HERE / name).read_text())


print("Creating an instance with the logger at level Trace:")
app = kdpi.ApplicationInfo("demo", kdpi.VersionInfo(1, 0, 0), "keldrane", kdpi.VersionInfo(0, 1, 2))
instance = _kd_create_instance(
    kdpi.InstanceCreateInfo(
        app, [LOGGER], node_id=7, ext=[LogCreateInfoEXT(LogLevelEXT.Trace, show)]
    )
)

print("\nCompiling math.kdasm, then main.kdasm (which calls abs from math.kdasm):")
storage = _kd_compile_module(
    instance, kdpi.ModuleCompileInfo([source("math.kdasm"), source("main.kdasm")])
)
magic, rest = storage[:8], storage[8:]
requirement, body = rest.split(b"\0", 1)
print(f"\nCompiled module storage: {len(storage)} bytes")
print(f"  magic {magic!r}, version requirement {requirement.decode()!r},")
print(f"  then a zstd frame of {len(body)} bytes starting with {body[:4].hex(' ')}")

print("\nLoading it twice (each load is a module of its own, with its own key and UUID):")
first = _kd_load_module(instance, storage)
second = _kd_load_module(instance, storage)
print(f"  handles: {type(first).__name__}, {type(second).__name__}")

print("\nCompiling the two sources in the wrong order (abs is not defined yet):")
try:
    _kd_compile_module(
        instance, kdpi.ModuleCompileInfo([source("main.kdasm"), source("math.kdasm")])
    )
except RuntimeError as error:
    print(f"  RuntimeError: {error}")

print("\nDropping the instance (the Module handles may outlive it):")
del instance
print(f"  still here: {type(first).__name__}, {type(second).__name__}")
