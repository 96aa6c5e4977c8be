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
    assert any(line.endswith("with key ModuleKey(1v1)") for line in lines)
    assert any(line.endswith("with key ModuleKey(2v1)") for line in lines)
    assert (
        "  RuntimeError: Failed to compile module: The internal function `abs` was referenced "
        "but not defined within the module as either an internal or external function."
    ) in lines
    assert "Tearing down InstanceContext at 0x" in lines[-2]
