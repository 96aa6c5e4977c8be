"""Records that describe an engine instance to create."""

from dataclasses import dataclass, field


@dataclass
class VersionInfo:
    """A version as major.minor.patch; each part must fit in 16 bits."""

    major: int
    minor: int
    patch: int


@dataclass
class ApplicationInfo:
    """Who asks for the instance: the application and the engine it expects."""

    application_name: str
    application_version: VersionInfo
    engine_name: str
    engine_version: VersionInfo


@dataclass
class InstanceCreateInfo:
    """Everything an instance is created from.

    ``enabled_extensions`` names the engine extensions to enable, in order; ``ext`` holds their
    configuration objects (for example :class:`kdpi.api.ext.kdlog.LogCreateInfoEXT`);
    ``node_id`` must fit in 32 bits.
    """

    application_info: ApplicationInfo
    enabled_extensions: list[str] = field(default_factory=list)
    node_id: int = 0
    ext: list[object] = field(default_factory=list)
