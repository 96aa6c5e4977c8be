"""kdpi: the Keldrane engine for Python.

The configuration records live in :mod:`kdpi.api` and are re-exported here; the native
functions are in :mod:`kdpi._sys`.
"""

from kdpi.api import (
    ApplicationInfo,
    InstanceCreateInfo,
    ModuleCompileInfo,
    ModuleSourceInfo,
    ModuleSourceType,
    VersionInfo,
)

__all__ = [
    "ApplicationInfo",
    "InstanceCreateInfo",
    "ModuleCompileInfo",
    "ModuleSourceInfo",
    "ModuleSourceType",
    "VersionInfo",
]
