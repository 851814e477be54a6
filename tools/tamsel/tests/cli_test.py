#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""End-to-end tests of the tamsel binary (Python standard library only).

    cli_test.py --tamsel COMMAND --reference PATH --sample CSV [unittest args]

COMMAND is the tool's path, or a command line that runs it (split as a shell
would), such as "wine64 build/tamsel-win64/tools/tamsel/tamsel.exe": a
Windows build then gets the same table, less the cases that need POSIX
signals or directory semantics, plus its own (console events, read-only
targets).

The indicator values are checked bit for bit against the library's
TamselChart_AllIndicators, run by the `reference` helper on the same prices.
"""
import argparse
import csv
import io
import math
import os
import pathlib
import re
import shlex
import signal
import struct
import subprocess
import sys
import tempfile
import time
import unittest

TAMSEL = REFERENCE = SAMPLE = CASES = None  # TAMSEL: the command that runs the tool, as a list
WINDOWS = False  # whether that is a Windows build (tamsel.exe)
ALL = ["cycle_period", "signal_to_noise", "swing_position", "trend_vigor"]


def run(args, stdin=None, cwd=None, env=None):
    return subprocess.run([*TAMSEL, *args], input=stdin, capture_output=True, cwd=cwd, env=env, timeout=300)


def reference_bits(highs, lows):
    """The library's four values per bar, as 32-bit patterns."""
    text = "".join(f"{h} {l}\n" for h, l in zip(highs, lows))
    out = subprocess.run([REFERENCE], input=text.encode(), capture_output=True, check=True, timeout=300).stdout
    return [[int(v, 16) for v in line.split()] for line in out.decode().splitlines()]


def float_bits(text):
    return struct.unpack("<I", struct.pack("<f", float(text)))[0]


def is_nan_bits(bits):
    return (bits & 0x7F800000) == 0x7F800000 and (bits & 0x007FFFFF) != 0


def read_sample(limit=None):
    """(header line, data lines, highs, lows) of the bundled sample series."""
    lines = pathlib.Path(SAMPLE).read_text().splitlines()
    rows = lines[1 : (limit + 1) if limit else None]
    fields = [r.split(",") for r in rows]
    return lines[0], rows, [f[2] for f in fields], [f[3] for f in fields]


class Case(unittest.TestCase):
    def setUp(self):
        self._dir = tempfile.TemporaryDirectory()
        self.dir = pathlib.Path(self._dir.name)

    def tearDown(self):
        self._dir.cleanup()

    def posix_only(self, why):
        if WINDOWS:
            self.skipTest(why)

    def windows_only(self, why):
        if not WINDOWS:
            self.skipTest(why)

    def write(self, name, data):
        path = self.dir / name
        path.write_bytes(data.encode() if isinstance(data, str) else data)
        return path

    def assert_indicators(self, output, highs, lows, names=ALL, delimiter=",", ending="\n", decimal_comma=False):
        """Every output row ends in the library's values for these prices."""
        expected = reference_bits(highs, lows)
        rows = output.split(ending)
        self.assertEqual(rows[-1], "", "the output ends with a line ending")
        rows = rows[1:-1]
        self.assertEqual(len(rows), len(expected))
        for number, (row, want) in enumerate(zip(rows, expected), start=1):
            got = row.split(delimiter)[-len(names):]
            for name, text in zip(names, got):
                bits = want[ALL.index(name)]
                if is_nan_bits(bits):
                    self.assertEqual(text, "nan", f"bar {number} {name}")
                    continue
                if decimal_comma:
                    text = text.replace(",", ".")
                self.assertEqual(float_bits(text), bits, f"bar {number} {name}: {text}")
                # The shortest text: one digit fewer would not read back.
                self.assertNotRegex(text, r"\.\d*0(e|$)", f"bar {number} {name}: {text}")


class Dialects(Case):
    """The same bars written as different brokers and vendors export them."""

    BARS = 400

    def check(self, data, highs, lows, args=(), delimiter=",", ending="\n", decimal_comma=False, rows=None):
        path = self.write("in.csv", data)
        result = run([*args, str(path)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        output = result.stdout.decode("utf-8")
        self.assert_indicators(output.removeprefix("\ufeff"), highs, lows, delimiter=delimiter, ending=ending,
                               decimal_comma=decimal_comma)
        # The input columns pass through untouched, header included.
        if rows is not None:
            extra = delimiter + delimiter.join(ALL)
            out_rows = output.removeprefix("\ufeff").split(ending)[:-1]
            self.assertEqual(out_rows[0], rows[0] + extra)
            for got, original in zip(out_rows[1:], rows[1:]):
                self.assertTrue(got.startswith(original + delimiter), (got, original))
        return output

    def test_comma_lf(self):
        header, rows, highs, lows = read_sample(self.BARS)
        self.check(header + "\n" + "\n".join(rows) + "\n", highs, lows, rows=[header, *rows])

    def test_semicolon_crlf_bom_quoted(self):
        _, rows, highs, lows = read_sample(self.BARS)
        header = '"Date";"Open";"HIGH";"low";"Close";"Note"'
        body = [f'"{r.split(",")[0]}";{r.split(",")[1]};"{h}";{l};1;"a;b ""c"""' for r, h, l in zip(rows, highs, lows)]
        output = self.check("\ufeff" + "\r\n".join([header, *body]) + "\r\n", highs, lows, delimiter=";",
                            ending="\r\n", rows=[header, *body])
        self.assertTrue(output.startswith("\ufeff"), "the byte-order mark is kept")

    def test_tab_with_trading_platform_names(self):
        _, rows, highs, lows = read_sample(self.BARS)
        header = "<DATE>\t<OPEN>\t<HIGH>\t<LOW>\t<CLOSE>"
        body = ["\t".join(r.split(",")[:5]) for r in rows]
        self.check("\n".join([header, *body]), highs, lows, delimiter="\t", rows=[header, *body])

    def test_quoted_field_with_line_break_and_blank_lines(self):
        _, rows, highs, lows = read_sample(50)
        body = [f'{h},{l},"line one\nline two, still the same field"' for h, l in zip(highs, lows)]
        data = "hi,lo,comment\n\n" + "\n".join(body) + "\n\n"
        out = run(["--high", "HI", "--low", "lo", "-"], stdin=data.encode())
        self.assertEqual(out.returncode, 0, out.stderr.decode())
        # Each record spans two lines; Python's own reader splits them.
        records = list(csv.reader(io.StringIO(out.stdout.decode(), newline="")))
        self.assertEqual(len(records), 51)
        self.assertEqual(records[1][2], "line one\nline two, still the same field")
        expected = reference_bits(highs, lows)
        for record, want in zip(records[1:], expected):
            self.assertEqual([float_bits(v) for v in record[3:] if v != "nan"],
                             [b for b in want if not is_nan_bits(b)])

    def test_pipe_delimiter_given_and_decimal_comma(self):
        _, rows, highs, lows = read_sample(self.BARS)
        piped = "Date|High|Low\n" + "".join(f"d|{h}|{l}\n" for h, l in zip(highs, lows))
        self.check(piped, highs, lows, args=["--delimiter", "|"], delimiter="|")
        comma = "Date;High;Low\n" + "".join(f"d;{h.replace('.', ',')};{l.replace('.', ',')}\n"
                                             for h, l in zip(highs, lows))
        output = self.check(comma, highs, lows, delimiter=";", decimal_comma=True)
        self.assertIn(";18;1;", output, "indicators written with a decimal comma too")

    def test_standard_input(self):
        header, rows, highs, lows = read_sample(100)
        data = (header + "\n" + "\n".join(rows) + "\n").encode()
        for args in ([], ["-"]):
            result = run(args, stdin=data)
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            self.assert_indicators(result.stdout.decode(), highs, lows)


class Values(Case):
    def test_sample_series_bit_for_bit(self):
        _, _, highs, lows = read_sample()
        result = run([SAMPLE])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assert_indicators(result.stdout.decode(), highs, lows)

    def test_subset_in_the_order_given(self):
        _, _, highs, lows = read_sample(300)
        path = self.write("in.csv", "High,Low\n" + "".join(f"{h},{l}\n" for h, l in zip(highs, lows)))
        names = ["trend_vigor", "cycle_period"]
        result = run(["--indicators", ",".join(names), str(path)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertEqual(result.stdout.decode().splitlines()[0], "High,Low,trend_vigor,cycle_period")
        self.assert_indicators(result.stdout.decode(), highs, lows, names=names)

    def test_missing_values_by_choice(self):
        _, _, highs, lows = read_sample(200)
        cells_h, cells_l = list(highs), list(lows)
        cells_h[60], cells_l[61], cells_h[62], cells_l[62] = "", "null", "NaN", " "
        path = self.write("in.csv", "High,Low\n" + "".join(f"{h},{l}\n" for h, l in zip(cells_h, cells_l)))

        result = run(["--missing=previous", str(path)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        prev_h, prev_l = list(highs), list(lows)
        prev_h[60], prev_l[61], prev_h[62], prev_l[62] = highs[59], lows[60], highs[61], lows[60]
        self.assert_indicators(result.stdout.decode(), prev_h, prev_l)

        result = run(["--missing=nan", str(path)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        nan_h, nan_l = list(highs), list(lows)
        nan_h[60], nan_l[61], nan_h[62], nan_l[62] = "nan", "nan", "nan", "nan"
        self.assert_indicators(result.stdout.decode(), nan_h, nan_l)


def make_inputs(case):
    """Inputs of various lengths and dialects for the parallel runs."""
    header, rows, _, _ = read_sample()
    paths = []
    for i, count in enumerate([2609, 1500, 900, 2609, 300, 1200, 2000]):
        body = rows[:count] if i % 2 == 0 else rows[-count:]
        if i == 3:
            paths.append(case.write(f"in{i}.csv", ("\r\n".join([header, *body]) + "\r\n").replace(",", ";")))
        else:
            paths.append(case.write(f"in{i}.csv", "\n".join([header, *body]) + "\n"))
    return paths


class Parallel(Case):
    def test_several_files_at_once_equal_one_at_a_time(self):
        inputs = make_inputs(self)
        single = {}
        for path in inputs:
            result = run([str(path)])
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            single[path.name] = result.stdout
        for jobs in (["-j", "2"], ["-j", "7"], []):
            out = self.dir / f"out{''.join(jobs)}"
            result = run([*jobs, "-o", f"{out}/", *map(str, inputs)])
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            self.assertEqual(sorted(p.name for p in out.iterdir()), sorted(single))
            for name, expected in single.items():
                self.assertEqual((out / name).read_bytes(), expected, f"{jobs} {name}")

    def test_a_bad_file_among_good_ones(self):
        inputs = make_inputs(self)
        bad = self.write("bad.csv", "High,Low\n1,2\nx,1\n")
        out = self.dir / "out"
        out.mkdir()
        result = run(["-j", "3", "-o", str(out), str(inputs[0]), str(bad), *map(str, inputs[1:])])
        self.assertEqual(result.returncode, 8, result.stderr.decode())
        self.assertIn(f"{bad}:3: column 'High' (number 1): 'x' is not a number", result.stderr.decode())
        self.assertEqual(sorted(p.name for p in out.iterdir()), sorted(p.name for p in inputs))


    def test_files_failing_midway_in_step_fail_alone(self):
        """With more files than workers, each worker converts several in
        step: a file failing after some rows fails as it would alone, the
        others going on to the same bytes."""
        header, rows, _, _ = read_sample(1200)
        lines = [header, *rows]

        def spoiled(line, high=None, low=None, cut=False):
            """The sample with line's high and low cells replaced, or the line cut short."""
            copy = list(lines)
            fields = copy[line - 1].split(",")
            fields[2] = fields[2] if high is None else high
            fields[3] = fields[3] if low is None else low
            copy[line - 1] = ",".join(fields[:3] if cut else fields)
            return "\n".join(copy) + "\n"

        files = {
            "good_long.csv": "\n".join(lines) + "\n",
            "few_fields.csv": spoiled(300, cut=True),
            "missing_high.csv": spoiled(500, high=""),
            # The high is refused and the low no number: the high is the bar's first fault.
            "both_bad.csv": spoiled(400, high="", low="x"),
            "not_a_number.csv": spoiled(700, low="low"),
            "infinite_low.csv": spoiled(2, low="-inf"),
            "good_short.csv": "\n".join(lines[:40]) + "\n",
            "header_only.csv": header + "\n",
            "no_high.csv": "Date,Low\n2001-01-01,1\n",
            "empty.csv": "",
        }
        paths = [self.write(name, text) for name, text in files.items()]
        paths.insert(3, self.dir / "absent.csv")
        for missing in ([], ["--missing", "previous"], ["--missing", "nan"]):
            alone = {path.name: run([*missing, str(path)]) for path in paths}
            for jobs in (["-j", "1"], ["-j", "2"]):
                out = self.dir / f"out{len(missing)}{''.join(jobs)}"
                result = run([*missing, *jobs, "-o", f"{out}/", *map(str, paths)])
                first_failure = next(r.returncode for r in alone.values() if r.returncode != 0)
                self.assertEqual(result.returncode, first_failure, result.stderr.decode())
                messages = result.stderr.decode().splitlines()
                for name, single in alone.items():
                    what = f"{missing} {jobs} {name}"
                    if single.returncode == 0:
                        self.assertEqual((out / name).read_bytes(), single.stdout, what)
                    else:
                        self.assertFalse((out / name).exists(), what)
                        self.assertIn(single.stderr.decode().strip(), messages, what)
                self.assertEqual(len(messages), sum(r.returncode != 0 for r in alone.values()), messages)


class Errors(Case):
    """Each kind of bad input: its message, its exit status, and no output file."""

    def expect_failure(self, data, status, message, args=(), name="in.csv"):
        path = self.write(name, data) if data is not None else self.dir / name
        target = self.dir / "out.csv"
        target.write_text("older output\n")
        before = sorted(p.name for p in self.dir.iterdir())
        result = run([*args, "-o", str(target), str(path)])
        stderr = result.stderr.decode()
        self.assertEqual(result.returncode, status, stderr)
        self.assertRegex(stderr, message)
        self.assertEqual(target.read_text(), "older output\n", "the older output is left alone")
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), before, "no temporary file is left behind")
        return stderr

    def test_unreadable_inputs(self):
        self.expect_failure(None, 3, r"missing\.csv: cannot open: No such file", name="missing.csv")
        (self.dir / "folder.csv").mkdir()
        self.expect_failure(None, 3, r"folder\.csv: cannot read: Is a directory", name="folder.csv")

    def test_missing_columns_are_listed(self):
        self.expect_failure("Date,Open,Close\n1,2,3\n", 6,
                            r"no column named 'high' \(the header has 'Date', 'Open', 'Close'\); name it with --high")
        self.expect_failure("Date,High,Close\n1,2,3\n", 6, r"no column named 'low'")
        self.expect_failure("Date,High,Low\n1,2,3\n", 6, r"no column named 'Max'", args=["--high", "Max"])
        self.expect_failure("High,high,Low\n1,2,3\n", 6, r"columns 1 and 2 are both named 'high'")

    def test_no_data(self):
        self.expect_failure("", 5, r"in\.csv: empty, there is no header row")
        self.expect_failure("Date,High,Low\n", 5, r"in\.csv: a header and no data rows")
        self.expect_failure("Date,High,Low\r\n\r\n", 5, r"a header and no data rows")

    def test_malformed_csv(self):
        self.expect_failure("Date,High,Low\n1,2,1\n1,2\n", 7, r"in\.csv:3: 2 fields where the header has 3")
        self.expect_failure("Date,High,Low\n1,2,1,0\n", 7, r"in\.csv:2: 4 fields where the header has 3")
        self.expect_failure('Date,High,Low\n1,2,1\n"open,2,1\n', 7, r"in\.csv:3: a quoted field is not closed")
        self.expect_failure('Date,High,Low\n"1"x,2,1\n', 7, r"in\.csv:2: unexpected 'x' after the closing quote")

    def test_cells_that_are_not_numbers(self):
        rows = "".join(f"d,{100 + i},{99 + i}\n" for i in range(40))
        self.expect_failure("Date,High,Low\n" + rows + "d,abc,1\n", 8,
                            r"in\.csv:42: column 'High' \(number 2\): 'abc' is not a number")
        self.expect_failure("Date,High,Low\nd,1,1.2.3\n", 8, r"in\.csv:2: column 'Low' \(number 3\): '1\.2\.3' is not a number")
        self.expect_failure("Date,High,Low\nd,1e39,1\n", 8,
                            r"price beyond the range of a 32-bit float \(largest about 3.4e38\): '1e39' .*--missing=nan")
        self.expect_failure("Date,High,Low\nd,inf,1\n", 8, r"infinite price: 'inf' .*--missing=nan")
        self.expect_failure("Date,High,Low\nd,-Infinity,1\n", 8, r"infinite price: '-Infinity'",
                            args=["--missing=previous"])
        # A missing high is the bar's first fault, before a low that is no number.
        self.expect_failure("Date,High,Low\nd,,x\n", 9, r"column 'High' .*missing price")
        self.expect_failure("Date,High,Low\nd,nan(1),1\n", 8, r"'nan\(1\)' is not a number")
        self.expect_failure("Date,High,Low\nd,+-2,1\n", 8, r"'\+-2' is not a number")
        self.expect_failure('Date,High,Low\nd,"1,5",1\n', 8, r"'1,5' is not a number")

    def test_missing_cells_fail_by_default(self):
        for cell in ["", "null", "NaN", "NULL", " "]:
            self.expect_failure(f"Date,High,Low\nd,2,1\nd,{cell},1\n", 9,
                                rf"in\.csv:3: column 'High' \(number 2\): missing price: '{re.escape(cell)}' .*--missing=previous")
        self.expect_failure("Date,High,Low\nd,2,\n", 9, r"column 'Low'", args=["--missing", "error"])
        self.expect_failure("Date,High,Low\nd,,1\n", 9, r"in\.csv:2: .* first bar", args=["--missing=previous"])

    def test_unwritable_output(self):
        path = self.write("in.csv", "High,Low\n2,1\n")
        result = run(["-o", str(self.dir / "no" / "such" / "dir.csv"), str(path)])
        self.assertEqual(result.returncode, 4, result.stderr.decode())
        self.assertIn("cannot create", result.stderr.decode())

    def test_interrupted_run_leaves_no_file(self):
        self.posix_only("a signal; the Windows build has its console events, in the Windows case")
        target = self.dir / "out.csv"
        process = subprocess.Popen([*TAMSEL, "-o", str(target), "-"], stdin=subprocess.PIPE,
                                   stderr=subprocess.DEVNULL)
        try:
            process.stdin.write(b"High,Low\n2,1\n")
            process.stdin.flush()
            for _ in range(500):  # until the temporary file exists
                if any(self.dir.iterdir()):
                    break
                time.sleep(0.01)
            self.assertTrue(any(self.dir.iterdir()))
            process.send_signal(signal.SIGTERM)
            self.assertEqual(process.wait(timeout=60), -signal.SIGTERM)
        finally:
            process.kill()
            process.stdin.close()
        self.assertEqual(list(self.dir.iterdir()), [])

    def test_bad_command_lines(self):
        path = self.write("in.csv", "High,Low\n2,1\n")
        for args, message in [
            ([str(path), str(path)], "several inputs need -o DIR/"),
            (["--indicators", "cycle", str(path)], "'cycle' is no indicator; choose from " + ", ".join(ALL)),
            (["--missing", "zero", str(path)], "--missing 'zero' is none of error, previous, nan"),
            (["--delimiter", "ab", str(path)], "not one character"),
            (["-o", str(path), str(path)], "the output would replace the input"),
            (["--no-such-option"], "no-such-option"),
            # Each refused for what it is, in the tool's own words.
            (["-o", "", str(path)], "-o '': the output needs a file name"),
            (["--indicators", "", str(path)], "--indicators '': an empty name"),
            (["--indicators", "cycle_period,,trend_vigor", str(path)], "an empty name"),
            (["--indicators", "trend_vigor,", str(path)], "an empty name"),
            (["--indicators", "trend_vigor,trend_vigor", str(path)], "'trend_vigor' is given twice"),
            (["-j", "1.5", str(path)], "-j '1.5': the number of files converted at once must be a whole number"),
            (["-j", "0", str(path)], "is 1 to 256"),
            (["-j", "x", str(path)], "must be a whole number"),
            (["--missing=nan", "--missing=error", str(path)], "--missing given twice"),
            (["--high", "H", "--high", "High", str(path)], "--high given twice"),
            (["-o", "a", "--output", "b", str(path)], "--output given twice"),
            (["--warmup", "x", str(path)], "--warmup 'x': 'values' writes every value"),
            (["--warmup", "-1", str(path)], "--warmup '-1'"),
            (["--warmup", "2.5", str(path)], "--warmup '2.5'"),
            (["--warmup", "values", "--warmup", "nan", str(path)], "--warmup given twice"),
            (["--bars", "--indicators", "trend_vigor", str(path)], "--bars writes all four"),
        ]:
            result = run(args)
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(message, result.stderr.decode(), args)
        self.assertEqual(path.read_text(), "High,Low\n2,1\n")

    def test_standard_input_that_is_the_output(self):
        path = self.write("a.csv", "High,Low\n2,1\n")
        # Wine hands a Windows program its standard input from a Unix
        # descriptor that GetFileInformationByHandle cannot identify.
        if not WINDOWS:
            with open(path, "rb") as stdin:
                result = subprocess.run([*TAMSEL, "-o", str(path), "-"], stdin=stdin, capture_output=True, timeout=60)
            self.assertEqual(result.returncode, 2, result.stderr.decode())
            self.assertIn("standard input is", result.stderr.decode())
            self.assertIn("the output would replace the input", result.stderr.decode())
            self.assertEqual(path.read_text(), "High,Low\n2,1\n")
        # Another name of the same file is the same file.
        os.symlink(path, self.dir / "b.csv")
        result = run(["-o", str(self.dir / "b.csv"), str(path)])
        self.assertEqual(result.returncode, 2, result.stderr.decode())
        self.assertEqual(path.read_text(), "High,Low\n2,1\n")

    def test_own_output_as_input_is_refused(self):
        result = run([SAMPLE])
        self.assertEqual(result.returncode, 0)
        path = self.write("again.csv", result.stdout)
        self.expect_failure(result.stdout, 6, r"already has indicator columns \(column 'cycle_period' \(number 7\), "
                                              r"column 'signal_to_noise' \(number 8\), .*trend_vigor")
        # Only the indicators asked for clash.
        result = run(["--indicators", "cycle_period", "-"], stdin=b"High,Low,Trend_Vigor\n2,1,x\n")
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        result = run(["--indicators", "trend_vigor", "-"], stdin=b"High,Low, Trend_Vigor \n2,1,x\n")
        self.assertEqual(result.returncode, 6, result.stderr.decode())
        # The --bars table has a header of its own.
        self.assertEqual(run(["--bars", str(path)]).returncode, 0)

    def test_moved_directory_gets_the_output_and_no_temporary(self):
        self.posix_only("Windows does not move a directory while a file in it is open")
        for interrupt in (False, True):
            folder = self.dir / f"dir{interrupt}"
            folder.mkdir()
            moved = self.dir / f"moved{interrupt}"
            process = subprocess.Popen([*TAMSEL, "-o", str(folder / "out.csv"), "-"], stdin=subprocess.PIPE,
                                       stderr=subprocess.PIPE)
            try:
                process.stdin.write(b"High,Low\n2,1\n")
                process.stdin.flush()
                for _ in range(500):  # until the temporary file exists
                    if any(folder.iterdir()):
                        break
                    time.sleep(0.01)
                folder.rename(moved)
                if interrupt:
                    process.send_signal(signal.SIGTERM)
                    self.assertEqual(process.wait(timeout=60), -signal.SIGTERM)
                    self.assertEqual(list(moved.iterdir()), [])
                else:
                    process.stdin.write(b"3,2\n")
                    process.stdin.close()
                    self.assertEqual(process.wait(timeout=60), 0, process.stderr.read().decode())
                    self.assertEqual([p.name for p in moved.iterdir()], ["out.csv"])
                    self.assertEqual((moved / "out.csv").read_text().splitlines()[2].split(",")[:2], ["3", "2"])
            finally:
                process.kill()
                if not process.stdin.closed:
                    process.stdin.close()
                process.stderr.close()
            self.assertFalse(folder.exists())

    def test_help_and_version(self):
        result = run(["--help"])
        self.assertEqual(result.returncode, 0)
        for text in ["Examples:", "Exit status:", "--missing", "9  a high or low cell is empty", "--warmup",
                     "--no-order-check", "--bars", "--missing=nan passes it on as an infinity", ", ".join(ALL)]:
            self.assertIn(text, result.stdout.decode())
        result = run(["--version"])
        self.assertEqual(result.returncode, 0)
        self.assertRegex(result.stdout.decode(), r"^tamsel \d+\.\d+\.\d+\n$")


class Messages(Case):
    """What a message may quote: any bytes of an input, escaped and capped."""

    def test_hostile_bytes_and_sizes(self):
        huge = "A" * 10_000_000
        for args, data, status, want, unwanted in [
            # Terminal escapes and NULs from a cell are shown, not obeyed.
            ([], b"High,Low\n2,1\n\x1b[31mred\x00x,1\n", 8, r"'\\x1B\[31mred\\x00x' is not a number", b"\x1b"),
            # A backslash of the text is escaped too, so it cannot pass for an escape.
            ([], b'High,Low\n2,1\n"a\\nb",1\n', 8, r"'a\\\\nb' is not a number", None),
            ([], b'High,Low\n2,1\n\\x1B,1\n', 8, r"'\\\\x1B' is not a number", None),
            # Invalid UTF-8 escaped, valid UTF-8 kept.
            ([], b"High,Low\n\xff\xc3\xa9,1\n", 8, r"'\\xFF\u00e9' is not a number", b"\xff"),
            # A 10 MB header or cell: the message says how much it left out.
            ([], (huge + ",Low\n1,2\n").encode(), 6, r"'A{40}\.\.\. \(9999960 more bytes\)'", None),
            ([], ("High,Low\n" + huge + ",1\n").encode(), 8, r"\.\.\. \(9999920 more bytes\)' is not a number", None),
            # Byte-order marks of wide encodings, with the way to convert.
            ([], "High,Low\n2,1\n".encode("utf-16"), 7, r"UTF-16LE .*iconv -f UTF-16LE -t UTF-8", None),
            ([], b"\0\0\xfe\xff" + "High,Low\n2,1\n".encode("utf-32-be"), 7, r"UTF-32BE", None),
            ([], "High,Low\n2,1\n".encode("utf-16-le"), 6, r"NUL bytes.*iconv", None),
            # Column numbers beside names; one column for both prices refused.
            ([], b"Date,Open,HIGH,Low\nd,1,,1\n", 9, r"column 'HIGH' \(number 3\)", None),
            (["--high", " LOW", "--low", "low"], b"Date,High, low \nd,2,1\n", 2,
             r"--high and --low both name the column ' LOW'", None),
        ]:
            path = self.write("in.csv", data)
            result = run([*args, str(path)])
            stderr = result.stderr
            self.assertEqual(result.returncode, status, stderr[:300])
            self.assertRegex(stderr.decode("utf-8"), want)
            self.assertLess(len(stderr), 2200, "a message is capped")
            if unwanted:
                self.assertNotIn(unwanted, stderr)

    def test_command_lines_refused_for_the_right_reason(self):
        path = self.write("in.csv", "High,Low\n2,1\n")
        for args, message in [
            (["-d", '"'], "the quote character"),
            (["-d", "\n"], "a line break"),
            (["--high", "low"], "--high and --low both name the column 'low'"),
            (["--high", "X", "--low", "x"], "both name the column"),
            # The clash check reads names as the column lookup does.
            (["--high", "<Low>", "--low", "low"], "both name the column '<Low>'"),
            (["--high", "AAPL.Low", "--low", " LOW "], "both name the column"),
            (["--order", "backwards"], "backwards not in"),
            (["--no-such-\x1b[2J"], "no-such-\\x1B[2J"),
        ]:
            result = run([*args, str(path)])
            self.assertEqual(result.returncode, 2, args)
            self.assertIn(message, result.stderr.decode(), args)
            self.assertNotIn(b"\x1b", result.stderr, args)

    def test_tiny_and_huge_prices(self):
        # Below the smallest normal float a price becomes the nearest float,
        # subnormal or zero alike; above the largest it is refused.
        highs = ["1e-50", "1e-40", "-1e-46", "1e-38", "3e-45", "2", "1.5e-400"] * 20
        lows = ["1e-51", "1e-41", "-1e-47", "1e-39", "1e-45", "1", "0"] * 20
        path = self.write("in.csv", "High,Low\n" + "".join(f"{h},{l}\n" for h, l in zip(highs, lows)))
        result = run([str(path)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assert_indicators(result.stdout.decode(), highs, lows)
        for huge in ["3.5e38", "-1e39", "1e400"]:
            result = run(["-"], stdin=f"High,Low\n{huge},1\n".encode())
            self.assertEqual(result.returncode, 8, huge)
            self.assertIn("price beyond the range of a 32-bit float", result.stderr.decode())


class Order(Case):
    """Rows whose dates run backwards: refused, or computed in time order."""

    def rows(self, count=300):
        _, rows, highs, lows = read_sample(count)
        return rows, highs, lows

    def test_newest_first_computed_in_time_order(self):
        rows, highs, lows = self.rows()
        header = "Date,Open,High,Low,Close,Volume"
        path = self.write("in.csv", header + "\n" + "\n".join(reversed(rows)) + "\n")
        result = run([str(path)])
        self.assertEqual(result.returncode, 10)
        self.assertRegex(result.stderr.decode(), r"in\.csv:3: column 'Date' \(number 1\): .* is older than .*"
                                                 r"--order=newest-first")
        result = run(["--order=newest-first", str(path)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        lines = result.stdout.decode().split("\n")
        self.assertEqual([line.split(",")[:6] for line in lines[1:-1]], [r.split(",") for r in reversed(rows)])
        # Back in time order, each row carries the library's values.
        in_time_order = lines[0] + "\n" + "\n".join(reversed(lines[1:-1])) + "\n"
        self.assert_indicators(in_time_order, highs, lows)
        # An oldest-first file is not newest-first.
        result = run(["--order=newest-first", SAMPLE])
        self.assertEqual(result.returncode, 10)
        self.assertIn("is newer than", result.stderr.decode())

    def test_dates_that_are_checked_and_dates_that_are_not(self):
        for header, body, status in [
            ("<DATE>\t<TIME>\t<HIGH>\t<LOW>", ["20240301\t10:00\t2\t1", "20240301\t09:00\t2\t1"], 10),
            ("timestamp;High;Low", ["2024-03-01T10:00:00Z;2;1", "2024-03-01T09:59:59.5Z;2;1"], 10),
            ("Date,High,Low", ["2024/03/02,2,1", "2024/03/01,2,1"], 10),
            ("Date,High,Low", ["2024-03-01,2,1", "2024-03-01,3,1"], 0),  # equal times pass
            ("Date,High,Low", ["02.03.2024,2,1", "01.03.2024,2,1"], 0),  # day first: not understood
            ("Date,High,Low", ["2024-03-02,2,1", "soon,2,1", "2024-03-01,2,1"], 0),  # not a date: no guess
            ("When,High,Low", ["2024-03-02,2,1", "2024-03-01,2,1"], 0),  # no date column
        ]:
            result = run(["-"], stdin=(header + "\n" + "\n".join(body) + "\n").encode())
            self.assertEqual(result.returncode, status, (header, body, result.stderr.decode()))

    def test_missing_previous_repeats_the_older_bar(self):
        rows, highs, lows = self.rows(100)
        cells = [r.split(",") for r in rows]
        cells[40][2] = ""  # row 41 in time order repeats the high of row 40
        body = [",".join(c) for c in reversed(cells)]
        result = run(["--order=newest-first", "--missing=previous", "-"],
                     stdin=("Date,Open,High,Low,Close,Volume\n" + "\n".join(body) + "\n").encode())
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        lines = result.stdout.decode().split("\n")
        expected_highs = list(highs)
        expected_highs[40] = highs[39]
        self.assert_indicators(lines[0] + "\n" + "\n".join(reversed(lines[1:-1])) + "\n", expected_highs, lows)


class Bars(Case):
    """--bars: the plain table of times, taken prices and all four values."""

    def check_table(self, output, times, highs, lows):
        records = list(csv.reader(io.StringIO(output, newline="")))
        self.assertEqual(records[0], ["time", "high", "low", *ALL])
        self.assertNotIn("\r", output)
        body = records[1:]
        self.assertEqual([r[0] for r in body], times)
        self.assertEqual([float_bits(r[1]) for r in body], [float_bits(h) for h in highs])
        self.assertEqual([float_bits(r[2]) for r in body], [float_bits(l) for l in lows])
        for number, (record, want) in enumerate(zip(body, reference_bits(highs, lows)), start=1):
            got = [0x7FC00000 if v == "nan" else float_bits(v) for v in record[3:]]
            self.assertEqual(got, [0x7FC00000 if is_nan_bits(b) else b for b in want], f"bar {number}")

    def test_table_of_an_oldest_first_file(self):
        header, rows, highs, lows = read_sample(120)
        # A semicolon file with a decimal comma and CRLF still gives the plain table.
        body = [";".join([f'" {r.split(",")[0]} "', h.replace(".", ","), l.replace(".", ",")])
                for r, h, l in zip(rows, highs, lows)]
        path = self.write("in.csv", "Date;High;Low\r\n" + "\r\n".join(body) + "\r\n")
        result = run(["--bars", str(path)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.check_table(result.stdout.decode(), [r.split(",")[0] for r in rows], highs, lows)

    def test_newest_first_rows_stay_in_the_file_order(self):
        header, rows, highs, lows = read_sample(120)
        result = run(["--bars", "--order=newest-first", "-"],
                     stdin=(header + "\n" + "\n".join(reversed(rows)) + "\n").encode())
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        records = list(csv.reader(io.StringIO(result.stdout.decode(), newline="")))
        self.assertEqual([r[0] for r in records[1:]], [r.split(",")[0] for r in reversed(rows)])
        in_time_order = "\n".join([",".join(records[0]), *(",".join(r) for r in reversed(records[1:]))]) + "\n"
        self.check_table(in_time_order, [r.split(",")[0] for r in rows], highs, lows)

    def test_no_date_column_odd_times_and_refusals(self):
        for order in ("oldest-first", "newest-first"):
            result = run(["--bars", f"--order={order}", "-"], stdin=b"High,Low\n2,1\n3,2\n")
            self.assertEqual(result.returncode, 0, result.stderr.decode())
            self.assertEqual([line.split(",")[:3] for line in result.stdout.decode().splitlines()[1:]],
                             [["", "2", "1"], ["", "3", "2"]])
        # A time holding a comma or a quote is quoted in the table.
        result = run(["--bars", "-"], stdin=b'Date,High,Low\n"1 March, ""noon""",2,1\n')
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertEqual(next(csv.reader(io.StringIO(result.stdout.decode().splitlines()[1])))[0],
                         '1 March, "noon"')
        # The same refusals as a normal run.
        for data, status in [(b"High,Low\n2,1\nx,1\n", 8), (b"High,Low\n2,1\n,1\n", 9), (b"Date,Low\n1,2\n", 6)]:
            self.assertEqual(run(["--bars", "-"], stdin=data).returncode, status, data)


def policy_cases():
    """(line number, policy, highs, lows, outcome words) of the shared file."""
    cases = []
    for number, line in enumerate(pathlib.Path(CASES).read_text().splitlines(), start=1):
        if not line.strip() or line.startswith("#"):
            continue
        policy, highs, lows, outcome = (part.strip() for part in line.split("|"))
        cases.append((number, policy, highs.split(), lows.split(), outcome.split()))
    return cases


def same_float(text, want):
    """The tool's text of a float is the listed price as a 32-bit float."""
    if want == "nan":
        return text == "nan"
    return float_bits(text) == float_bits(want)


class Policy(Case):
    """Every case of the policy table every front end reads, through the CLI:
    a missing price is an empty cell, an infinite one the text inf."""

    KINDS = {"missing": (9, "missing price"), "no-previous": (9, "first bar"), "infinite": (8, "infinite price"),
             "out-of-range": (8, "beyond the range of a 32-bit float")}

    def test_every_shared_case(self):
        cases = policy_cases()
        self.assertGreater(len(cases), 20)
        for number, policy, highs, lows, outcome in cases:
            cell = lambda price: "" if price == "nan" else price
            body = "".join(f"2024-01-{bar:02d},{cell(h)},{cell(l)}\n"
                           for bar, (h, l) in enumerate(zip(highs, lows), start=1))
            result = run(["--bars", f"--missing={policy}", "-"], stdin=("date,high,low\n" + body).encode())
            where = f"case on line {number}: {policy} | {highs} | {lows}"
            stderr = result.stderr.decode()
            if outcome[0] == "ok":
                self.assertEqual(result.returncode, 0, f"{where}: {stderr}")
                split = outcome.index("/")
                want_highs, want_lows = outcome[1:split], outcome[split + 1:]
                rows = [line.split(",") for line in result.stdout.decode().splitlines()[1:]]
                self.assertEqual(len(rows), len(want_highs), where)
                for row, high, low in zip(rows, want_highs, want_lows):
                    self.assertTrue(same_float(row[1], high) and same_float(row[2], low), f"{where}: {row}")
                continue
            kind, column, bar = outcome
            status, text = self.KINDS[kind]
            self.assertEqual(result.returncode, status, f"{where}: {stderr}")
            number_of = {"high": 2, "low": 3}[column]
            # The header is line 1, so bar N is on line N + 1.
            self.assertIn(f"<stdin>:{int(bar) + 1}: column '{column}' (number {number_of}): ", stderr, where)
            self.assertIn(text, stderr, where)


WARMUP = {"cycle_period": 14, "signal_to_noise": 12, "swing_position": 50, "trend_vigor": 29}


class Warmup(Case):
    """--warmup: which values are written as nan."""

    def table(self, args, data):
        result = run(["--bars", *args, "-"], stdin=data)
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        return [line.split(",") for line in result.stdout.decode().splitlines()[1:]]

    def test_each_indicators_own_warmup_and_a_count(self):
        header, rows, _, _ = read_sample(120)
        data = (header + "\n" + "\n".join(rows) + "\n").encode()
        values = self.table([], data)
        self.assertEqual(self.table(["--warmup=values"], data), values)
        self.assertEqual(self.table(["--warmup=0"], data), values)
        blanked = self.table(["--warmup=nan"], data)
        counted = self.table(["--warmup=20"], data)
        for bar, (plain, own, first) in enumerate(zip(values, blanked, counted), start=1):
            for i, name in enumerate(ALL, start=3):
                self.assertEqual(own[i], "nan" if bar <= WARMUP[name] else plain[i], f"bar {bar} {name}")
                self.assertEqual(first[i], "nan" if bar <= 20 else plain[i], f"bar {bar} {name}")
            self.assertEqual(own[:3], plain[:3])
        # Beyond the file's length every value is blanked.
        self.assertTrue(all(v == "nan" for row in self.table(["--warmup=1000"], data) for v in row[3:]))

    def test_newest_first_blanks_the_last_rows(self):
        header, rows, _, _ = read_sample(80)
        oldest_first = self.table(["--warmup=nan"], (header + "\n" + "\n".join(rows) + "\n").encode())
        newest_first = self.table(["--warmup=nan", "--order=newest-first"],
                                  (header + "\n" + "\n".join(reversed(rows)) + "\n").encode())
        self.assertEqual(list(reversed(newest_first)), oldest_first)
        self.assertEqual(newest_first[-1][3:], ["nan"] * 4)

    def test_the_input_layout_too(self):
        result = run(["--warmup=nan", "--indicators", "signal_to_noise", "-"],
                     stdin=b"High,Low\n" + b"".join(b"%d,%d\n" % (10 + i % 3, 9) for i in range(14)))
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertEqual([line.rsplit(",", 1)[1] != "nan" for line in result.stdout.decode().splitlines()[1:]],
                         [False] * 12 + [True] * 2)


class Dates(Case):
    """Dates as written with AM/PM and UTC offsets, and what an out-of-order
    message advises."""

    def convert(self, header, body, args=()):
        return run([*args, "-"], stdin=(header + "\n" + "\n".join(body) + "\n").encode())

    def test_twelve_hour_times_and_offsets_in_order(self):
        for header, body in [
            ("Date,High,Low", ["2024-03-01 11:00 AM,2,1", "2024-03-01 01:00 PM,2,1", "2024-03-01 12:30 pm,2,1"][:2]),
            ("Date,High,Low", ["2024-03-01 11:59 AM,2,1", "2024-03-01 12:00 PM,2,1", "2024-03-01 01:00 PM,2,1"]),
            ("timestamp,High,Low", ["2024-03-01T02:30:00+02:00,2,1", "2024-03-01T02:15:00+01:00,2,1"]),
            ("timestamp,High,Low", ["2024-03-01T09:00:00-0500,2,1", "2024-03-01T14:30:00Z,2,1"]),
            ("<DATE>\t<TIME>\t<HIGH>\t<LOW>", ["20240301\t11:00 PM\t2\t1", "20240302\t01:00 AM\t2\t1"]),
        ]:
            result = self.convert(header, body)
            self.assertEqual(result.returncode, 0, (body, result.stderr.decode()))

    def test_instants_out_of_order_still_refused(self):
        for header, body in [
            ("Date,High,Low", ["2024-03-01 01:00 PM,2,1", "2024-03-01 11:00 AM,2,1"]),
            ("timestamp,High,Low", ["2024-03-01T02:30:00+01:00,2,1", "2024-03-01T02:15:00+01:00,2,1"]),
            ("Date,High,Low", ["2024-03-01T10:00:00Z,2,1", "2024-03-01T11:00:00+02:00,2,1"]),
            # Fractions of a second, with a decimal point or comma.
            ("Date,High,Low", ["2024-03-01 10:00:00.75,2,1", "2024-03-01 10:00:00.5,2,1"]),
            ("Date;High;Low", ["2024-03-01 10:00:00,75;2;1", "2024-03-01 10:00:00,5;2;1"]),
        ]:
            self.assertEqual(self.convert(header, body).returncode, 10, body)
        # In order to the millisecond, with a comma.
        result = self.convert("Date;High;Low", ["2024-03-01 10:00:00,5;2;1", "2024-03-01 10:00:00,501;2;1"])
        self.assertEqual(result.returncode, 0, result.stderr.decode())

    def test_advice_fits_the_file(self):
        # Plainly newest first: the advice is --order=newest-first.
        result = self.convert("Date,High,Low", ["2024-03-03,2,1", "2024-03-02,2,1", "2024-03-01,2,1"])
        self.assertEqual(result.returncode, 10)
        self.assertRegex(result.stderr.decode(), r"<stdin>:3: .*'2024-03-02' is older than '2024-03-03' on line 2.*"
                                                 r"--order=newest-first")
        # Oldest first with one row astray: the rows are named, no newest-first.
        result = self.convert("Date,High,Low", ["2024-03-01,2,1", "2024-03-02,2,1", "2024-03-04,2,1",
                                                "2024-03-03,2,1"])
        self.assertEqual(result.returncode, 10)
        stderr = result.stderr.decode()
        self.assertRegex(stderr, r"<stdin>:5: .*'2024-03-03' is older than '2024-03-04' on line 4")
        self.assertNotIn("newest-first", stderr)
        self.assertIn("--no-order-check", stderr)
        # The check skipped on request, whatever the order.
        for args in (["--no-order-check"], ["--no-order-check", "--order=newest-first"]):
            self.assertEqual(self.convert("Date,High,Low", ["2024-03-01,2,1", "2024-03-04,2,1", "2024-03-03,2,1"],
                                          args).returncode, 0, args)


class State(Case):
    """--state: a series converted in parts, a daily job appending the new rows."""

    BARS = 300

    def setUp(self):
        super().setUp()
        header, rows, _, _ = read_sample(self.BARS)
        # Some missing prices, one of them right after every split below, so
        # that --missing=previous repeats a price of the part before.
        self.header = header
        self.rows = [self.blank_high(row) if i % 37 == 5 else row for i, row in enumerate(rows)]
        self.state = self.dir / "s.bin"

    @staticmethod
    def blank_high(row):
        fields = row.split(",")
        fields[2] = ""
        return ",".join(fields)

    def csv(self, rows):
        return (self.header + "\n" + "".join(r + "\n" for r in rows)).encode()

    def part(self, rows, args=(), status=0):
        result = run([*args, "--state", str(self.state), "-"], stdin=self.csv(rows))
        self.assertEqual(result.returncode, status, result.stderr.decode())
        return result

    def whole(self, args):
        result = run([*args, "-"], stdin=self.csv(self.rows))
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        return result.stdout

    def test_every_split_continues_bit_for_bit(self):
        # Split at every row boundary (a dense sample under Wine, where each
        # run is slow); what the parts append is the whole file's output.
        for args in (["--missing=previous"], ["--missing=nan", "--warmup=nan", "--bars"]):
            whole = self.whole(args)
            splits = range(1, self.BARS) if not WINDOWS else range(1, self.BARS, 23)
            for split in splits:
                with self.subTest(args=args, split=split):
                    self.state.unlink(missing_ok=True)
                    first = self.part(self.rows[:split], args).stdout
                    second = self.part(self.rows[split:], args).stdout
                    self.assertNotIn(b"cycle_period", second, "a continued run writes no header")
                    self.assertEqual(first + second, whole)

    def test_three_parts_and_a_header_alone(self):
        whole = self.whole(["--missing=previous"])
        out = b""
        for rows in (self.rows[:100], self.rows[100:100], self.rows[100:101], self.rows[101:]):
            before = self.state.read_bytes() if self.state.exists() else None
            out += self.part(rows, ["--missing=previous"]).stdout
            if not rows:
                self.assertEqual(self.state.read_bytes(), before, "a header alone adds nothing")
        self.assertEqual(out, whole)
        # Into a file with -o: the continued part's rows alone.
        self.state.unlink()
        self.part(self.rows[:10], ["--missing=previous"])
        target = self.dir / "new.csv"
        self.part(self.rows[10:], ["--missing=previous", "-o", str(target)])
        self.assertEqual(target.read_bytes(), whole.split(b"\n", 11)[11])

    def assert_refused(self, rows, args, status, message):
        """The run fails with status and message; state and output untouched."""
        before = self.state.read_bytes()
        output = self.dir / "out.csv"
        output.write_bytes(b"older output\n")
        result = run([*args, "--state", str(self.state), "-o", str(output), "-"], stdin=self.csv(rows))
        self.assertEqual(result.returncode, status, result.stderr.decode())
        self.assertIn(message, result.stderr.decode())
        self.assertEqual(self.state.read_bytes(), before)
        self.assertEqual(output.read_bytes(), b"older output\n")
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["out.csv", "s.bin"])

    def test_other_options_or_columns_are_refused_by_name(self):
        self.part(self.rows[:50], ["--missing=previous"])
        rest = self.rows[50:]
        for args, named in [([], "--missing 'previous', this run has --missing 'error'"),
                            (["--missing=nan"], "--missing"),
                            (["--missing=previous", "--warmup=nan"], "--warmup"),
                            (["--missing=previous", "--warmup=3"], "--warmup"),
                            (["--missing=previous", "--indicators", "trend_vigor"], "--indicators"),
                            (["--missing=previous", "--bars"], "--bars"),
                            (["--missing=previous", "--high", "Open"], "--high"),
                            (["--missing=previous", "--low", "Close"], "--low")]:
            with self.subTest(args=args):
                self.assert_refused(rest, args, 11, named)
        # Another file's columns, or the same ones another way.
        semicolons = [r.replace(",", ";") for r in rest]
        self.header = self.header.replace(",", ";")
        self.assert_refused(semicolons, ["--missing=previous"], 11, "--delimiter")
        self.header = "Date,Open,High,Low,Close"
        self.assert_refused([r.rsplit(",", 1)[0] for r in rest], ["--missing=previous"], 11, "the header")

    def test_rows_not_newer_than_the_last_bar_are_refused(self):
        self.part(self.rows[:50], ["--missing=previous"])
        for rows in (self.rows[:60], self.rows[49:], self.rows[40:]):  # again, overlapping, older
            with self.subTest(first=rows[0]):
                self.assert_refused(rows, ["--missing=previous"], 10, "is not newer than '2015-03-11'")
        # Unless asked not to check (the series then takes the rows as given).
        self.part(self.rows[49:], ["--missing=previous", "--no-order-check"])

    def test_damaged_foreign_or_cut_state_is_refused(self):
        self.part(self.rows[:50], ["--missing=previous"])
        good = self.state.read_bytes()
        damaged = [(good[:n], "cut short" if n >= 8 else "not a tamsel state file")
                   for n in (0, 1, 7, 8, 12, 19, 20, 100, len(good) // 2, len(good) - 4, len(good) - 1)]
        for at in (0, 9, 14, 30, len(good) // 2, len(good) - 100, len(good) - 1):
            flipped = bytearray(good)
            flipped[at] ^= 0x10
            damaged.append((bytes(flipped), "" if at < 16 else "checksum does not match"))
        damaged += [(good + b"\0", "longer than it says"), (self.csv(self.rows[:3]), "not a tamsel state file"),
                    (good[:8] + b"\x02\0\0\0" + good[12:], "state format 2")]
        for number, (data, message) in enumerate(damaged):
            with self.subTest(number=number, size=len(data)):
                self.state.write_bytes(data)
                self.assert_refused(self.rows[50:], ["--missing=previous"], 11, message)
        self.state.write_bytes(good)
        self.part(self.rows[50:], ["--missing=previous"])

    def test_failed_run_leaves_the_state_as_it_was(self):
        whole = self.whole(["--missing=previous"])
        first = self.part(self.rows[:120], ["--missing=previous"]).stdout
        bad = self.rows[120:]
        bad[30] = bad[30].replace(",", ",abc,", 1).replace(",abc,", ",", 1).rsplit(",", 3)[0] + ",x,1,1"
        self.assert_refused(bad, ["--missing=previous"], 8, "'x' is not a number")
        # The same input, fixed, continues where the first part stopped.
        self.assertEqual(first + self.part(self.rows[120:], ["--missing=previous"]).stdout, whole)

    def test_command_lines_that_cannot_continue(self):
        a = self.write("a.csv", self.csv(self.rows[:20]))
        b = self.write("b.csv", self.csv(self.rows[20:]))
        for args, message in [(["--state", "s.bin", "a.csv", "b.csv"], "give one input"),
                              (["--state", "s.bin", "--order=newest-first", "a.csv"], "oldest first"),
                              (["--state", "a.csv", "a.csv"], "is also the input"),
                              (["--state", "o.csv", "-o", "o.csv", "a.csv"], "is also the output"),
                              (["--state", "", "a.csv"], "needs a file name"),
                              (["--state", "-", "a.csv"], "needs a file name (not standard input)"),
                              (["--state", "s.bin", "--state", "t.bin", "a.csv"], "given twice")]:
            with self.subTest(args=args):
                result = run(args, cwd=self.dir)
                self.assertEqual(result.returncode, 2, result.stderr.decode())
                self.assertIn(message, result.stderr.decode())
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["a.csv", "b.csv"])
        self.assertEqual(a.read_bytes(), self.csv(self.rows[:20]))
        del b


class Names(Case):
    """File names beyond ASCII, read and written as the UTF-8 the user typed."""

    def test_non_ascii_input_output_and_directory(self):
        data = "Date,High,Low\n" + "".join(f"d,{100 + i % 7},{99 + i % 5}\n" for i in range(60))
        source = self.write("données-日本-€.csv", data)
        expected = run(["-"], stdin=data.encode())
        self.assertEqual(expected.returncode, 0, expected.stderr.decode())
        target = self.dir / "sortie-ü" / "résultat-数.csv"
        target.parent.mkdir()
        result = run(["-o", str(target), str(source)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertEqual(target.read_bytes(), expected.stdout)
        self.assertEqual(sorted(p.name for p in target.parent.iterdir()), [target.name])
        # -o DIR/ names each output after its input.
        result = run(["-o", str(self.dir / "répertoire-ß") + "/", str(source)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertEqual((self.dir / "répertoire-ß" / source.name).read_bytes(), expected.stdout)
        # Messages quote the names as they are.
        result = run([str(self.dir / "manquant-é.csv")])
        self.assertEqual(result.returncode, 3)
        self.assertIn("manquant-é.csv: cannot open: No such file", result.stderr.decode())


class WindowsTargets(Case):
    """What the Windows build promises in Windows terms."""

    def setUp(self):
        super().setUp()
        self.windows_only("console events and the read-only attribute are the Windows build's")
        self.input = self.write("in.csv", "High,Low\n2,1\n3,2\n")
        self.target = self.write("out.csv", "older output\n")

    def assert_left_alone(self):
        self.assertEqual(self.target.read_text(), "older output\n")
        # The handler removes the temporary while a worker still holds it
        # open, so its name goes when the ended process's handles close.
        # Windows closes them before the exit status can be seen; Wine's
        # server may close them a moment after, hence the short wait.
        deadline = time.monotonic() + 10
        while len(list(self.dir.iterdir())) > 2 and time.monotonic() < deadline:
            time.sleep(0.05)
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["in.csv", "out.csv"], "no temporary is left")

    def test_console_events_remove_the_temporary(self):
        # Delivered by the tool's test hook, which runs the console handler
        # as the system would: the status is that of the matching POSIX signal.
        for event, status in [("ctrl-c", 130), ("ctrl-break", 131), ("close", 129)]:
            result = run(["-o", str(self.target), str(self.input)],
                         env=dict(os.environ, TAMSEL_TEST_CONSOLE_EVENT=event))
            self.assertEqual(result.returncode, status, event)
            self.assert_left_alone()

    def test_read_only_target_is_refused(self):
        self.target.chmod(0o444)  # seen by Windows as the read-only attribute
        try:
            result = run(["-o", str(self.target), str(self.input)])
            self.assertEqual(result.returncode, 4, result.stderr.decode())
            self.assertIn("out.csv: cannot replace: the file is read-only", result.stderr.decode())
            self.assert_left_alone()
        finally:
            self.target.chmod(0o644)

    def test_replaced_whole_and_devices_written_directly(self):
        result = run(["-o", str(self.target), str(self.input)])
        self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertTrue(self.target.read_text().startswith("High,Low,cycle_period"))
        self.assertNotIn(b"\r", self.target.read_bytes(), "LF stays LF: written in binary mode")
        for device in ["NUL", "nul.csv"]:
            result = run(["-o", device, str(self.input)], cwd=self.dir)
            self.assertEqual(result.returncode, 0, result.stderr.decode())
        self.assertEqual(sorted(p.name for p in self.dir.iterdir()), ["in.csv", "out.csv"])
        # An input read in binary mode: a Ctrl+Z byte is no end of file.
        result = run(["-"], stdin=b"High,Low\n2,1\x1a\n")
        self.assertEqual(result.returncode, 8, result.stderr.decode())


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tamsel", required=True)
    parser.add_argument("--reference", required=True)
    parser.add_argument("--sample", required=True)
    parser.add_argument("--cases", default=str(pathlib.Path(__file__).resolve().parents[3] / "tests" / "data" /
                                               "missing_policy_cases.txt"),
                        help="the missing-price policy cases every front end shares")
    args, rest = parser.parse_known_args()
    TAMSEL, REFERENCE, SAMPLE, CASES = shlex.split(args.tamsel), args.reference, args.sample, args.cases
    WINDOWS = TAMSEL[-1].lower().endswith(".exe")
    unittest.main(argv=[sys.argv[0], *rest], verbosity=1)
