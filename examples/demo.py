"""Shows what the kdpi._sys module offers so far: factorial and fibonacci over u64, and engine
instances with the logger extension.

Run from the build tree: PYTHONPATH=build/python python3 examples/demo.py
"""

import sys

import kdpi
from kdpi._sys import _kd_create_instance, factorial, fibonacci
from kdpi.api.ext.kdlog import LogCreateInfoEXT, LogLevelEXT

for n in (0, 1, 5, 10, 20):
    print(f"factorial({n}) = {factorial(n)}")
for n in (0, 1, 2, 10, 50, 93):
    print(f"fibonacci({n}) = {fibonacci(n)}")

# Results that do not fit in 64 bits are refused rather than wrapped.
for function, n in ((factorial, 21), (fibonacci, 94)):
    try:
        function(n)
    except OverflowError as error:
        print(f"{function.__name__}({n}) -> OverflowError: {error}")

# Arguments work by position or by keyword; non-integers are refused.
print("factorial(n=6) =", factorial(n=6))
try:
    fibonacci("ten")
except TypeError as error:
    print("fibonacci('ten') -> TypeError:", error)

# An engine instance with the logger extension: its lines go to a Python callable.
LOGGER = "__EXT_keldrane_logger"
LEVELS = {level.value: level.name for level in LogLevelEXT}


def show(record):
    print(f"  callback: {LEVELS[record['level']]:5} {record['module']} line {record['line']}: "
          f"{record['message']}")


app = kdpi.ApplicationInfo("demo", kdpi.VersionInfo(1, 0, 0), "keldrane", kdpi.VersionInfo(0, 1, 2))
print("Creating an instance with the logger at level Trace:")
logger = LogCreateInfoEXT(LogLevelEXT.Trace, show)
instance = _kd_create_instance(kdpi.InstanceCreateInfo(app, [LOGGER], node_id=7, ext=[logger]))
print("Dropping it (the teardown line is the last one):")
del instance

# Without a configuration object the logger prints every line on the process's standard output.
print("The same without a callable (lines written straight to file descriptor 1):")
sys.stdout.flush()  # keep this script's own buffered lines ahead of the logger's
instance = _kd_create_instance(kdpi.InstanceCreateInfo(app, [LOGGER]))
del instance

# Records that cannot be read, and unknown plugins, are refused with clear errors.
for info in (
    kdpi.InstanceCreateInfo(app, LOGGER),
    kdpi.InstanceCreateInfo(app, ["no_such_plugin"]),
):
    try:
        _kd_create_instance(info)
    except (TypeError, RuntimeError) as error:
        print(f"{type(error).__name__}: {error}")
