"""Build hook: puts the TamselCharts shared library inside the package.

The library comes from, in this order:
  TAMSELCHARTS_LIBRARY     an already built libtamselcharts.so.1, copied as is;
  a CMake build            of the `tamselcharts` target from the source tree
                           around this directory, in TAMSELCHARTS_BUILD_DIR
                           (default: <repo>/build/python-lib), Release.
Everything else is declared in pyproject.toml.
"""

import os
import shutil
import subprocess
import sys
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

HERE = Path(__file__).resolve().parent
REPO = HERE.parent
LIBRARY_NAMES = ("libtamselcharts.so.1", "libtamselcharts.1.dylib", "tamselcharts.dll")


def _run(command):
    print("+ " + " ".join(str(part) for part in command), flush=True)
    subprocess.run([str(part) for part in command], check=True)


def _built_library():
    given = os.environ.get("TAMSELCHARTS_LIBRARY")
    if given:
        path = Path(given)
        if not path.is_file():
            sys.exit(f"TAMSELCHARTS_LIBRARY={given} is not a file")
        return path
    if not (REPO / "CMakeLists.txt").is_file() or not (REPO / "include" / "TamselCharts.h").is_file():
        sys.exit(
            "The TamselCharts C sources are not next to this package "
            f"({REPO}); build the library and set TAMSELCHARTS_LIBRARY to it."
        )
    if shutil.which("cmake") is None:
        sys.exit("cmake is needed to build the TamselCharts library (Debian: apt-get install cmake g++ make)")
    build_dir = Path(os.environ.get("TAMSELCHARTS_BUILD_DIR", REPO / "build" / "python-lib"))
    jobs = os.environ.get("TAMSELCHARTS_BUILD_JOBS", "2")
    # Only the shared library: no tests or tools, so neither GoogleTest nor
    # the benchmark library is needed to install the package.
    _run(["cmake", "-S", REPO, "-B", build_dir, "-DCMAKE_BUILD_TYPE=Release",
          "-DTAMSEL_BUILD_TESTS=OFF", "-DTAMSEL_BUILD_TOOLS=OFF", "-DTAMSEL_BUILD_BENCHMARKS=OFF"])
    _run(["cmake", "--build", build_dir, "--target", "tamselcharts", "-j", jobs])
    for name in LIBRARY_NAMES:
        found = sorted(build_dir.rglob(name))
        if found:
            return found[0]
    sys.exit(f"the build in {build_dir} made no {' or '.join(LIBRARY_NAMES)}")


class BuildWithLibrary(build_py):
    def run(self):
        super().run()
        library = _built_library()
        if getattr(self, "editable_mode", False):
            target = HERE / "tamselcharts"
        else:
            target = Path(self.build_lib) / "tamselcharts"
        target.mkdir(parents=True, exist_ok=True)
        # copyfile follows the .so.1 -> .so.1.0.0 link: the package holds the file itself.
        shutil.copyfile(library, target / library.name)
        print(f"bundled {library} as {target / library.name}", flush=True)
        # The licence travels with the library inside the wheel.
        if (REPO / "LICENSE").is_file() and not getattr(self, "editable_mode", False):
            shutil.copyfile(REPO / "LICENSE", target / "LICENSE")


class BinaryDistribution(Distribution):
    """The wheel holds a native library, so it is tagged for this platform."""

    def has_ext_modules(self):
        return True


setup(cmdclass={"build_py": BuildWithLibrary}, distclass=BinaryDistribution)
