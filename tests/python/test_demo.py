"""The README's demo runs to its end and shows the main road."""

import os
import subprocess
import sys
from pathlib import Path


DEMO = Path(__file__).resolve().parents[2] / "examples" / "demo.py"


def test_the_demo_runs():
    env = dict(os.environ)
    env["PYTHONPATH"] = os.pathsep.join(p for p in sys.path if p)
    result = subprocess.run(
        [sys.executable, str(DEMO)], capture_output=True, text=True, env=env, timeout=60
    )
    assert result.returncode == 0, result.stderr
    lines = result.stdout.splitlines()
    for key in ("1v1", "2v1"):
        assert (
            "  [Trace] kdcore::base (kdcore/src/base/mod:266) ModuleContext inserted into "
            f"InstanceContext with key ModuleKey({key})"
        ) in lines
    assert (
        "  RuntimeError: Failed to compile module: The internal function `abs` was referenced "
        "but not defined within the module as either an internal or external function."
    ) in lines
    address = lines[1].rsplit(" ", 1)[1]
    assert lines[1] == (
        f"  [Trace] kdcore::base (kdcore/src/base/mod:152) Instance created successfully at {address}"
    )
    assert lines[-2] == (
        f"  [Trace] kdcore::base (kdcore/src/base/mod:73) Tearing down InstanceContext at {address}"
    )
