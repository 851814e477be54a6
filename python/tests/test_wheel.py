# SPDX-License-Identifier: MIT
"""The installed wheel: the package, its library and its tool come from the
installation (scripts/test-python.sh installs the wheel into a fresh venv
and runs every test against it), and the wheel's platform tag is the oldest
that its native files allow."""

import os
import platform
import re
import shutil
import subprocess
import sys
import zipfile
from pathlib import Path

import pytest
from conftest import REPO

import tamselcharts as tc

PACKAGE = Path(tc.__file__).resolve().parent
WHEEL = os.environ.get("TAMSELCHARTS_WHEEL")


def test_the_package_runs_from_its_installation_with_its_own_native_files():
    assert REPO / "python" not in PACKAGE.parents, f"tamselcharts imported from the source tree: {PACKAGE}"
    assert "site-packages" in PACKAGE.parts
    for name in ("libtamselcharts.so.1", "py.typed", "bin/tamsel"):
        assert (PACKAGE / name).is_file(), name
    if "TAMSELCHARTS_LIBRARY" not in os.environ:
        assert Path(tc.library_path).resolve() == PACKAGE / "libtamselcharts.so.1"
    # The console commands beside the interpreter run the bundled tool.
    for command in ("tamsel", "tamselcharts"):
        version = subprocess.run([str(Path(sys.executable).with_name(command)), "--version"], capture_output=True,
                                 text=True, check=True)
        assert re.fullmatch(r"tamsel \S+\n", version.stdout)


def glibc_needed(path):
    """The newest GLIBC_ symbol version a file needs; (0, 0) for a statically
    linked file, which needs none (objdump -T then finds no dynamic symbols)."""
    symbols = subprocess.run(["objdump", "-T", str(path)], capture_output=True, text=True).stdout
    return max((tuple(map(int, found.split("."))) for found in re.findall(r"\bGLIBC_([0-9.]+)", symbols)),
               default=(0, 0))


# The oldest C library a manylinux tag names (manylinux2014's), and the
# architecture part of the tag for each machine the wheels are built for.
OLDEST_TAGGED_GLIBC = (2, 17)
ARCHITECTURES = {"x86_64": "x86_64", "amd64": "x86_64", "i686": "i686", "i386": "i686", "aarch64": "aarch64"}


def release_wheel():
    """Whether the wheel under test is one of the manylinux2014 wheels
    scripts/release.sh builds (a static tool), not the one scripts/test-python.sh
    builds and python/README.md quotes."""
    return bool(WHEEL) and "manylinux2014_" in Path(WHEEL).name


@pytest.mark.skipif(not WHEEL, reason="TAMSELCHARTS_WHEEL names the wheel under test")
@pytest.mark.skipif(shutil.which("objdump") is None, reason="needs objdump")
def test_the_wheel_is_tagged_for_the_oldest_c_library_its_files_allow():
    name = Path(WHEEL).name
    architecture = ARCHITECTURES[platform.machine().lower()]
    tag = re.fullmatch(rf"tamselcharts-[0-9.]+-py3-none-manylinux_(\d+)_(\d+)_{architecture}"
                       rf"(\.manylinux2014_{architecture})?\.whl", name)
    assert tag, f"{name} is not a py3-none manylinux wheel for {architecture}"
    # The legacy name goes with glibc 2.17, and only with it.
    assert bool(tag[3]) == ((int(tag[1]), int(tag[2])) == OLDEST_TAGGED_GLIBC), name
    with zipfile.ZipFile(WHEEL) as wheel:
        modes = {info.filename: info.external_attr >> 16 for info in wheel.infolist()}
        assert "Root-Is-Purelib: false" in wheel.read(next(n for n in modes if n.endswith(".dist-info/WHEEL"))).decode()
    assert modes["tamselcharts/bin/tamsel"] & 0o111, "the tool is not executable in the wheel"
    assert "tamselcharts/libtamselcharts.so.1" in modes and "tamselcharts/py.typed" in modes
    needed = max(OLDEST_TAGGED_GLIBC, glibc_needed(PACKAGE / "libtamselcharts.so.1"),
                 glibc_needed(PACKAGE / "bin" / "tamsel"))
    assert (int(tag[1]), int(tag[2])) == needed
    for library in ("libtamselcharts.so.1", "bin/tamsel"):
        headers = subprocess.run(["objdump", "-p", str(PACKAGE / library)], capture_output=True, text=True).stdout
        assert not set(re.findall(r"NEEDED\s+(\S+)", headers)) - {
            "libc.so.6", "libm.so.6", "libgcc_s.so.1", "libstdc++.so.6", "ld-linux-x86-64.so.2", "libpthread.so.0",
            "ld-linux.so.2", "ld-linux-aarch64.so.1"
        }, library


def symbol_versions(path):
    """{symbol: version} of the dynamic symbols a native file imports or defines."""
    symbols = subprocess.run(["objdump", "-T", str(path)], capture_output=True, text=True, check=True).stdout
    return {found[2]: found[1] for found in re.finditer(r"\(?\b((?:GLIBC|GLIBCXX|CXXABI)_[0-9.]+)\)?\s+(\S+)$",
                                                        symbols, re.M)}


@pytest.mark.skipif(not WHEEL, reason="TAMSELCHARTS_WHEEL names the wheel under test")
@pytest.mark.skipif(shutil.which("objdump") is None, reason="needs objdump")
@pytest.mark.skipif(release_wheel(), reason="the README quotes the wheel scripts/test-python.sh builds; "
                    "scripts/test-install.sh checks the release wheels against its platforms section")
def test_the_readme_quotes_the_wheel_and_its_c_library_needs_as_built():
    readme = " ".join((REPO / "python" / "README.md").read_text().split())
    name = Path(WHEEL).name
    assert f"pip install {name}" in readme, f"the README's install line does not name {name}"
    platform = re.fullmatch(r"tamselcharts-[0-9.]+-py3-none-(\w+)\.whl", name)[1]
    assert re.search(r"hence `(\w+)`", readme)[1] == platform

    library, tool = PACKAGE / "libtamselcharts.so.1", PACKAGE / "bin" / "tamsel"
    for what, path, claim in (("library", library, r"the library needs `GLIBC_([0-9.]+)` \(`(\w+)`\)"),
                              ("tool", tool, r"the tool, .*? needs `GLIBC_([0-9.]+)` \(`(\w+)`")):
        quoted = re.search(claim, readme)
        assert quoted, f"the README says nothing of the {what}'s C library"
        assert ".".join(map(str, glibc_needed(path))) == quoted[1], f"the {what} needs another glibc"
        assert symbol_versions(path).get(quoted[2]) == f"GLIBC_{quoted[1]}", f"{quoted[2]} of the {what}"
    for symbol, version in re.findall(r"`(\w+)` is `((?:GLIBC|GLIBCXX|CXXABI)_[0-9.]+)`", readme):
        assert symbol_versions(tool).get(symbol, symbol_versions(library).get(symbol)) == version, symbol
    only = re.search(r"links nothing but `([^`]+)`", readme)[1]
    headers = subprocess.run(["objdump", "-p", str(library)], capture_output=True, text=True, check=True).stdout
    assert set(re.findall(r"NEEDED\s+(\S+)", headers)) == {only}
    # Every GLIBC version quoted is one the files really use.
    used = set(symbol_versions(library).values()) | set(symbol_versions(tool).values())
    assert set(re.findall(r"`((?:GLIBC|GLIBCXX|CXXABI)_[0-9.]+)`", readme)) <= used
