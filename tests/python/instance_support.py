"""Helpers shared by the instance, logger and record-reading tests."""

import json
import os
import subprocess
import sys
import textwrap

import kdpi
from kdpi.api.ext.kdlog import LogCreateInfoEXT, LogLevelEXT

LOGGER = "__EXT_keldrane_logger"


def app_info(name="app", version=(1, 2, 3), engine="eng", engine_version=(9, 8, 7)):
    return kdpi.ApplicationInfo(
        name, kdpi.VersionInfo(*version), engine, kdpi.VersionInfo(*engine_version)
    )


def create_info(enabled=(), ext=(), node_id=42, **app):
    return kdpi.InstanceCreateInfo(app_info(**app), list(enabled), node_id, list(ext))


def logger_config(callback, level=LogLevelEXT.Trace):
    return LogCreateInfoEXT(level, callback)


def creation_lines(address, enabled=(LOGGER,), plugins=1):
    """The five creation lines of an instance made by create_info(), as (level, message, line)."""
    names = "[" + ", ".join(f'"{n}"' for n in enabled) + "]"
    return [
        (0, f"Instance created successfully at {address}", 152),
        (2, "Application 'app' v1.2.3 using engine 'eng' v9.8.7 (node ID: 42)", 157),
        (2, f"Loaded {plugins} extensions: {names}", 166),
        (
            2,
            'kdcore version: v0.1.2 (features: ["default", "ext_all", "ext_kdlog", "pyo3"])'
            " -- aarch64-unknown-linux-gnu release",
            172,
        ),
        (2, "built from commit 00000000.. on branch '<unnamed>'", 180),
    ]


def teardown_line(address):
    return (0, f"Tearing down InstanceContext at {address}", 73)


def run_child(code, timeout=120):
    """Runs `code` in a fresh interpreter with this build of kdpi on its path. The code reports
    through `report(value)`, which the child prints as JSON on its last line. Returns
    (exit code, reported value or None, standard error); a child still running after `timeout`
    seconds is killed and the test fails."""
    prelude = textwrap.dedent(
        """
        import json, sys
        def report(value):
            sys.stdout.flush()
            print("\\nREPORT " + json.dumps(value), flush=True)
        """
    )
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    result = subprocess.run(
        [sys.executable, "-c", prelude + textwrap.dedent(code)],
        capture_output=True,
        text=True,
        env=env,
        timeout=timeout,
    )
    reported = None
    for line in result.stdout.splitlines():
        if line.startswith("REPORT "):
            reported = json.loads(line[len("REPORT ") :])
    return result.returncode, reported, result.stderr
