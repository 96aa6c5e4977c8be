"""Configuration records handed to the engine; it reads them by attribute name."""

from kdpi.api.compiler import ModuleCompileInfo, ModuleSourceInfo, ModuleSourceType
from kdpi.api.instance import ApplicationInfo, InstanceCreateInfo, VersionInfo

__all__ = [
    "ApplicationInfo",
    "InstanceCreateInfo",
    "ModuleCompileInfo",
    "ModuleSourceInfo",
    "ModuleSourceType",
    "VersionInfo",
]
