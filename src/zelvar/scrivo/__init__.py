"""Native spdlog loggers driven from Python."""

from .scrivo import Level

__all__ = ["Level"]
