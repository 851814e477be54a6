# SPDX-License-Identifier: MIT
"""The web page in a real browser (Debian's headless Chromium via Selenium).

Serves the built page with scripts/serve-web.sh on the loopback, feeds it the
sample data and broken files through its file input, and checks that the
downloaded CSV is tamsel's output byte for byte, that a broken file shows
tamsel's own message, that the crosshair reads every value of a bar, that
zoom keeps the panes aligned, that nothing is fetched from elsewhere, that
the screenshot is not blank, and that a large file converts while the page
keeps answering.

    /usr/bin/python3 web/test/browser_test.py --tamsel build/release/tools/tamsel/tamsel \
        [--screenshot docs/web.png]
"""

import argparse
import datetime
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request
from pathlib import Path

from PIL import Image
from selenium import webdriver
from selenium.webdriver.common.action_chains import ActionChains
from selenium.webdriver.common.actions.wheel_input import ScrollOrigin
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

ROOT = Path(__file__).resolve().parents[2]
SAMPLE = ROOT / "data" / "sample-daily.csv"
OPTIONS = None  # parsed command line


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


def tamsel(path, missing="error"):
    """tamsel run on the file by its bare name, as the page names it."""
    run = subprocess.run([OPTIONS.tamsel, f"--missing={missing}", path.name], cwd=path.parent, capture_output=True)
    return run.returncode, run.stdout, run.stderr.decode("utf-8").rstrip("\n")


class WebPageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.scratch = Path(tempfile.mkdtemp(prefix="tamsel-browser-"))
        cls.downloads = cls.scratch / "downloads"
        cls.downloads.mkdir()
        port = free_port()
        env = dict(os.environ, TAMSEL_WEB_OUT=str(cls.scratch / "site"))
        cls.server = subprocess.Popen([str(ROOT / "scripts" / "serve-web.sh"), str(port)], env=env,
                                      stdout=subprocess.DEVNULL, stderr=subprocess.PIPE)
        cls.url = f"http://127.0.0.1:{port}/"
        deadline = time.time() + 300
        while True:
            try:
                urllib.request.urlopen(cls.url, timeout=2).read()
                break
            except OSError:
                if cls.server.poll() is not None or time.time() > deadline:
                    raise RuntimeError("the page server did not start: " + cls.server.stderr.read().decode())
                time.sleep(0.5)

        options = webdriver.ChromeOptions()
        options.binary_location = "/usr/bin/chromium"
        for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run",
                     "--window-size=1400,1000", "--force-device-scale-factor=1",
                     f"--user-data-dir={cls.scratch / 'profile'}"):
            options.add_argument(flag)
        options.add_experimental_option("prefs", {"download.default_directory": str(cls.downloads),
                                                  "download.prompt_for_download": False})
        cls.driver = webdriver.Chrome(options=options)
        cls.driver.execute_cdp_cmd("Page.setDownloadBehavior",
                                   {"behavior": "allow", "downloadPath": str(cls.downloads)})
        cls.driver.get(cls.url)
        # The page opens with the sample charted.
        cls.wait_state(("loaded",))

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.terminate()
        cls.server.wait(timeout=10)
        shutil.rmtree(cls.scratch, ignore_errors=True)

    @classmethod
    def wait_state(cls, states, timeout=60):
        WebDriverWait(cls.driver, timeout).until(
            lambda d: d.execute_script("return document.body.dataset.state") in states)
        return cls.driver.execute_script("return document.body.dataset.state")

    def open_file(self, path):
        self.driver.execute_script("document.body.dataset.state = 'choosing'")
        self.driver.find_element(By.ID, "file").send_keys(str(path))
        return self.wait_state(("loaded", "error"))

    def downloaded(self, name):
        target = self.downloads / name
        deadline = time.time() + 30
        while not target.exists() or any(self.downloads.glob("*.crdownload")):
            if time.time() > deadline:
                self.fail(f"no download {name}; the folder holds {os.listdir(self.downloads)}")
            time.sleep(0.2)
        return target.read_bytes()

    def test_0_the_page_opens_with_the_sample_charted_and_every_pane_in_view(self):
        self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, "#charts canvas")), 5)
        self.assertIn("of 2609)", self.driver.find_element(By.ID, "readout").text)
        # The panes are named by the library's indicator table.
        titles = [e.text for e in self.driver.find_elements(By.CSS_SELECTOR, "#charts .u-title")]
        self.assertEqual(titles, ["Price", "Cycle period", "Signal-to-noise ratio", "Swing position", "Trend vigor"])
        # All five panes, time axis included, fit a window 1000 pixels high.
        bottom = self.driver.execute_script(
            "const c = [...document.querySelectorAll('#charts .uplot')].at(-1);"
            "return [c.getBoundingClientRect().bottom, window.innerHeight];")
        self.assertLessEqual(bottom[0], bottom[1], "the last pane does not fit the window")
        # The last date label is drawn whole: the rightmost label ends inside the canvas.
        overflow = self.driver.execute_script("""
            const u = window.tamselPage.charts.at(-1);
            const axis = u.axes[0];
            const splits = axis._splits, labels = axis._values;
            const ctx = u.ctx; ctx.save(); ctx.font = axis.font[0];
            const i = splits.length - 1;
            const right = u.valToPos(splits[i], "x", true) + ctx.measureText(labels[i]).width / 2;
            ctx.restore();
            return right - u.ctx.canvas.width;""")
        self.assertLessEqual(overflow, 0, "the last date label is clipped")

    def test_1_sample_downloads_tamsels_output_and_reads_every_value(self):
        self.assertEqual(self.open_file(SAMPLE), "loaded")
        status, expected, _ = tamsel(SAMPLE)
        self.assertEqual(status, 0)
        self.assertEqual(len(self.driver.find_elements(By.CSS_SELECTOR, "#charts canvas")), 5)

        self.driver.find_element(By.ID, "download").click()
        self.assertEqual(self.downloaded("sample-daily-tamsel.csv"), expected, "the download is not tamsel's output")

        # The crosshair over a bar reads that bar's values as tamsel writes them.
        price = self.driver.find_elements(By.CSS_SELECTOR, "#charts .u-over")[0]
        ActionChains(self.driver).move_to_element_with_offset(price, 200, 10).perform()
        readout = self.driver.find_element(By.ID, "readout").text
        bar = int(re.search(r"bar (\d+) of 2609", readout).group(1))
        row = expected.decode().splitlines()[bar].split(",")
        # (the indicators' columns as tamsel names them, from the library's table)
        names = expected.decode().splitlines()[0].split(",")[-4:]
        for name, value in zip(names, row[-4:]):
            self.assertIn(f"{name} {value}", readout)
        self.assertIn(f"Date {row[0]}", readout)

        # The wheel zooms every pane to the same bars.
        ActionChains(self.driver).scroll_from_origin(ScrollOrigin.from_element(price), 0, -500).perform()
        ranges = self.driver.execute_script(
            "return window.tamselPage.charts.map(c => [c.scales.x.min, c.scales.x.max])")
        self.assertLess(ranges[0][1] - ranges[0][0], 0.9 * 2609, "the wheel did not zoom")
        self.assertTrue(all(r == ranges[0] for r in ranges), ranges)
        self.driver.find_element(By.ID, "reset-zoom").click()

        # Everything came from the page's own origin.
        sources = self.driver.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)")
        self.assertTrue(all(s.startswith(self.url) or s.startswith("data:") for s in sources), sources)

        # The picture: the first 400 bars (the warm-up shaded), the crosshair on one.
        ActionChains(self.driver).move_to_element_with_offset(price, -price.size["width"] // 2 + 2, 0) \
            .click_and_hold().move_by_offset(price.size["width"] * 400 // 2609, 0).release().perform()
        low, high = self.driver.execute_script("return [window.tamselPage.charts[4].scales.x.min, "
                                               "window.tamselPage.charts[4].scales.x.max]")
        self.assertLess(high - low, 600, "dragging across a pane did not zoom")
        ActionChains(self.driver).move_to_element_with_offset(price, price.size["width"] // 4, 0).perform()
        shot = self.scratch / "web.png"
        self.driver.save_screenshot(str(shot))
        image = Image.open(shot).convert("RGB")
        colours = image.getcolors(maxcolors=1 << 20)
        self.assertGreater(len(colours), 50, "the screenshot is blank")
        not_white = sum(n for n, c in colours if c != (255, 255, 255))
        self.assertGreater(not_white, image.width * image.height // 50, "the screenshot is almost blank")
        if OPTIONS.screenshot:
            shutil.copyfile(shot, OPTIONS.screenshot)

    def test_2_broken_files_show_tamsels_message(self):
        cases = {
            "broken.csv": "Date,High,Low\n2024-01-02,101.5,99\n2024-01-03,ten,99\n",
            "short-row.csv": "Date;High;Low\r\n2024-01-02;101,5;99\r\n2024-01-03;102\r\n",
            "no-low.csv": "Date,High,Close\n2024-01-02,101.5,99\n",
            "hostile <i>name.csv": 'high,low\n1,"<script>alert(1)</script>\n',
        }
        for name, text in cases.items():
            path = self.scratch / name
            path.write_text(text, encoding="utf-8")
            status, _, message = tamsel(path)
            self.assertNotEqual(status, 0)
            self.assertEqual(self.open_file(path), "error", name)
            shown = self.driver.find_element(By.ID, "message")
            self.assertEqual(shown.text, message, name)
            self.assertFalse(self.driver.find_element(By.ID, "download").is_enabled())
            self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, "#charts canvas"), [])

    def test_3_missing_option_means_what_tamsel_means(self):
        path = self.scratch / "gap.csv"
        lines = SAMPLE.read_text().splitlines()
        lines[40] = re.sub(r"^([^,]*,[^,]*),[^,]*", r"\1,", lines[40])  # an empty high
        path.write_text("\n".join(lines[:300]) + "\n")
        self.assertEqual(self.open_file(path), "error")
        # tamsel's message, its --missing options said as the page's menu says them.
        shown = self.driver.find_element(By.ID, "message").text
        expected = tamsel(path)[2]
        self.assertEqual(shown.split(" (")[0], expected.split(" (")[0])
        self.assertNotIn("--missing", shown)
        self.assertIn('choosing "Repeat the previous bar" in the Missing prices menu', shown)
        for how in ("previous", "nan"):
            self.driver.execute_script("document.body.dataset.state = 'choosing'")
            self.driver.find_element(By.CSS_SELECTOR, f"#missing option[value='{how}']").click()
            self.assertEqual(self.wait_state(("loaded", "error")), "loaded", how)
            for old in self.downloads.glob("gap-tamsel*.csv"):
                old.unlink()
            self.driver.find_element(By.ID, "download").click()
            self.assertEqual(self.downloaded("gap-tamsel.csv"), tamsel(path, how)[1], how)
        self.driver.find_element(By.CSS_SELECTOR, "#missing option[value='error']").click()

    def test_4_a_dropped_file_is_read_like_an_opened_one(self):
        text = "\n".join(SAMPLE.read_text().splitlines()[:120]) + "\n"
        self.driver.execute_script("document.body.dataset.state = 'choosing'")
        self.driver.execute_script("""
            const transfer = new DataTransfer();
            transfer.items.add(new File([arguments[0]], "dropped.csv", { type: "text/csv" }));
            document.dispatchEvent(new DragEvent("dragenter", { dataTransfer: transfer, cancelable: true }));
            document.dispatchEvent(new DragEvent("drop", { dataTransfer: transfer, cancelable: true }));
        """, text)
        self.assertEqual(self.wait_state(("loaded", "error")), "loaded")
        self.assertTrue(self.driver.find_element(By.ID, "drop-overlay").get_attribute("hidden") is not None)
        path = self.scratch / "dropped.csv"
        path.write_text(text)
        for old in self.downloads.glob("dropped-tamsel*.csv"):
            old.unlink()
        self.driver.find_element(By.ID, "download").click()
        self.assertEqual(self.downloaded("dropped-tamsel.csv"), tamsel(path)[1])

    def test_5_a_large_file_converts_while_the_page_answers(self):
        # 200,000 bars take the conversion long enough to be seen at work; a
        # page doing it on its own thread could not answer until it was done.
        large = self.scratch / "large.csv"
        start = datetime.date(1800, 1, 1)
        large.write_text("Date,High,Low\n" + "".join(
            f"{start + datetime.timedelta(days=i)},{101 + i % 17 * 0.25},{99 - i % 13 * 0.25}\n"
            for i in range(200_000)))
        small = self.scratch / "small.csv"
        small.write_text("\n".join(SAMPLE.read_text().splitlines()[:100]) + "\n")

        self.driver.execute_script("document.body.dataset.state = 'choosing'")
        self.driver.find_element(By.ID, "file").send_keys(str(large))
        WebDriverWait(self.driver, 60, poll_frequency=0.02).until(
            lambda d: d.execute_script("return document.body.dataset.state") == "busy")
        self.assertEqual(self.driver.execute_async_script(
            "const done = arguments[arguments.length - 1]; setTimeout(() => done(document.body.dataset.state), 0);"),
            "busy", "the page did not answer while the large file converted")
        # A file opened meanwhile wins: the large file's reply, which comes
        # first, changes nothing.
        self.driver.find_element(By.ID, "file").send_keys(str(small))
        self.assertEqual(self.wait_state(("loaded", "error")), "loaded")
        self.assertIn("of 99)", self.driver.find_element(By.ID, "readout").text)
        self.driver.find_element(By.ID, "file").send_keys(str(large))
        WebDriverWait(self.driver, 120).until(
            lambda d: "of 200000)" in d.find_element(By.ID, "readout").text)


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--tamsel", required=True, help="the tamsel binary built from this tree")
    parser.add_argument("--screenshot", help="where to keep the screenshot of the sample")
    OPTIONS, rest = parser.parse_known_args()
    OPTIONS.tamsel = str(Path(OPTIONS.tamsel).resolve())
    unittest.main(argv=[sys.argv[0], *rest], verbosity=2)
