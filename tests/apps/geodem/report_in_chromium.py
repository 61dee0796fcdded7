#!/usr/bin/python3
"""The HTML report of `geodem check --html`, opened in headless Chromium as its reader opens it.

Drives Chromium through the DevTools protocol on a pipe (--remote-debugging-pipe, no network
port): the page loads without console errors or network requests (its content security policy
lets only its own script and style run, by their hashes), its table has one row per file, every
quick-look has loaded, sorting by status puts the worst first, and file names show as text; under
a Chinese locale the page's language (as written, before its script runs), title, own words and
quick-look legend are Chinese.

  report_in_chromium.py GEODEM      exit 0 passed, 1 failed, 77 skipped (no Chromium)
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time

try:
    from osgeo import gdal
    import numpy as np
except ImportError as e:
    print("skipped: Debian's python3-gdal and python3-numpy are needed (%s)" % e)
    sys.exit(77)


def skip(why):
    print("skipped: " + why)
    sys.exit(77)


class DevTools:
    def __init__(self, chromium, profile):
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def pipes():
            # Through copies: the pipes may already be 3 and 4, and dup2 onto itself would keep
            # them closed on exec.
            read, write = os.dup(to_browser_read), os.dup(from_browser_write)
            os.dup2(read, 3)
            os.dup2(write, 4)

        self.process = subprocess.Popen(
            [chromium, "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
             "--no-first-run", "--disable-background-networking", "--disable-component-update",
             "--disable-sync", "--user-data-dir=" + profile, "--remote-debugging-pipe",
             "about:blank"],
            preexec_fn=pipes, close_fds=False, stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL)
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.buffer = b""
        self.next_id = 0
        self.events = []

    def receive(self):
        while b"\0" not in self.buffer:
            chunk = os.read(self.from_browser, 65536)
            if not chunk:
                raise RuntimeError("Chromium closed the pipe")
            self.buffer += chunk
        message, self.buffer = self.buffer.split(b"\0", 1)
        return json.loads(message)

    def call(self, method, params=None, session=None):
        self.next_id += 1
        message = {"id": self.next_id, "method": method, "params": params or {}}
        if session:
            message["sessionId"] = session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        while True:
            reply = self.receive()
            if reply.get("id") == self.next_id:
                if "error" in reply:
                    raise RuntimeError(method + ": " + json.dumps(reply["error"]))
                return reply["result"]
            self.events.append(reply)

    def wait_for(self, method):
        while True:
            for i, event in enumerate(self.events):
                if event.get("method") == method:
                    return self.events.pop(i)
            self.events.append(self.receive())

    def close(self):
        try:
            self.call("Browser.close")
        except Exception:
            pass
        try:
            self.process.wait(timeout=20)
        except subprocess.TimeoutExpired:
            self.process.kill()


def make_files(geodem, folder, env):
    """Two good grid files named by sheet numbers, one under a name full of HTML, one damaged."""
    files = []
    for i, (name, rows) in enumerate([("J50E001010", 60), ("J50E001011", 40),
                                      ("c<img src=x onerror=alert(1)>&\"", 50)]):
        tif = os.path.join(folder, "s%d.tif" % i)
        ds = gdal.GetDriverByName("GTiff").Create(tif, 80, rows, 1, gdal.GDT_Float32)
        ds.SetGeoTransform([500000, 25, 0, 4000000, 0, -25])
        y, x = np.mgrid[0:rows, 0:80]
        ds.GetRasterBand(1).WriteArray((1000 + 10 * x - 5 * y + 100 * i).astype(np.float32))
        ds = None
        dem = os.path.join(folder, name + ".dem")
        subprocess.run([geodem, "convert", "-q", "--format-version", "GRD_2007", tif, dem],
                       check=True, env=env)
        files.append(dem)
    broken = os.path.join(folder, "broken.dem")
    with open(files[0], "rb") as f:
        text = f.read().replace(b"Row: 60", b"Row: 61")
    with open(broken, "wb") as f:
        f.write(text)
    files.append(broken)
    return files


def make_batch_report(geodem, folder, env):
    """A batch of two sheets and one tile that fails, and the page of its journal."""
    tiles = os.path.join(folder, "tiles")
    os.mkdir(tiles)
    for name in ("J50E001010", "J50E001011"):
        ds = gdal.GetDriverByName("GTiff").Create(os.path.join(tiles, name + ".tif"), 50, 40, 1,
                                                  gdal.GDT_Float32)
        ds.SetGeoTransform([500000, 25, 0, 4000000, 0, -25])
        y, x = np.mgrid[0:40, 0:50]
        ds.GetRasterBand(1).WriteArray((800 + 3 * x + 2 * y).astype(np.float32))
        ds = None
    with open(os.path.join(tiles, "J50E001012.tif"), "w") as f:
        f.write("not a raster\n")
    out = os.path.join(folder, "out")
    tifs = sorted(os.path.join(tiles, t) for t in os.listdir(tiles))
    subprocess.run([geodem, "batch", "-q", "--out-dir", out] + tifs, env=env, capture_output=True)
    page = os.path.join(folder, "batch.html")
    run = subprocess.run([geodem, "batch", "--report", out, "--html", page], env=env,
                         capture_output=True, text=True)
    if run.returncode != 1 or not os.path.exists(page):
        print("geodem batch --report --html exited with %d (1 expected: a tile failed)\n%s%s"
              % (run.returncode, run.stdout, run.stderr))
        return None
    return page


def main():
    geodem = sys.argv[1]
    chromium = shutil.which("chromium")
    if not chromium:
        skip("no chromium here (Debian's package chromium)")
    with tempfile.TemporaryDirectory(prefix="geodem-report-") as folder:
        env = dict(os.environ, GEODEM_REGISTRY=os.path.join(folder, "registry"))
        subprocess.run([geodem, "register"], check=True, env=env, capture_output=True)
        files = make_files(geodem, folder, env)
        report = os.path.join(folder, "report.html")
        run = subprocess.run([geodem, "check", "--html", report] + files, env=env,
                             capture_output=True, text=True)
        if run.returncode != 1:
            print("geodem check exited with %d (1 expected: one file has errors)\n%s%s"
                  % (run.returncode, run.stdout, run.stderr))
            return 1
        chinese = os.path.join(folder, "report-zh.html")
        subprocess.run([geodem, "check", "--html", chinese] + files, capture_output=True,
                       env=dict(env, LANG="zh_CN.UTF-8", LC_ALL="", LANGUAGE=""))
        batch_page = make_batch_report(geodem, folder, env)
        if batch_page is None:
            return 1
        tools = DevTools(chromium, os.path.join(folder, "profile"))
        try:
            failures = inspect(tools, report, len(files), ["errors", "ok", "ok", "ok"],
                               [["status-ok", True], ["status-ok", True]])
            failures += inspect(tools, chinese, len(files), ["errors", "ok", "ok", "ok"],
                                [["status-ok", True], ["status-ok", True]],
                                ("zh-CN", "状态", "色带从 ", "geodem check 报告"))
            failures += inspect(tools, batch_page, 3, ["failed", "done", "done"],
                                [["status-done", True], ["status-done", True],
                                 ["status-failed", True]],
                                ("en", "Status", "", "geodem batch report"))
        finally:
            tools.close()
        for failure in failures:
            print("FAILED: " + failure)
        return 1 if failures else 0


def inspect(tools, report, count, sorted_statuses, map_shapes,
            language=("en", "Status", "colours from ", "geodem check report")):
    """What is wrong with the page, as lines; none when it is right. `language`: the page's
    language tag, the title of its status column, the start of a quick-look legend and the
    page's title."""
    failures = []
    with open(report, encoding="utf-8") as f:
        text = f.read()
    # As written: the browser chooses fonts by them before any script runs.
    written = '<html lang="%s">' % language[0], "<title>%s</title>" % language[3]
    if not all(w in text for w in written) or "unsafe-inline" in text:
        failures.append("the page as written lacks %s, or allows inline code by 'unsafe-inline'"
                        % (written,))
    targets = []
    for _ in range(100):
        targets = [t for t in tools.call("Target.getTargets")["targetInfos"] if t["type"] == "page"]
        if targets:
            break
        time.sleep(0.1)
    session = tools.call("Target.attachToTarget",
                         {"targetId": targets[0]["targetId"], "flatten": True})["sessionId"]
    for domain in ("Runtime", "Log", "Page", "Network"):
        tools.call(domain + ".enable", session=session)
    tools.call("Page.navigate", {"url": "file://" + report}, session=session)
    tools.wait_for("Page.loadEventFired")

    def evaluate(expression):
        result = tools.call("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                 "awaitPromise": True}, session=session)
        if "exceptionDetails" in result:
            raise RuntimeError(expression + ": " + json.dumps(result["exceptionDetails"]))
        return result["result"].get("value")

    words = evaluate("[document.documentElement.lang, "
                     "document.querySelector('th[data-key=status]').textContent, "
                     "(document.querySelector('.legend') || {textContent: ''})"
                     ".textContent.slice(0, %d), document.title]"
                     % len(language[2]))
    if words != list(language):
        failures.append("language, status title, legend and title %s, not %s"
                        % (words, list(language)))
    rows = evaluate("document.querySelectorAll('#files tbody tr').length")
    if rows != count:
        failures.append("%s table rows for %d files" % (rows, count))
    widths = evaluate("Promise.all([...document.images].map(i => i.decode()"
                      ".then(() => i.naturalWidth, () => 0)))")
    # Every file whose cells were all read has its picture: all but the broken or failed one.
    if len(widths) != count - 1 or min(widths) <= 0:
        failures.append("quick-look widths %s" % widths)
    statuses = evaluate("document.querySelector('th[data-key=status]').click(), "
                        "[...document.querySelectorAll('#files tbody tr')]"
                        ".map(r => r.dataset.status)")
    if statuses != sorted_statuses:
        failures.append("sorted by status: %s" % statuses)
    names = evaluate("[...document.querySelectorAll('#files tbody tr td:first-child > div')]"
                     ".map(d => d.textContent)")
    if "batch" not in report and not any("<img src=x onerror=alert(1)>&\"" in n for n in names):
        failures.append("file names shown as %s" % names)
    if evaluate("document.querySelectorAll('#files img:not(.quicklook)').length") != 0:
        failures.append("a file name became markup")
    # One shape per file named by a sheet number, each a link to its row.
    shapes = evaluate("[...document.querySelectorAll('#map svg a')].map(a => "
                      "[a.querySelector('rect').getAttribute('class'), "
                      "document.getElementById(a.getAttribute('href').slice(1)) !== null])")
    if sorted(shapes) != sorted(map_shapes):
        failures.append("map shapes %s" % shapes)

    events, tools.events = tools.events, []
    for event in events:
        method, params = event.get("method"), event.get("params", {})
        if method == "Runtime.exceptionThrown":
            failures.append("exception: " + json.dumps(params["exceptionDetails"]))
        elif method == "Runtime.consoleAPICalled" and params.get("type") in ("error", "assert"):
            failures.append("console error: " + json.dumps(params.get("args")))
        elif method == "Log.entryAdded" and params["entry"].get("level") == "error":
            failures.append("log error: " + params["entry"].get("text", ""))
        elif method == "Network.requestWillBeSent":
            url = params["request"]["url"]
            if not url.startswith(("file:", "data:")):
                failures.append("network request: " + url)
    tools.call("Target.detachFromTarget", {"sessionId": session})
    return [os.path.basename(report) + ": " + f for f in failures]


if __name__ == "__main__":
    sys.exit(main())
