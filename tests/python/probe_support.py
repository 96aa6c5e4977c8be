"""Building throw-away extension modules that drive kdpi_sys helpers directly, for behaviour the
module itself offers no way to reach."""

import importlib.util
import shutil
import subprocess
import sysconfig
import warnings
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]


def build_probe(name, sources, out_dir):
    """Compiles `sources` (paths relative to the repository) into extension module `name` in
    `out_dir` and imports it; warnings during the import are errors."""
    compiler = shutil.which("g++")
    if compiler is None:
        pytest.skip("g++ is needed to build the probe module")
    out = Path(out_dir) / (name + sysconfig.get_config_var("EXT_SUFFIX"))
    command = [
        compiler, "-std=c++23", "-shared", "-fPIC", "-O0", "-Wall", "-Wextra", "-Werror",
        f"-I{REPO}", f"-I{sysconfig.get_paths()['include']}",
        *(str(REPO / source) for source in sources), "-lfmt", "-o", str(out),
    ]  # fmt: skip
    subprocess.run(command, check=True)
    spec = importlib.util.spec_from_file_location(name, out)
    module = importlib.util.module_from_spec(spec)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        spec.loader.exec_module(module)
    return module
