from .scrivo import Level as Level

__all__ = ["Level"]
