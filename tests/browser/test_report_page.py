"""The report page as a person sees it: opened in headless Chromium, it opens
with the verdict, every picture loads at its own size and the summary shows
the figures of metrics.json."""
import json
import os
import re
import shutil
import struct
import subprocess
import tempfile

import pytest
from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

from bmp_files import write_bmp

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"


def make_report(bin_dir, folder):
    """Frames with vignetting and defects, both maps made by the program."""
    width, height = 200, 120
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            d = ((x - width / 2) ** 2 + (y - height / 2) ** 2) / (width * width / 4)
            row.append(int(200 - 90 * d))
        rows.append(row)
    rows[30][40] = 255
    rows[31][41] = 255
    rows[80][150] = 5
    for y in range(height):
        rows[y][120] = min(255, rows[y][120] + 50)
    frames = []
    for i in range(3):
        frames.append(os.path.join(folder, "f%d.bmp" % i))
        write_bmp(frames[-1], [[min(255, v + (i + x) % 3) for x, v in enumerate(row)]
                               for row in rows])
    program = os.path.join(bin_dir, "Kervo_Dravelmonix")
    subprocess.run([program, "--load_img", *frames, "--create_defpix_map", "--save_defpix_map",
                    "defpix.txt", "--load_img", *frames, "--create_shading_map",
                    "--save_shading_map", "shading.txt"],
                   cwd=folder, check=True, stdout=subprocess.DEVNULL)
    # A requirement that holds given before one that fails.
    judged = subprocess.run([os.path.join(bin_dir, "kd-inspect"), "report", *frames, "--defpix",
                             "defpix.txt", "--shading", "shading.txt", "--out", "report",
                             "--require", "frames.count==3", "--require", "frames.count>=4"],
                            cwd=folder, stdout=subprocess.DEVNULL)
    assert judged.returncode == 1
    return os.path.join(folder, "report")


def picture_size(path):
    with open(path, "rb") as f:
        data = f.read()
    if data.startswith(b"\x89PNG"):
        return struct.unpack(">II", data[16:24])
    found = re.search(rb'<svg[^>]* width="(\d+)" height="(\d+)"', data)
    return int(found.group(1)), int(found.group(2))


def flattened(tree, prefix=""):
    for key, value in tree.items():
        if isinstance(value, dict):
            yield from flattened(value, prefix + key + ".")
        else:
            yield prefix + key, value


@pytest.fixture
def browser():
    profile = tempfile.mkdtemp(prefix="kd-chromium-")
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for flag in ("--headless=new", "--no-sandbox", "--disable-gpu", "--disable-dev-shm-usage",
                 "--disable-quic", "--no-first-run", "--disable-background-networking",
                 "--disable-component-update", "--disable-sync", "--window-size=1280,1000",
                 "--user-data-dir=" + profile):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
    yield driver
    driver.quit()
    shutil.rmtree(profile, ignore_errors=True)


def test_the_page_shows_every_picture_and_the_figures_of_metrics_json(request, tmp_path,
                                                                      browser):
    report = make_report(request.config.getoption("--bin-dir"), str(tmp_path))
    browser.get("file://" + os.path.join(report, "report.html"))
    WebDriverWait(browser, 30).until(lambda d: d.execute_script(
        "return document.readyState === 'complete' && "
        "Array.from(document.images).every(i => i.complete)"))

    shown = browser.execute_script(
        "return Array.from(document.images).map(i => [i.getAttribute('src'), "
        "i.naturalWidth, i.naturalHeight, i.getBoundingClientRect().width])")
    assert sorted(src for src, *_ in shown) == ["defects.png", "deviation.svg", "gains.png",
                                                "profiles.svg"]
    for src, natural_width, natural_height, drawn_width in shown:
        assert (natural_width, natural_height) == picture_size(os.path.join(report, src)), src
        assert drawn_width == natural_width, src

    opening = browser.execute_script(
        "return Array.from(document.body.children).slice(0, 3).map(e => e.tagName + '#' + e.id)")
    assert opening == ["H1#", "H2#verdict", "TABLE#requirements"]
    assert browser.find_element(By.ID, "verdict").text.startswith("FAIL")
    rows = [row.text for row in browser.find_elements(By.CSS_SELECTOR, "#requirements tr")]
    assert rows[1:] == ["frames.count >= 4 3 FAIL", "frames.count == 3 3 pass"]

    with open(os.path.join(report, "metrics.json")) as f:
        tree = json.load(f)
    assert tree.pop("verdict")["pass"] is False
    metrics = dict(flattened(tree))
    assert len(metrics) == 32
    for key, value in metrics.items():
        cell = browser.find_element(By.CSS_SELECTOR, '#summary td[data-key="%s"]' % key)
        if value is None:
            assert cell.text == "\u2013", key
        else:
            assert float(cell.text) == value, key
