"""Records that describe what to compile."""

from dataclasses import dataclass, field
from enum import IntEnum
from typing import Optional


class ModuleSourceType(IntEnum):
    """The language of a source; the engine reads it as an integer."""

    Assembly = 0
    """IR assembly text."""


@dataclass
class ModuleSourceInfo:
    """One source: its kind, an optional file name (shown in logs) and its whole text."""

    source_type: ModuleSourceType
    filename: Optional[str]
    data: str


@dataclass
class ModuleCompileInfo:
    """The sources of one module, compiled in list order."""

    sources: list[ModuleSourceInfo] = field(default_factory=list)
