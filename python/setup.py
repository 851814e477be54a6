# SPDX-License-Identifier: MIT
"""Build hook: puts the TamselCharts shared library and the `tamsel` tool
inside the package, and tags the wheel for the platform those two need.

The files come from, in this order:
  TAMSELCHARTS_LIBRARY / TAMSELCHARTS_TOOL
                           an already built libtamselcharts.so.1 (or
                           TamselCharts.dll) / tamsel (or tamsel.exe), copied
                           as is; TAMSELCHARTS_TOOL=none leaves the tool out
                           (its console command then says so);
  a CMake build            of the `tamselcharts` and `tamsel` targets from the
                           source tree around this directory, in
                           TAMSELCHARTS_BUILD_DIR (default:
                           <repo>/build/python-lib), Release, the tool linked
                           with the C++ runtime inside it.
The wheel is tagged py3-none-PLATFORM: the package reaches the library
through ctypes and runs the tool as a program, so no CPython ABI is
involved.  PLATFORM is read from the bundled files themselves, so that a
wheel made on one machine for another (scripts/release.sh makes them all on
x86-64 Linux) is tagged for the files it holds: a DLL's machine gives
win_amd64 or win32; an ELF file's machine gives the architecture, and the
newest GLIBC_ symbol version among the files the oldest manylinux tag
(manylinux2014 for glibc 2.17 and older, see README.md), or the plain linux_
tag when they need a library outside the manylinux set.
The sdist carries the C sources the CMake build needs (SOURCE_PARTS) in
its csrc/ directory, so that pip builds a wheel from it where no wheel fits.
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
from setuptools.command.sdist import sdist
from setuptools.dist import Distribution
from wheel.bdist_wheel import bdist_wheel

HERE = Path(__file__).resolve().parent
# The C sources: the repository around this directory, or inside an sdist
# their copy beside this file.
REPO = HERE / "csrc" if (HERE / "csrc" / "CMakeLists.txt").is_file() else HERE.parent
# What the CMake build of the library and the tool reads, copied into the sdist.
SOURCE_PARTS = ("CMakeLists.txt", "LICENSE", "cmake", "include", "src", "tools", "examples", "packaging")
LIBRARY_NAMES = ("libtamselcharts.so.1", "libtamselcharts.1.dylib", "TamselCharts.dll")
TOOL_NAME = "tamsel.exe" if sys.platform == "win32" else "tamsel"
# ELF e_machine values and the architecture part of a Linux platform tag.
ELF_ARCHITECTURES = {3: "i686", 62: "x86_64", 183: "aarch64"}
# PE machine values and the Windows platform tag.
PE_PLATFORMS = {0x14C: "win32", 0x8664: "win_amd64"}

# Libraries a manylinux wheel may expect the system to provide (PEP 600).
MANYLINUX_LIBRARIES = {"libc.so.6", "libm.so.6", "libpthread.so.0", "libdl.so.2", "librt.so.1", "libgcc_s.so.1",
                       "libstdc++.so.6", "ld-linux-x86-64.so.2", "ld-linux-aarch64.so.1", "ld-linux.so.2"}
# manylinux2014 (PEP 599) is glibc 2.17's tag; pip before 20.3 knows only
# that older name, so a wheel that fits carries both.
MANYLINUX2014_GLIBC = (2, 17)
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
    """The library and the tool to bundle; the tool is None when
    TAMSELCHARTS_TOOL=none leaves it out."""
    without_tool = os.environ.get("TAMSELCHARTS_TOOL") == "none"
    library = _given("TAMSELCHARTS_LIBRARY")
    tool = None if without_tool else _given("TAMSELCHARTS_TOOL")
    targets = [name for name, path in (("tamselcharts", library), ("tamsel", tool))
               if path is None and not (name == "tamsel" and without_tool)]
    if targets:
        build_dir = _cmake_build(targets)
        library = library or _find(build_dir, LIBRARY_NAMES)
        if not without_tool:
            tool = tool or _find(build_dir, (TOOL_NAME,))
    return library, tool


def _tool_name(library):
    # The tool is the library's platform's: a Windows wheel carries tamsel.exe.
    return "tamsel.exe" if library.name.endswith(".dll") else "tamsel"


class BuildWithNativeFiles(build_py):
    def run(self):
        super().run()
        library, tool = _native_files()
        if getattr(self, "editable_mode", False):
            target = HERE / "tamselcharts"
        else:
            target = Path(self.build_lib) / "tamselcharts"
        # A build directory used before for another platform keeps none of
        # its native files: each wheel holds only the files it is tagged for.
        for name in LIBRARY_NAMES:
            (target / name).unlink(missing_ok=True)
        shutil.rmtree(target / "bin", ignore_errors=True)
        # copyfile follows the .so.1 -> .so.1.0.0 link: the package holds the file itself.
        shutil.copyfile(library, target / library.name)
        _bundled[:] = [target / library.name]
        if tool is not None:
            (target / "bin").mkdir(parents=True, exist_ok=True)
            bundled_tool = target / "bin" / _tool_name(library)
            shutil.copyfile(tool, bundled_tool)
            os.chmod(bundled_tool, 0o755)
            _bundled.append(bundled_tool)
        print(f"bundled {library} and {tool or 'no tool'} in {target}", flush=True)
        # The licence travels with the library inside the wheel.
        if (REPO / "LICENSE").is_file() and not getattr(self, "editable_mode", False):
            shutil.copyfile(REPO / "LICENSE", target / "LICENSE")


def _version(text):
    return tuple(int(part) for part in text.split("."))


def _pe_platform(path):
    """win_amd64 or win32 from a DLL's or EXE's PE header, None for other files."""
    data = path.read_bytes()
    if data[:2] != b"MZ" or len(data) < 0x40:
        return None
    header = int.from_bytes(data[0x3C:0x40], "little")
    if data[header:header + 4] != b"PE\0\0":
        return None
    machine = int.from_bytes(data[header + 4:header + 6], "little")
    if machine not in PE_PLATFORMS:
        sys.exit(f"{path.name} is built for PE machine {machine:#x}, for which no wheel platform is known")
    return PE_PLATFORMS[machine]


def _elf_architecture(path):
    """x86_64, i686 or aarch64 from an ELF file's header, None for other files."""
    data = path.read_bytes()[:20]
    if data[:4] != b"\x7fELF":
        return None
    machine = int.from_bytes(data[18:20], "little" if data[5] == 1 else "big")
    if machine not in ELF_ARCHITECTURES:
        sys.exit(f"{path.name} is built for ELF machine {machine}, for which no wheel platform is known")
    return ELF_ARCHITECTURES[machine]


def _elf_needs(path):
    """(libraries the file links, GLIBC_ versions, GLIBCXX_ versions), by
    readelf, which reads every architecture's files (objdump only its own)."""
    dynamic = subprocess.run(["readelf", "-d", "-W", str(path)], capture_output=True, text=True, check=True).stdout
    symbols = subprocess.run(["readelf", "--dyn-syms", "-W", str(path)], capture_output=True, text=True,
                             check=True).stdout
    libraries = set(re.findall(r"\(NEEDED\)\s+Shared library: \[([^]]+)\]", dynamic))
    glibc = {_version(found) for found in re.findall(r"@GLIBC_([0-9.]+)", symbols)}
    glibcxx = {_version(found) for found in re.findall(r"@GLIBCXX_([0-9.]+)", symbols)}
    return libraries, glibc, glibcxx


def _platform_tag(files, plain):
    """The platform tag the bundled files allow: the Windows one of a DLL;
    for ELF files the oldest manylinux tag whose C library has every symbol
    version they need, or linux_ARCH when that cannot be told or they need a
    library outside the manylinux set; `plain` for anything else."""
    if not files:
        return plain
    windows = {_pe_platform(path) for path in files} - {None}
    if windows:
        if len(windows) > 1:
            sys.exit(f"the bundled files are built for different Windows platforms: {sorted(windows)}")
        return windows.pop()
    architectures = {_elf_architecture(path) for path in files}
    if None in architectures:
        return plain
    if len(architectures) > 1:
        sys.exit(f"the bundled files are built for different architectures: {sorted(architectures)}")
    architecture = architectures.pop()
    linux = f"linux_{architecture}"
    if shutil.which("readelf") is None:
        return linux
    glibc, glibcxx = MANYLINUX2014_GLIBC, (3, 4)
    for path in files:
        libraries, glibc_versions, glibcxx_versions = _elf_needs(path)
        outside = libraries - MANYLINUX_LIBRARIES
        if outside:
            print(f"{path.name} needs {sorted(outside)}: the wheel is tagged {linux}", flush=True)
            return linux
        glibc = max([glibc, *glibc_versions])
        glibcxx = max([glibcxx, *glibcxx_versions])
    if glibcxx > NEWEST_GLIBCXX:
        return linux
    tag = f"manylinux_{glibc[0]}_{glibc[1]}_{architecture}"
    if glibc <= MANYLINUX2014_GLIBC:
        tag += f".manylinux2014_{architecture}"
    return tag


class SourceWithCSources(sdist):
    """An sdist that builds anywhere CMake and a C++ compiler do: the C
    sources go in as csrc/."""

    def make_release_tree(self, base_dir, files):
        super().make_release_tree(base_dir, files)
        target = Path(base_dir) / "csrc"
        for part in SOURCE_PARTS:
            source = REPO / part
            if source.is_dir():
                shutil.copytree(source, target / part, ignore=shutil.ignore_patterns("__pycache__", "*.pyc"))
            elif source.is_file():
                target.mkdir(parents=True, exist_ok=True)
                shutil.copyfile(source, target / part)
            else:
                sys.exit(f"the sdist needs {source}, which is missing")


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


setup(version=_header_version(), cmdclass={"build_py": BuildWithNativeFiles, "bdist_wheel": PlatformWheel, "sdist": SourceWithCSources}, distclass=BinaryDistribution)
