"""Configuration of the logger extension ("__EXT_keldrane_logger")."""

from dataclasses import dataclass
from enum import IntEnum
from typing import Any, Callable


class LogLevelEXT(IntEnum):
    """Severity of a log message; the logger passes on messages at or above its level."""

    Trace = 0
    Debug = 1
    Info = 2
    Warn = 3
    Error = 4


@dataclass
class LogCreateInfoEXT:
    """The logger's configuration, put in ``InstanceCreateInfo.ext``.

    ``callback`` is called with one dictionary per message (keys "level", "timepoint",
    "message", "module", "file", "line", "thread_name"); its result is ignored. The engine
    recognises this class by its exact name, so subclasses are not accepted.
    """

    level: LogLevelEXT
    callback: Callable[[dict[str, Any]], object]
