# SPDX-License-Identifier: MIT
"""The `tamsel` command-line tool the tamselcharts package carries, and the
`tamsel` console command that runs it.

A module of its own beside the package, so that the command starts without
importing the package (and with it numpy and pandas): it only finds where
the package is.  TAMSELCHARTS_TOOL names another tamsel executable to run
instead.
"""

from __future__ import annotations

import importlib.util
import os
import signal
import subprocess
import sys
from collections.abc import Sequence
from typing import NoReturn, Optional

_NAME = "tamsel.exe" if sys.platform == "win32" else "tamsel"


def tool_path() -> str:
    given = os.environ.get("TAMSELCHARTS_TOOL")
    if given:
        return given
    found = importlib.util.find_spec("tamselcharts")  # finds the package without running it
    places = list(found.submodule_search_locations or []) if found is not None else []
    if not places:
        return os.path.join("tamselcharts", "bin", _NAME)
    return os.path.join(os.path.abspath(places[0]), "bin", _NAME)


def run(arguments: Sequence[str]) -> NoReturn:
    """Replaces this process with tamsel: its messages, exit statuses,
    signals and standard streams are the caller's directly."""
    path = tool_path()
    if not os.access(path, os.X_OK):
        print(f"tamsel: the command-line tool is not in this installation ({path}); install the tamselcharts "
              "wheel, or set TAMSELCHARTS_TOOL to a built tamsel", file=sys.stderr)
        sys.exit(127)
    for stream in (sys.stdout, sys.stderr):
        try:
            stream.flush()
        except (OSError, ValueError):
            pass
    if os.name == "nt":  # no exec there: run it and pass its status on
        sys.exit(subprocess.call([path, *arguments]))
    # Python ignores SIGPIPE and SIGXFSZ for itself, and an exec keeps
    # ignored signals ignored: give the tool the defaults a shell gives it, so
    # that `| head` ends it quietly (as subprocess does for its children).
    for name in ("SIGPIPE", "SIGXFSZ"):
        if hasattr(signal, name):
            signal.signal(getattr(signal, name), signal.SIG_DFL)
    try:
        os.execv(path, ["tamsel", *arguments])
    except OSError as error:
        print(f"tamsel: cannot run {path}: {error.strerror}", file=sys.stderr)
        sys.exit(126)


def main(argv: Optional[Sequence[str]] = None) -> NoReturn:
    run(sys.argv[1:] if argv is None else argv)
