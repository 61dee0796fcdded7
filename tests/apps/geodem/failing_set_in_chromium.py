#!/usr/bin/python3
"""The pages of a 3 x 3 sheet set with one edited cell, as headless Chromium renders them: the
pages of `geodem check --edges --html`, `geodem sheets --report --edges --html` and `geodem batch
--report --edges --html` each say at the top, in red, what failed (with counts), draw the edge in
red, name the place of the largest difference in both files, and fill Min and Max for every
tile; the same set without the edit renders all green. Read from the rendered DOM, not from the
page's data.

  failing_set_in_chromium.py GEODEM      exit 0 passed, 1 failed, 77 skipped (no Chromium)
"""
import glob
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from report_in_chromium import DevTools, gdal, np, skip  # noqa: E402

CELL = 10.0 / 3600  # a 1:50 000 sheet is 90 x 60 cells


def source(path, edit):
    """116.0-116.75 E, 39.5-40.0 N: the sheets J50E001009 to J50E003011; `edit` raises the cell
    on the edge of the first two sheets (the same number of digits: the grid keeps its size)."""
    ds = gdal.GetDriverByName("GTiff").Create(path, 270, 180, 1, gdal.GDT_Float32)
    ds.SetGeoTransform([116.0, CELL, 0, 40.0, 0, -CELL])
    srs = gdal.osr.SpatialReference()
    srs.ImportFromEPSG(4490)
    ds.SetProjection(srs.ExportToWkt())
    y, x = np.mgrid[0:180, 0:270]
    heights = (100 + 0.25 * x + 0.5 * y).astype(np.float32)
    if edit:
        heights[30, 90] += 10
    ds.GetRasterBand(1).WriteArray(heights)
    ds = None


def run(geodem, env, args, status):
    r = subprocess.run([geodem] + args, env=env, capture_output=True, text=True)
    if r.returncode != status:
        raise RuntimeError("geodem %s exited %d, not %d\n%s%s"
                           % (" ".join(args), r.returncode, status, r.stdout, r.stderr))


def pages(geodem, folder, env, edited):
    """The three pages of the set, with the edit or without; the edited sheet replaces the clean
    one in a copy of the sheets' folder and in the batch's folder, as a hand edit would."""
    tag = "edited" if edited else "clean"
    status = 1 if edited else 0
    sheets = os.path.join(folder, "sheets-" + tag)
    if edited:
        shutil.copytree(os.path.join(folder, "sheets-clean"), sheets)
        shutil.copy(os.path.join(folder, "sheets-cut-edited", "J50E001009.dem"), sheets)
        batch = os.path.join(folder, "batch-clean")
        shutil.copy(os.path.join(folder, "sheets-cut-edited", "J50E001009.dem"), batch)
    else:
        batch = os.path.join(folder, "batch-clean")
        vrts = sorted(glob.glob(os.path.join(sheets, "sheets-plan", "*.vrt")))
        run(geodem, env, ["batch", "-q", "--out-dir", batch] + vrts, 0)
    dems = sorted(glob.glob(os.path.join(sheets, "*.dem")))
    out = {}
    for name, args in (("check", ["check", "--edges"] + dems),
                       ("sheets", ["sheets", "--report", sheets, "--edges"]),
                       ("batch", ["batch", "--report", batch, "--edges"])):
        out[name] = os.path.join(folder, "%s-%s.html" % (name, tag))
        run(geodem, env, args + ["--html", out[name]], status)
    return out


def rendered(tools, page):
    """What the rendered page shows, as one object."""
    targets = []
    for _ in range(100):
        targets = [t for t in tools.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        if targets:
            break
        time.sleep(0.1)
    session = tools.call("Target.attachToTarget",
                         {"targetId": targets[0]["targetId"], "flatten": True})["sessionId"]
    tools.call("Page.enable", session=session)
    tools.call("Page.navigate", {"url": "file://" + page}, session=session)
    tools.wait_for("Page.loadEventFired")
    script = """(() => {
      const verdict = document.getElementById('verdict');
      const first = [...document.body.children].find(e => !e.hidden);
      const cells = [...document.querySelectorAll('#files tbody tr')].map(r => r.children);
      return {
        top: first ? first.id : '',
        verdictClass: verdict.className,
        verdictText: verdict.textContent,
        verdictColour: getComputedStyle(verdict).backgroundColor,
        redEdges: [...document.querySelectorAll('#map line.edge')]
          .filter(l => getComputedStyle(l).stroke === 'rgb(197, 34, 31)').length,
        greenEdges: document.querySelectorAll('#map line.edge-ok').length,
        edgeRows: [...document.querySelectorAll('#edges tbody tr')].map(r =>
          [r.children[2].textContent, r.children[6].textContent]),
        minMax: cells.map(c => [c[5].textContent, c[6].textContent]),
        statuses: cells.map(c => c[1].textContent),
      };
    })()"""
    result = tools.call("Runtime.evaluate", {"expression": script, "returnByValue": True},
                        session=session)
    widths = tools.call("Runtime.evaluate", {
        "expression": "Promise.all([...document.images].map(i => i.decode()"
                      ".then(() => Math.max(i.naturalWidth, i.naturalHeight), () => 0)))",
        "returnByValue": True, "awaitPromise": True}, session=session)
    result["result"]["value"]["pictures"] = widths["result"]["value"]
    tools.call("Target.detachFromTarget", {"sessionId": session})
    return result["result"]["value"]


def judge(name, page, edited):
    failures = []
    place = re.compile(r"^row \d+, column \d+ \| row \d+, column \d+$")
    if page["top"] != "verdict":
        failures.append("the page begins with #%s, not the verdict" % page["top"])
    if edited:
        if page["verdictClass"] != "verdict-failing" or page["verdictColour"] != "rgb(197, 34, 31)":
            failures.append("verdict %s in %s" % (page["verdictClass"], page["verdictColour"]))
        if "edges failing: 1 of 12" not in page["verdictText"]:
            failures.append("verdict says %r" % page["verdictText"])
        if page["redEdges"] != 1 or page["greenEdges"] != 11:
            failures.append("%d red and %d green edges" % (page["redEdges"], page["greenEdges"]))
        differing = [r for r in page["edgeRows"] if r[0] == "differs"]
        if len(differing) != 1 or not place.match(differing[0][1]):
            failures.append("edge rows %s" % page["edgeRows"])
    else:
        if page["verdictClass"] != "verdict-passed" or page["redEdges"] or page["greenEdges"] != 12:
            failures.append("clean set: verdict %s, %d red, %d green edges"
                            % (page["verdictClass"], page["redEdges"], page["greenEdges"]))
        if any(r[0] != "ok" for r in page["edgeRows"]) or len(page["edgeRows"]) != 12:
            failures.append("clean set: edge rows %s" % page["edgeRows"])
    if len(page["minMax"]) != 9 or not all(a and b for a, b in page["minMax"]):
        failures.append("Min and Max %s" % page["minMax"])
    # Sheets of 94 x 64 cells are drawn at the page's 256 pixels, not at their own size.
    if page["pictures"] != [256] * 9:
        failures.append("quick-looks of %s pixels" % page["pictures"])
    if any(s not in ("ok", "done") for s in page["statuses"]):
        failures.append("tile statuses %s" % page["statuses"])
    return ["%s (%s): %s" % (name, "edited" if edited else "clean", f) for f in failures]


def main():
    geodem = sys.argv[1]
    chromium = shutil.which("chromium")
    if not chromium:
        skip("no chromium here (Debian's package chromium)")
    with tempfile.TemporaryDirectory(prefix="geodem-failing-set-") as folder:
        env = dict(os.environ, GEODEM_REGISTRY=os.path.join(folder, "registry"), LANGUAGE="",
                   LC_ALL="C.UTF-8")
        subprocess.run([geodem, "register"], check=True, env=env, capture_output=True)
        for tag, edited in (("clean", False), ("cut-edited", True)):
            tif = os.path.join(folder, tag + ".tif")
            source(tif, edited)
            run(geodem, env, ["sheets", "--scale", "50000", "--buffer", "2", "-q", "--out-dir",
                              os.path.join(folder, "sheets-" + tag), tif], 0)
        clean = pages(geodem, folder, env, False)
        edited = pages(geodem, folder, env, True)
        tools = DevTools(chromium, os.path.join(folder, "profile"))
        failures = []
        try:
            for name in ("check", "sheets", "batch"):
                failures += judge(name, rendered(tools, clean[name]), False)
                failures += judge(name, rendered(tools, edited[name]), True)
        finally:
            tools.close()
        for failure in failures:
            print("FAILED: " + failure)
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
