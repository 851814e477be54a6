# SPDX-License-Identifier: MIT
"""The picture file a chart is written to, written as `tamsel -o` writes its
output: created before the work (so that a directory that is missing or
cannot be written is reported first, with tamsel's exit status), a regular
file replaced only by a complete new one, a FIFO or /dev/stdout written
directly."""

from __future__ import annotations

import contextlib
import os
import secrets
import signal
import stat
import threading
from collections.abc import Iterator
from typing import Any, BinaryIO, Optional


class PictureFileError(OSError):
    """The picture file cannot be created or written; the message says
    which, as tamsel says it of its output ("cannot create: ...")."""


def picture_format(path: Any) -> str:
    """The picture format a file name asks for, refused before any work
    when matplotlib cannot write it."""
    from matplotlib.figure import Figure

    extension = os.path.splitext(os.fspath(path))[1][1:].lower()
    if not extension and not os.path.isfile(path) and os.path.exists(path):
        extension = "png"  # /dev/stdout, a pipe: no name to tell from, PNG as the default
    formats = Figure().canvas.get_supported_filetypes()
    if extension not in formats:
        raise ValueError(f"cannot tell the picture format from {os.fspath(path)!r}: the extension "
                         f"{'.' + extension if extension else '(none)'} is none of {', '.join(sorted(formats))}")
    return str(extension)


@contextlib.contextmanager
def open_picture(path: Any) -> Iterator[BinaryIO]:
    """The picture's file, open for writing from the start of the block: a
    regular file already there is replaced when the block ends without an
    error (its permissions kept), never left truncated by a full disk or an
    interruption; a FIFO, a terminal or /dev/stdout is written directly.
    PictureFileError when the file cannot be created or written."""
    name = os.fspath(path)
    target = os.path.realpath(name)  # a symlink's file is replaced, not the link
    try:
        existing: Optional[os.stat_result] = os.stat(name)  # follows links: /dev/stdout's pipe
    except FileNotFoundError:
        existing = None
    except OSError as error:
        raise PictureFileError(f"{name}: cannot create: {error.strerror}") from error
    if existing is not None and stat.S_ISDIR(existing.st_mode):
        raise PictureFileError(f"{name}: cannot create: {os.strerror(21)}")  # EISDIR
    if existing is not None and not stat.S_ISREG(existing.st_mode):
        try:
            direct = open(name, "wb")
        except OSError as error:
            raise PictureFileError(f"{name}: cannot open: {error.strerror}") from error
        with _written(name), direct:
            yield direct
        return
    with _replacing(name, target, existing) as out:
        yield out


@contextlib.contextmanager
def _written(name: str) -> Iterator[None]:
    """Write failures in tamsel's words."""
    try:
        yield
    except PictureFileError:
        raise
    except OSError as error:
        raise PictureFileError(f"{name}: cannot write: {error.strerror or error}") from error


class _Interrupted(BaseException):
    """SIGTERM or SIGHUP during a save: the temporary is removed first."""


@contextlib.contextmanager
def _replacing(name: str, target: str, existing: Optional[os.stat_result]) -> Iterator[BinaryIO]:
    directory = os.path.dirname(target)
    # A short name of its own in the same directory: the rename is atomic,
    # and a name that is legal for the picture is legal for its temporary.
    temporary = os.path.join(directory, f".tc{secrets.token_hex(4)}.tmp")
    handlers = _cleanup_on_signals()
    try:
        # Created as open() would create the picture (0666 less the umask).
        try:
            descriptor = os.open(temporary, os.O_WRONLY | os.O_CREAT | os.O_EXCL | getattr(os, "O_CLOEXEC", 0),
                                 0o666)
        except OSError as error:
            raise PictureFileError(f"{name}: cannot create: {error.strerror}") from error
        try:
            with os.fdopen(descriptor, "wb") as out:
                with _written(name):
                    yield out
                with _written(name):
                    out.flush()
                    os.fsync(out.fileno())
            with _written(name):
                if existing is not None:
                    os.chmod(temporary, stat.S_IMODE(existing.st_mode))
                os.replace(temporary, target)
        except BaseException:
            with contextlib.suppress(FileNotFoundError):
                os.unlink(temporary)
            raise
    except _Interrupted as signalled:
        _restore(handlers)
        signal.raise_signal(signalled.args[0])
        raise
    finally:
        _restore(handlers)


def _cleanup_on_signals() -> dict[int, Any]:
    """SIGTERM and SIGHUP raise inside the save (SIGINT does already, as
    KeyboardInterrupt), so the temporary is removed before the process ends
    with the signal's own status."""
    if threading.current_thread() is not threading.main_thread():
        return {}

    def interrupted(number: int, frame: Any) -> None:
        raise _Interrupted(number)

    handlers = {}
    for name in ("SIGTERM", "SIGHUP"):
        number = getattr(signal, name, None)
        if number is not None and signal.getsignal(number) == signal.SIG_DFL:
            handlers[number] = signal.signal(number, interrupted)
    return handlers


def _restore(handlers: dict[int, Any]) -> None:
    for number, handler in handlers.items():
        signal.signal(number, handler)
    handlers.clear()
