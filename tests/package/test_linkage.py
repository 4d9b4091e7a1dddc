"""What the dynamic linker sees: sonames, needed libraries and search paths."""

import hashlib
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

import zelvar.scrivo.scrivo as scrivo
import zelvar.utils.halyard.halyard as halyard

pytestmark = pytest.mark.skipif(shutil.which("readelf") is None, reason="needs binutils' readelf")


def dynamic_section(path):
    out = subprocess.run(["readelf", "-d", str(path)], capture_output=True, text=True, check=True).stdout
    entries = {}
    for tag, value in re.findall(r"\((\w+)\)\s+\S+[^\[]*\[(.*)\]", out):
        entries.setdefault(tag, []).append(value)
    return entries


def test_libscrivo_soname_and_location():
    lib = Path(scrivo.__file__).parent / "libscrivo.so.0"
    assert lib.is_file()
    assert dynamic_section(lib)["SONAME"] == ["libscrivo.so.0"]


@pytest.mark.parametrize(
    "module, search_path",
    [
        (scrivo, "$ORIGIN"),
        (halyard, "$ORIGIN:$ORIGIN/../../scrivo"),
    ],
)
def test_module_needs_libscrivo_through_search_path(module, search_path):
    dyn = dynamic_section(module.__file__)
    assert "libscrivo.so.0" in dyn["NEEDED"]
    assert (dyn.get("RUNPATH") or dyn.get("RPATH")) == [search_path]


def symbols(path, which):
    out = subprocess.run(["nm", "-D", which, str(path)], capture_output=True, text=True, check=True).stdout
    return {line.split()[-1] for line in out.splitlines() if line.strip()}


def test_halyard_calls_nothing_in_libscrivo():
    lib = Path(scrivo.__file__).parent / "libscrivo.so.0"
    exported = symbols(lib, "--defined-only")
    assert any("LoggerFactory" in s for s in exported)  # the check below looks at the right library
    assert not symbols(halyard.__file__, "--undefined-only") & exported


def test_spdlog_and_fmt_hidden_inside():
    """spdlog and fmt are compiled into libscrivo.so.0 in every build: nothing links a system copy, none
    of their symbols is exported, and their headers ship under get_include()."""
    lib = Path(scrivo.__file__).parent / "libscrivo.so.0"
    linked = {name.split(".so")[0] for name in dynamic_section(lib)["NEEDED"]} & {"libspdlog", "libfmt"}
    out = subprocess.run(
        ["nm", "-D", "-C", "--defined-only", str(lib)], capture_output=True, text=True, check=True
    ).stdout
    theirs = [line for line in out.splitlines() if re.match(r"\S+ \S (?:[\w ]+ for )?(?:spdlog|fmt)::", line)]
    assert not linked
    assert not theirs, theirs[:5]
    include = Path(scrivo.__file__).parents[1] / "include"
    assert all(
        (include / name).is_file() for name in ("fmt/core.h", "fmt/LICENSE", "spdlog/spdlog.h", "spdlog/LICENSE")
    )


def test_shipped_headers_are_the_carried_releases():
    """Every header under third_party ships under get_include() byte for byte (the manifest's sums)."""
    manifest = Path(__file__).resolve().parents[2] / "third_party" / "MANIFEST.sha256"
    include = Path(scrivo.__file__).parents[1] / "include"
    expected = {}
    for line in manifest.read_text().splitlines():
        digest, path = line.split("  ", 1)
        rest = path.partition("/")[2]
        if rest.startswith("include/"):
            expected[rest.removeprefix("include/")] = digest
    shipped = {name: hashlib.sha256((include / name).read_bytes()).hexdigest() for name in expected}
    assert len(expected) > 50
    assert shipped == expected


# What the manylinux policies let a wheel's binaries need from the system (a subset of their list:
# the C and C++ runtimes, the dynamic loader, and zlib, which compressed rotation uses); anything else
# would have to be carried.
SYSTEM_LIBRARIES = {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1", "libstdc++.so.6"}
SYSTEM_LIBRARIES |= {"libgcc_s.so.1", "libz.so.1"}


def loader_name(path):
    """The file name of the dynamic loader an executable asks for (its name differs per architecture)."""
    out = subprocess.run(["readelf", "-l", str(path)], capture_output=True, text=True, check=True).stdout
    return Path(re.search(r"Requesting program interpreter: ([^\]]+)\]", out)[1]).name


def test_libscrivo_needs_only_what_the_platform_tag_allows():
    needed = set(dynamic_section(Path(scrivo.__file__).parent / "libscrivo.so.0")["NEEDED"])
    needed = {n for n in needed if not n.startswith(("libasan", "libubsan", "libtsan"))}  # a sanitizer build's
    allowed = SYSTEM_LIBRARIES | {loader_name(sys.executable)}
    assert "libz.so.1" in needed
    assert needed <= allowed, needed - allowed


# The newest symbol version of each library that the wheels' platform tag (manylinux_2_34: glibc 2.34,
# GCC 11's libstdc++) lets a binary need.
TAG_LIMITS = {"GLIBC": (2, 34), "GLIBCXX": (3, 4, 29), "CXXABI": (1, 3, 13)}
NATIVE_FILES = sorted(p for p in Path(scrivo.__file__).parents[1].rglob("*.so*") if p.is_file())


@pytest.mark.parametrize("path", NATIVE_FILES, ids=lambda p: p.name.split(".")[0])
def test_symbol_versions_within_the_platform_tag(path):
    out = subprocess.run(["objdump", "-p", str(path)], capture_output=True, text=True, check=True).stdout
    needed = re.findall(r"^\s+0x[0-9a-f]+ 0x[0-9a-f]+ \d+ ([A-Z]+)_([\d.]+)$", out, re.M)
    assert needed  # the pattern reads this objdump's layout
    newest = {}
    for family, version in needed:
        if family in TAG_LIMITS:
            newest[family] = max(newest.get(family, ()), tuple(map(int, version.split("."))))
    assert newest  # (a sanitizer build takes even its C library calls through the sanitizer runtime)
    too_new = {f: v for f, v in newest.items() if v > TAG_LIMITS[f]}
    assert not too_new, too_new


def test_version_is_the_distribution_version():
    import importlib.metadata

    import zelvar

    assert zelvar.__version__ == importlib.metadata.version("zelvar")
