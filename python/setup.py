# SPDX-License-Identifier: MIT
"""Build hook: puts the TamselCharts shared library and the `tamsel` tool
inside the package, and tags the wheel for the platform those two need.

The files come from, in this order:
  TAMSELCHARTS_LIBRARY / TAMSELCHARTS_TOOL
                           an already built libtamselcharts.so.1 / tamsel,
                           copied as is;
  a CMake build            of the `tamselcharts` and `tamsel` targets from the
                           source tree around this directory, in
                           TAMSELCHARTS_BUILD_DIR (default:
                           <repo>/build/python-lib), Release, the tool linked
                           with the C++ runtime inside it.
The wheel is tagged py3-none-PLATFORM: the package reaches the library
through ctypes and runs the tool as a program, so no CPython ABI is
involved.  PLATFORM is the oldest manylinux tag that the bundled files'
symbol versions allow (see README.md), or the plain platform tag when they
need a library outside the manylinux set.
The version is the C header's.  Everything else is declared in pyproject.toml.
"""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution
from wheel.bdist_wheel import bdist_wheel

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
LIBRARY_NAMES = ("libtamselcharts.so.1", "libtamselcharts.1.dylib", "tamselcharts.dll")
TOOL_NAME = "tamsel.exe" if sys.platform == "win32" else "tamsel"

# Libraries a manylinux wheel may expect the system to provide (PEP 600).
MANYLINUX_LIBRARIES = {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1", "libgcc_s.so.1",
                       "libstdc++.so.6", "ld-linux-x86-64.so.2", "ld-linux-aarch64.so.1"}
# The newest libstdc++ symbol version trusted on a system of the glibc the
# tag names: GCC 12's, the C++ runtime of Debian 12 (glibc 2.36).
NEWEST_GLIBCXX = (3, 4, 30)

_bundled = []  # the native files copied into the package by this build


def _run(command):
    print("+ " + " ".join(str(part) for part in command), flush=True)
    subprocess.run([str(part) for part in command], check=True)


def _given(variable):
    given = os.environ.get(variable)
    if not given:
        return None
    path = Path(given)
    if not path.is_file():
        sys.exit(f"{variable}={given} is not a file")
    return path


def _cmake_build(targets):
    if not (REPO / "CMakeLists.txt").is_file() or not (REPO / "include" / "TamselCharts.h").is_file():
        sys.exit(
            "The TamselCharts C sources are not next to this package "
            f"({REPO}); build the library and the tool and set TAMSELCHARTS_LIBRARY and TAMSELCHARTS_TOOL to them."
        )
    if shutil.which("cmake") is None:
        sys.exit("cmake is needed to build the TamselCharts library and tool "
                 "(Debian: apt-get install cmake g++ make libfmt-dev libcli11-dev)")
    build_dir = Path(os.environ.get("TAMSELCHARTS_BUILD_DIR", REPO / "build" / "python-lib"))
    jobs = os.environ.get("TAMSELCHARTS_BUILD_JOBS", "2")
    # No tests or benchmarks, so neither GoogleTest nor the benchmark library
    # is needed.  The tool carries its C++ runtime so that it runs on any
    # system with the C library the wheel's tag names.
    _run(["cmake", "-S", REPO, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
          "-DTAMSEL_BUILD_TESTS=OFF", f"-DTAMSEL_BUILD_TOOLS={'ON' if 'tamsel' in targets else 'OFF'}",
          "-DTAMSEL_BUILD_BENCHMARKS=OFF", "-DCMAKE_EXE_LINKER_FLAGS=-static-libstdc++ -static-libgcc"])
    _run(["cmake", "--build", build_dir, "--target", *targets, "-j", jobs])
    return build_dir


def _find(build_dir, names):
    for name in names:
        found = sorted(path for path in build_dir.rglob(name) if path.is_file())
        if found:
            return found[0]
    sys.exit(f"the build in {build_dir} made no {' or '.join(names)}")


def _native_files():
    library, tool = _given("TAMSELCHARTS_LIBRARY"), _given("TAMSELCHARTS_TOOL")
    targets = [name for name, path in (("tamselcharts", library), ("tamsel", tool)) if path is None]
    if targets:
        build_dir = _cmake_build(targets)
        library = library or _find(build_dir, LIBRARY_NAMES)
        tool = tool or _find(build_dir, (TOOL_NAME,))
    return library, tool


class BuildWithNativeFiles(build_py):
    def run(self):
        super().run()
        library, tool = _native_files()
        if getattr(self, "editable_mode", False):
            target = HERE / "tamselcharts"
        else:
            target = Path(self.build_lib) / "tamselcharts"
        (target / "bin").mkdir(parents=True, exist_ok=True)
        # copyfile follows the .so.1 -> .so.1.0.0 link: the package holds the file itself.
        shutil.copyfile(library, target / library.name)
        shutil.copyfile(tool, target / "bin" / TOOL_NAME)
        os.chmod(target / "bin" / TOOL_NAME, 0o755)
        _bundled[:] = [target / library.name, target / "bin" / TOOL_NAME]
        print(f"bundled {library} and {tool} in {target}", flush=True)
        # The licence travels with the library inside the wheel.
        if (REPO / "LICENSE").is_file() and not getattr(self, "editable_mode", False):
            shutil.copyfile(REPO / "LICENSE", target / "LICENSE")


def _version(text):
    return tuple(int(part) for part in text.split("."))


def _platform_tag(files, plain):
    """The oldest manylinux_X_Y tag whose C library has every symbol version
    the files need, or `plain` when that cannot be told or they need a
    library outside the manylinux set."""
    if not plain.startswith("linux_") or not files or shutil.which("objdump") is None:
        return plain
    glibc, glibcxx = (2, 17), (3, 4)
    for path in files:
        headers = subprocess.run(["objdump", "-p", str(path)], capture_output=True, text=True, check=True).stdout
        outside = set(re.findall(r"NEEDED\s+(\S+)", headers)) - MANYLINUX_LIBRARIES
        if outside:
            print(f"{path.name} needs {sorted(outside)}: the wheel is tagged {plain}", flush=True)
            return plain
        symbols = subprocess.run(["objdump", "-T", str(path)], capture_output=True, text=True, check=True).stdout
        for found in re.findall(r"\bGLIBC_([0-9.]+)", symbols):
            glibc = max(glibc, _version(found))
        for found in re.findall(r"\bGLIBCXX_([0-9.]+)", symbols):
            glibcxx = max(glibcxx, _version(found))
    if glibcxx > NEWEST_GLIBCXX:
        return plain
    return f"manylinux_{glibc[0]}_{glibc[1]}_{plain[len('linux_'):]}"


class BinaryDistribution(Distribution):
    """The package holds native files: built and installed as platform code."""

    def has_ext_modules(self):
        return True


class PlatformWheel(bdist_wheel):
    def get_tag(self):
        _, _, plain = super().get_tag()
        return "py3", "none", _platform_tag(_bundled, plain)


def _header_version():
    """The project's version, set in include/TamselCharts.h and nowhere else."""
    header = (REPO / "include" / "TamselCharts.h").read_text()
    parts = [re.search(rf"#define TAMSELCHARTS_VERSION_{part} (\d+)", header) for part in ("MAJOR", "MINOR", "PATCH")]
    if not all(parts):
        sys.exit(f"no TAMSELCHARTS_VERSION_ macros in {REPO / 'include' / 'TamselCharts.h'}")
    return ".".join(found[1] for found in parts)


setup(version=_header_version(), cmdclass={"build_py": BuildWithNativeFiles, "bdist_wheel": PlatformWheel}, distclass=BinaryDistribution)
