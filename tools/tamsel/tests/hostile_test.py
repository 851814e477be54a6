#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The tamsel binary under hostile conditions, as cron, a full disk or a
reloading host would run it (Python standard library only).

    hostile_test.py --tamsel PATH --shim PATH --sample CSV [--no-preload]

Every case runs the tool in a fresh directory and goes through one checker,
which holds four invariants whatever the exit status:
  1. every output the run committed is complete and correct (byte for byte
     what an undisturbed run writes);
  2. an output whose conversion failed is exactly as it was before (bytes,
     mode, owner; or still absent);
  3. every other file that was there before is byte-identical, mode and
     owner included;
  4. no temporary file remains.
"""
import argparse
import errno
import os
import pathlib
import random
import resource
import signal
import stat
import subprocess
import sys
import tempfile
import threading
import time

TAMSEL = SHIM = SAMPLE = None
PRELOAD = True
failures = []
outcomes = {}


def snapshot(root):
    """Every entry under root: kind, bytes or link target, mode, owner."""
    entries = {}
    for path in sorted(root.rglob("*")):
        info = path.lstat()
        if stat.S_ISLNK(info.st_mode):
            content = ("link", os.readlink(path))
        elif stat.S_ISREG(info.st_mode):
            content = ("file", path.read_bytes())
        else:
            content = ("other", stat.S_IFMT(info.st_mode))
        entries[str(path.relative_to(root))] = (content, stat.S_IMODE(info.st_mode), info.st_uid, info.st_gid,
                                                info.st_nlink)
    return entries


class Case:
    """One run: how to set it up, how to run it, and what it may end as."""

    def __init__(self, name, outputs, args, expect=("ok", "failed"), setup=None, stdin=None, preexec=None,
                 env=None, during=None, stdout_output=False, message=None):
        self.name, self.outputs, self.args, self.expect = name, outputs, args, expect
        self.setup, self.stdin, self.preexec, self.env = setup, stdin, preexec, env
        self.during, self.stdout_output, self.message = during, stdout_output, message


def check(case, inputs, expected):
    """Runs case in a new directory and checks the four invariants."""
    with tempfile.TemporaryDirectory(prefix="tamsel-hostile-") as name:
        root = pathlib.Path(name)
        for file, text in inputs.items():
            (root / file).write_bytes(text)
        if case.setup:
            case.setup(root)
        before = snapshot(root)
        env = dict(os.environ, **(case.env or {}))

        def preexec():
            resource.setrlimit(resource.RLIMIT_CORE, (0, 0))  # SIGQUIT must not leave a core file
            # The tool starts with the default actions whatever this run
            # inherited (the background and nohup ignore SIGINT and SIGHUP);
            # a case that wants a signal ignored says so itself.
            for name in TERMINATING:
                signal.signal(getattr(signal, name), signal.SIG_DFL)
            if case.preexec:
                case.preexec()

        args = [TAMSEL, *[a.format(root=root) if isinstance(a, str) else a for a in case.args]]
        stdin = subprocess.DEVNULL if case.stdin is None else case.stdin
        process = subprocess.Popen(args, cwd=root, env=env, stdin=stdin, stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, preexec_fn=preexec)
        if case.during:
            case.during(process, root)
        stdout, stderr = process.communicate(timeout=120)
        status, message = process.returncode, stderr.decode(errors="replace")
        after = snapshot(root)

        problems = []
        if status == 0:
            outcome = "ok"
        elif status < 0:
            outcome = "signal"
        else:
            outcome = "failed"
        outcomes[outcome] = outcomes.get(outcome, 0) + 1
        if outcome not in case.expect:
            problems.append(f"ended {outcome} (status {status}), expected {case.expect}")
        if case.message and case.message not in message:
            problems.append(f"the message lacks {case.message!r}")
        if case.stdout_output and status == 0 and stdout != expected[case.stdout_output]:
            problems.append("standard output is not the complete output")
        # A message that the output is in place although its directory could
        # not be synced: that output counts as committed.
        in_place = "written, but its directory could not be synced" in message
        for output, source in case.outputs.items():
            new = after.get(output)
            old = before.get(output)
            if source is None:  # a name that must stay what it was (a symbolic link)
                if new != old:
                    problems.append(f"{output}: changed")
                continue
            committed = new is not None and new[0] == ("file", expected[source])
            if committed and (old is None or new[1:4] == old[1:4] or output.startswith("new")):
                continue  # invariant 1 (mode and owner compared where the file existed)
            if committed:
                problems.append(f"{output}: complete, but its mode or owner changed: {old[1:4]} -> {new[1:4]}")
            elif new != old:
                problems.append(f"{output}: neither as it was nor complete ({'absent' if new is None else 'changed'})")
            elif status == 0 or (in_place and output in message):
                problems.append(f"{output}: not written although the run says it was")
        for path, entry in before.items():  # invariant 3
            if path not in case.outputs and after.get(path) != entry:
                problems.append(f"{path}: a file the run had no business with changed")
        for path in after:  # invariant 4
            parent_of_output = any(output.startswith(path + "/") for output in case.outputs)
            if path not in before and path not in case.outputs and not parent_of_output:
                problems.append(f"{path}: left behind")
        if problems:
            failures.append(case.name)
            print(f"FAIL {case.name}: {'; '.join(problems)}\n     stderr: {message[:300]!r}")
        return status, message


# ---------------------------------------------------------------- the inputs

def sample_rows():
    lines = pathlib.Path(SAMPLE).read_bytes().splitlines(keepends=True)
    return lines[0], lines[1:]


def make_inputs():
    header, rows = sample_rows()
    inputs = {"good.csv": header + b"".join(rows), "small.csv": header + b"".join(rows[:200]),
              "bad.csv": header + b"".join(rows[:50]) + b"2015-03-01,1,abc,1,1,1\n"}
    # Long enough that a signal sent at a random moment finds work under way
    # (the bars repeated, without their dates, which would run backwards).
    bars = b"".join(b",".join(row.split(b",")[2:4]) + b"\n" for row in rows)
    for k in range(8):
        inputs[f"long{k}.csv"] = b"High,Low\n" + bars * (12 + 2 * k)
    return inputs


def expected_outputs(inputs):
    """What an undisturbed run writes for each input."""
    expected = {}
    for name, data in inputs.items():
        result = subprocess.run([TAMSEL, "-"], input=data, capture_output=True, timeout=120)
        expected[name] = result.stdout if result.returncode == 0 else None
    return expected


# ----------------------------------------------------------------- the cases

def old_file(name, text=b"older output\n", mode=0o644, owner=None):
    def setup(root):
        path = root / name
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(text)
        path.chmod(mode)
        if owner is not None:
            os.chown(path, owner, owner)
    return setup


def both(*setups):
    def setup(root):
        for s in setups:
            s(root)
    return setup


def target_cases():
    """Each kind of output target."""
    cases = [
        Case("new file", {"new.csv": "good.csv"}, ["-o", "new.csv", "good.csv"], expect=("ok",)),
        Case("mode 0600 file keeps its mode", {"out.csv": "good.csv"}, ["-o", "out.csv", "good.csv"],
             expect=("ok",), setup=old_file("out.csv", mode=0o600)),
        Case("symlink: the file it names is replaced", {"real.csv": "good.csv", "link.csv": None},
             ["-o", "link.csv", "good.csv"], expect=("ok",),
             setup=both(old_file("real.csv"), lambda r: (r / "link.csv").symlink_to("real.csv"))),
        Case("dangling symlink: its target is created", {"newtarget.csv": "good.csv", "dangling.csv": None},
             ["-o", "dangling.csv", "good.csv"], expect=("ok",),
             setup=lambda r: (r / "dangling.csv").symlink_to("newtarget.csv")),
        Case("hard link refused", {}, ["-o", "h1.csv", "good.csv"], expect=("failed",), message="hard links",
             setup=both(old_file("h1.csv"), lambda r: os.link(r / "h1.csv", r / "h2.csv"))),
        Case("/dev/null", {}, ["-o", "/dev/null", "good.csv"], expect=("ok",)),
        Case("/dev/stdout", {}, ["-o", "/dev/stdout", "good.csv"], expect=("ok",), stdout_output="good.csv"),
        Case("name of 250 characters", {"a" * 246 + ".csv": "good.csv"}, ["-o", "a" * 246 + ".csv", "good.csv"],
             expect=("ok",)),
        Case("a bad input leaves the old output", {"out.csv": "bad.csv"}, ["-o", "out.csv", "bad.csv"],
             expect=("failed",), setup=old_file("out.csv", mode=0o600)),
    ]
    if os.geteuid() == 0:
        cases.append(Case("file of another owner keeps its owner", {"theirs.csv": "good.csv"},
                          ["-o", "theirs.csv", "good.csv"], expect=("ok",), setup=old_file("theirs.csv", owner=4321)))
    return cases


def fifo_case(expected):
    got = {}

    def setup(root):
        os.mkfifo(root / "fifo")
        def reader():
            with open(root / "fifo", "rb") as pipe:
                got["bytes"] = pipe.read()
        got["thread"] = threading.Thread(target=reader)
        got["thread"].start()

    case = Case("FIFO with a reader", {}, ["-o", "fifo", "good.csv"], expect=("ok",), setup=setup)
    return case, lambda: (got["thread"].join(30), got.get("bytes") == expected["good.csv"])[1]


def descriptor_cases():
    """Standard descriptors closed, as under cron (the repro of a message
    written into another file's output)."""
    def close(*fds):
        return lambda: [os.close(fd) for fd in fds]

    return [
        Case("stdin and stderr closed, -j 2", {"out/good.csv": "good.csv", "out/bad.csv": "bad.csv"},
             ["-j", "2", "-o", "out/", "good.csv", "bad.csv"], expect=("failed",), preexec=close(0, 2)),
        Case("all three closed", {"out.csv": "good.csv"}, ["-o", "out.csv", "good.csv"], expect=("ok",),
             preexec=close(0, 1, 2)),
        Case("stdout closed, writing to it", {}, ["good.csv"], expect=("failed",), preexec=close(1),
             message="standard output is closed"),
    ]


TERMINATING = ["SIGHUP", "SIGINT", "SIGQUIT", "SIGTERM", "SIGUSR1", "SIGUSR2", "SIGALRM", "SIGPIPE", "SIGXFSZ",
               "SIGVTALRM", "SIGPROF", "SIGXCPU"]


def signal_cases(rng):
    """Each signal at a random moment, one worker and eight."""
    longs = [f"long{k}.csv" for k in range(8)]
    outputs = {f"out/{name}": name for name in longs}
    cases = []
    for jobs in ("1", "8"):
        for name in TERMINATING:
            number = getattr(signal, name)
            delay = rng.uniform(0.0, 0.4)

            def during(process, root, number=number, delay=delay):
                time.sleep(delay)
                process.send_signal(number)

            cases.append(Case(f"{name} after {delay:.2f}s with -j {jobs}", outputs,
                              ["-j", jobs, "-o", "out/", *longs], expect=("ok", "signal"), during=during,
                              setup=old_file("out/long3.csv", mode=0o640)))
    # A signal the caller ignores stays ignored (nohup, trap '' INT).
    def ignore():
        signal.signal(signal.SIGINT, signal.SIG_IGN)
        signal.signal(signal.SIGHUP, signal.SIG_IGN)

    def interrupt(process, root):
        time.sleep(0.1)
        process.send_signal(signal.SIGHUP)
        process.send_signal(signal.SIGINT)

    cases.append(Case("SIGHUP and SIGINT ignored by the caller", outputs, ["-j", "8", "-o", "out/", *longs],
                      expect=("ok",), preexec=ignore, during=interrupt, setup=old_file("out/long3.csv")))
    return cases


def limit_cases():
    """A file-size limit and a full disk."""
    def small_limit():
        resource.setrlimit(resource.RLIMIT_FSIZE, (64 * 1024, resource.RLIM_INFINITY))

    def few_descriptors():
        resource.setrlimit(resource.RLIMIT_NOFILE, (64, 64))

    # More files than descriptors for them all at once: every one converts,
    # and the run says it converts fewer at a time than -j asked.
    many = [f"many{i:02d}.csv" for i in range(80)]

    def copies(root):
        for name in many:
            (root / name).write_bytes((root / "small.csv").read_bytes())

    # Standard input is the very file -o names: refused, the file untouched.
    def input_is_output():
        os.dup2(os.open("out.csv", os.O_RDONLY), 0)

    cases = [Case("ulimit -f 64", {"out.csv": "good.csv"}, ["-o", "out.csv", "good.csv"], expect=("failed",),
                  setup=old_file("out.csv"), preexec=small_limit, message="file-size limit"),
             Case("ulimit -n 64 with -j 64 and 80 files", {f"out/{name}": "small.csv" for name in many},
                  ["-j", "64", "-o", "out/", *many], expect=("ok",), setup=copies, preexec=few_descriptors,
                  message="ulimit -n"),
             # One worker would take 32 of them in step, all open at once.
             Case("ulimit -n 64 with -j 1 and 80 files in step", {f"out/{name}": "small.csv" for name in many},
                  ["-j", "1", "-o", "out/", *many], expect=("ok",), setup=copies, preexec=few_descriptors,
                  message="ulimit -n"),
             Case("-o out.csv - < out.csv", {"out.csv": "good.csv"}, ["-o", "out.csv", "-"], expect=("failed",),
                  setup=old_file("out.csv", text=b"High,Low\n2,1\n"), preexec=input_is_output,
                  message="the output would replace the input")]
    return cases


def tmpfs_case():
    """A 1 MiB tmpfs, where the machine lets the test mount one."""
    mount = pathlib.Path(tempfile.mkdtemp(prefix="tamsel-tmpfs-"))
    if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=1m", "tmpfs", str(mount)],
                      capture_output=True).returncode != 0:
        mount.rmdir()
        return None, None
    def cleanup():
        subprocess.run(["umount", str(mount)], check=False)
        mount.rmdir()
    def setup(root):
        (mount / "out.csv").write_bytes(b"older output\n")
        (root / "full").symlink_to(mount)
    # The inputs' output is about 2 MB: it cannot fit.
    case = Case("1 MiB tmpfs", {}, ["-o", "full/out.csv", "long0.csv"], expect=("failed",), setup=setup,
                message="No space left")
    def verify():
        entries = sorted(p.name for p in mount.iterdir())
        ok = entries == ["out.csv"] and (mount / "out.csv").read_bytes() == b"older output\n"
        cleanup()
        return ok
    return case, verify


def state_cases(rng, inputs, expected):
    """--state continuing long0.csv from its first half's state: the state
    file is either the first half's or the whole run's, never anything else,
    whatever signal or failing system call ends the run."""
    data = inputs["long0.csv"]
    header, body = data.split(b"\n", 1)
    rows = body.splitlines(keepends=True)
    first, second = header + b"\n" + b"".join(rows[: len(rows) // 2]), header + b"\n" + b"".join(rows[len(rows) // 2:])
    with tempfile.TemporaryDirectory() as name:
        state = pathlib.Path(name) / "s.bin"
        for part, key in ((first, "state:first"), (second, "state:both")):
            result = subprocess.run([TAMSEL, "--state", str(state), "-"], input=part, capture_output=True, timeout=120)
            if result.returncode != 0:
                raise SystemExit(f"--state run failed: {result.stderr.decode()}")
            expected[key] = state.read_bytes()
            if key == "state:both":
                expected["second.csv"] = result.stdout
    inputs["second.csv"] = second
    first_state = expected["state:first"]

    def setup(root):
        (root / "s.bin").write_bytes(first_state)

    args = ["--state", "s.bin", "-o", "out.csv", "second.csv"]
    outputs = {"out.csv": "second.csv", "s.bin": "state:both"}
    cases = []
    for name in ("SIGTERM", "SIGINT", "SIGHUP"):
        for _ in range(4):
            delay = rng.uniform(0.0, 0.04)

            def during(process, root, number=getattr(signal, name), delay=delay):
                time.sleep(delay)
                process.send_signal(number)

            cases.append(Case(f"--state, {name} after {delay:.2f}s", outputs, args, expect=("ok", "signal"),
                              setup=setup, during=during))
    cases.append(Case("--state, a bad row in the new part", {"s.bin": "state:both"},
                      ["--state", "s.bin", "-o", "out.csv", "bad-second.csv"], expect=("failed",), setup=setup,
                      message="is not a number"))
    inputs["bad-second.csv"] = second + b"1,abc\n"
    return cases


def state_fault_cases(inputs):
    """The Nth write, fsync, rename, close or open of a continued --state
    run failing."""
    args = ["--state", "s.bin", "-o", "out.csv", "second.csv"]
    outputs = {"out.csv": "second.csv", "s.bin": "state:both"}
    cases = []
    for call in ("write", "fsync", "rename", "close", "open"):
        setup = lambda root: (root / "s.bin").write_bytes(STATE_FIRST[0])
        total = count_calls(call, args, inputs, setup)
        for at in range(1, total + 1):
            env = {"LD_PRELOAD": SHIM, "TAMSEL_FAULT_CALL": call, "TAMSEL_FAULT_AT": str(at),
                   "TAMSEL_FAULT_ERRNO": "EIO"}
            cases.append(Case(f"--state: {call} #{at} of {total} fails", outputs, args, setup=setup, env=env))
    return cases


STATE_FIRST = [b""]  # the first half's state, once state_cases made it


def count_calls(call, args, inputs, setup):
    with tempfile.TemporaryDirectory() as name:
        root = pathlib.Path(name)
        for file, text in inputs.items():
            (root / file).write_bytes(text)
        setup(root)
        report = root / "count"
        env = dict(os.environ, LD_PRELOAD=SHIM, TAMSEL_FAULT_CALL=call, TAMSEL_FAULT_AT="0",
                   TAMSEL_FAULT_REPORT=str(report))
        subprocess.run([TAMSEL, *args], cwd=root, env=env, capture_output=True, timeout=120)
        return int(report.read_text())


def fault_cases(inputs):
    """The Nth write, fsync, rename, close or open failing, N swept over a
    run that replaces one file and creates another: on two workers, and on
    one, which converts the two in step."""
    outputs = {"out/small.csv": "small.csv", "out/good.csv": "good.csv"}
    setup = old_file("out/small.csv", mode=0o600)
    cases = []
    for jobs in ("2", "1"):
        args = ["-j", jobs, "-o", "out/", "small.csv", "good.csv"]
        for call in ("write", "fsync", "rename", "close", "open"):
            total = count_calls(call, args, inputs, setup)
            print(f"-j {jobs}, {call}: {total} calls in a run, each made to fail in turn")
            for error in ("ENOSPC", "EIO", "EACCES"):
                for at in range(1, total + 1):
                    env = {"LD_PRELOAD": SHIM, "TAMSEL_FAULT_CALL": call, "TAMSEL_FAULT_AT": str(at),
                           "TAMSEL_FAULT_ERRNO": error}
                    cases.append(Case(f"-j {jobs}: {call} #{at} of {total} fails with {error}", outputs, args,
                                      setup=setup, env=env))
    return cases


def main():
    global TAMSEL, SHIM, SAMPLE, PRELOAD
    parser = argparse.ArgumentParser()
    parser.add_argument("--tamsel", required=True)
    parser.add_argument("--shim", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("--no-preload", action="store_true", help="skip the injected system-call failures")
    parser.add_argument("--seed", type=int, default=None)
    parser.add_argument("--only", default="", help="run only the cases whose name holds this text")
    options = parser.parse_args()
    TAMSEL, SHIM, SAMPLE = (os.path.abspath(p) for p in (options.tamsel, options.shim, options.sample))
    seed = options.seed if options.seed is not None else random.randrange(1 << 30)
    rng = random.Random(seed)
    print(f"seed {seed} (--seed {seed} repeats the signal timings)")
    start = time.monotonic()

    inputs = make_inputs()
    expected = expected_outputs(inputs)
    cases = [*target_cases(), *descriptor_cases(), *limit_cases(), *signal_cases(rng),
             *state_cases(rng, inputs, expected)]
    STATE_FIRST[0] = expected["state:first"]
    if not options.no_preload:
        cases += fault_cases(inputs) + state_fault_cases(inputs)
    cases = [case for case in cases if options.only in case.name]
    for case in cases:
        check(case, inputs, expected)
    if options.only:
        print("runs that ended " + ", ".join(f"{k}: {v}" for k, v in sorted(outcomes.items())))
        print(f"{len(cases)} cases, {len(failures)} failed")
        return 1 if failures else 0

    fifo, fifo_complete = fifo_case(expected)
    check(fifo, inputs, expected)
    if not fifo_complete():
        failures.append(fifo.name)
        print(f"FAIL {fifo.name}: the reader did not get the complete output")
    tmpfs, tmpfs_intact = tmpfs_case()
    if tmpfs is None:
        print("skipped: 1 MiB tmpfs (mount is not allowed here)")
    else:
        check(tmpfs, inputs, expected)
        if not tmpfs_intact():
            failures.append(tmpfs.name)
            print(f"FAIL {tmpfs.name}: the full file system holds something other than the old output")
        cases.append(tmpfs)

    print("runs that ended " + ", ".join(f"{k}: {v}" for k, v in sorted(outcomes.items())))
    print(f"{len(cases) + 1} cases, {len(failures)} failed, {time.monotonic() - start:.1f} s")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
