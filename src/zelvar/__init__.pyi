__version__: str

__all__ = ["__version__", "get_include"]

def get_include() -> str: ...
