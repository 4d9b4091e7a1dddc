__test__: dict[str, object]
