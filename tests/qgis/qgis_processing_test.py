#!/usr/bin/python3
"""geodem's Processing provider in QGIS, headless: each algorithm run by qgis_process against what
geodem itself gives for the same work, the help in Chinese, and a cancel through Processing's
feedback that leaves nothing half-written. QGIS runs offscreen with a home of its own (the user's
QGIS settings are never read or changed), the build tree's plugin and geodem, and a registry of its
own.

  qgis_processing_test.py algorithms|cancel_and_open GEODEM PLUGIN_FOLDER SOURCE_DIR
  exit 0 passed, 1 failed, 77 skipped (no QGIS)
"""
import csv
import gettext
import glob
import json
import os
import shutil
import subprocess
import sys
import tempfile

mode, geodem, plugins, source_dir = sys.argv[1:5]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL: " + what)


def qgis_process():
    for name in ("qgis_process.bin", "qgis_process"):
        # Debian's qgis_process wrapper passes an option the program does not know.
        found = shutil.which(name)
        if found:
            return found
    print("skipped: QGIS's qgis_process is not installed (Debian's qgis)")
    sys.exit(77)


def environment(work):
    home = os.path.join(work, "home")
    runtime = os.path.join(work, "runtime")
    os.makedirs(home)
    os.makedirs(runtime, mode=0o700)
    env = dict(os.environ, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
               XDG_DATA_HOME=os.path.join(home, ".local", "share"),
               XDG_CACHE_HOME=os.path.join(home, ".cache"), XDG_RUNTIME_DIR=runtime,
               QT_QPA_PLATFORM="offscreen", QGIS_PLUGINPATH=plugins,
               PYTHONDONTWRITEBYTECODE="1", GEODEM_REGISTRY=os.path.join(work, "registry"),
               LANG="C.UTF-8", LC_ALL="", LANGUAGE="")
    # The build's geodem first, whatever else is installed.
    env["PATH"] = os.path.dirname(geodem) + os.pathsep + env.get("PATH", "")
    subprocess.run([geodem, "register"], check=True, env=env, capture_output=True)
    return env


def sample(work, name, width, height):
    path = os.path.join(work, name)
    subprocess.run([os.path.join(source_dir, "scripts", "sample_dem.sh"), path, str(width),
                    str(height)], check=True)
    return path


def geodem_run(env, *arguments, status=(0,)):
    run = subprocess.run([geodem] + list(arguments), env=env, capture_output=True, text=True)
    if run.returncode not in status:
        raise RuntimeError("geodem %s: exit status %d: %s" % (" ".join(arguments),
                                                             run.returncode, run.stderr))
    return run.stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


class QgisProcess:
    def __init__(self, env):
        self.program = qgis_process()
        self.env = env
        enabled = subprocess.run([self.program, "plugins", "enable", "geodem"], env=env,
                                 capture_output=True, text=True)
        check(enabled.returncode == 0, "qgis_process cannot enable the plugin: " + enabled.stderr)

    def run(self, algorithm, **parameters):
        """(exit status, results, log) of one algorithm; a list gives the parameter repeated."""
        arguments = [self.program, "--json", "run", "geodem:" + algorithm]
        for name, value in parameters.items():
            for item in value if isinstance(value, list) else [value]:
                arguments.append("--%s=%s" % (name, item))
        run = subprocess.run(arguments, env=self.env, capture_output=True, text=True)
        try:
            results = json.loads(run.stdout).get("results", {})
        except ValueError:
            results = {}
        return run.returncode, results, run.stdout + run.stderr

    def statistics(self, raster):
        """QGIS's own statistics of band 1 of a raster, as it opens it (no option passed)."""
        run = subprocess.run([self.program, "--json", "run", "native:rasterlayerstatistics",
                              "--INPUT=" + raster, "--BAND=1"], env=self.env, capture_output=True,
                             text=True)
        try:
            return json.loads(run.stdout).get("results", {})
        except ValueError:
            return {}

    def help(self, algorithm, language, qgis_language=None):
        """The help under the locale LANGUAGE, in a profile set to QGIS_LANGUAGE if given."""
        env = dict(self.env, LANG=language, LC_ALL=language)
        if qgis_language:
            env["HOME"] = tempfile.mkdtemp(dir=os.path.dirname(self.env["HOME"]))
            env["XDG_DATA_HOME"] = os.path.join(env["HOME"], ".local", "share")
            profile = os.path.join(env["XDG_DATA_HOME"], "QGIS", "QGIS3", "profiles", "default",
                                   "QGIS")
            os.makedirs(profile)
            with open(os.path.join(profile, "QGIS3.ini"), "w", encoding="utf-8") as f:
                f.write("[PythonPlugins]\ngeodem=true\n\n[locale]\noverrideFlag=true\n"
                        "userLocale=%s\n" % qgis_language)
        return subprocess.run([self.program, "help", "geodem:" + algorithm], env=env,
                              capture_output=True, text=True).stdout


def test_convert(qgis, env, work, tif):
    """The grid file (and .prj) byte for byte geodem convert's, with the defaults and without."""
    cases = [({}, []),
             ({"FORMAT_VERSION": 1, "ZOOM": 10, "NODATA": -9999, "PRJ": 1},
              ["--format-version", "GRD_2007", "--zoom", "10", "--nodata", "-9999", "--prj"])]
    for i, (parameters, options) in enumerate(cases):
        ours, theirs = os.path.join(work, "q%d.dem" % i), os.path.join(work, "g%d.dem" % i)
        status, results, log = qgis.run("convert", INPUT=tif, OUTPUT=ours, **parameters)
        geodem_run(env, "convert", "-q", *options, tif, theirs)
        check(status == 0 and results.get("OUTPUT") == ours, "convert %s failed: %s" % (i, log))
        if status != 0:
            continue
        check(read(ours) == read(theirs), "convert %d: the grid file differs from geodem's" % i)
        if "--prj" in options:
            check(read(ours[:-4] + ".prj") == read(theirs[:-4] + ".prj"),
                  "convert %d: the .prj differs from geodem's" % i)
    # An existing grid file without OVERWRITE: the algorithm fails with geodem's reason, and the
    # file stays as it was.
    existing = os.path.join(work, "q0.dem")
    if not os.path.exists(existing):
        return
    before = read(existing)
    status, _, log = qgis.run("convert", INPUT=tif, OUTPUT=existing, ZOOM=10)
    # geodem's advice names the checkbox, not the option, and the plugin says the reason once
    # (as its exception, which qgis_process prints three times itself).
    reason = '"Replace an existing grid file"'
    check(status != 0 and reason in log and "--overwrite" not in log and log.count(reason) <= 3,
          "convert over an existing file did not fail with geodem's reason once, naming the "
          "checkbox: " + log)
    check(read(existing) == before, "convert without OVERWRITE changed the existing grid file")
    # Written with --nodata -9999, QGIS (reading it through the build's driver) leaves the no-data
    # cells out as the source's: the same lowest height and mean, to within half a unit of 1/zoom.
    if not os.environ.get("GDAL_DRIVER_PATH"):
        return
    source, grid = qgis.statistics(tif), qgis.statistics(os.path.join(work, "q1.dem"))
    check(all(k in grid and abs(grid[k] - source.get(k, 1e30)) <= 0.051 for k in ("MIN", "MEAN")),
          "QGIS's statistics of the grid written with --nodata -9999 %s, of its source %s"
          % (grid, source))


def dem_files(folder):
    return {os.path.basename(p): read(p) for p in glob.glob(os.path.join(folder, "*.dem"))}


def test_sheets(qgis, env, work, tif):
    """The same sheets, named and written as geodem sheets writes them."""
    ours, theirs = os.path.join(work, "qsheets"), os.path.join(work, "gsheets")
    status, results, log = qgis.run("sheets", INPUT=tif, SCALE=6, JOBS=2, OUTPUT=ours)
    geodem_run(env, "sheets", "-q", "--scale", "10000", "-j", "2", "--out-dir", theirs, tif)
    check(status == 0 and results.get("OUTPUT") == ours, "sheets failed: " + log)
    expected = dem_files(theirs)
    check(len(expected) >= 2, "the sample should cover several 1:10 000 sheets")
    got = dem_files(ours)
    check(sorted(got) == sorted(expected),
          "sheets wrote %s, geodem sheets %s" % (sorted(got), sorted(expected)))
    check(all(got.get(name) == data for name, data in expected.items()),
          "a sheet's grid file differs from geodem sheets'")
    # Run again: by default the journal's done sheets stay; redoing all rewrites each.
    for resume, rewritten in ((0, False), (2, True)):
        before = {p: os.stat(p).st_mtime_ns for p in glob.glob(os.path.join(ours, "*.dem"))}
        status, _, log = qgis.run("sheets", INPUT=tif, SCALE=6, RESUME=resume, OUTPUT=ours)
        changed = [p for p, t in before.items() if os.stat(p).st_mtime_ns != t]
        check(status == 0 and bool(changed) == rewritten and
              (not rewritten or len(changed) == len(before)),
              "sheets again with RESUME=%d rewrote %s: %s" % (resume, changed, log))
    return sorted(os.path.join(theirs, name) for name in expected)


def test_check(qgis, env, work, files):
    """The findings table holds every finding of geodem check --json, one row each, and a file
    without findings once; the HTML report is written. Only the JSON's structure is assumed: each
    file an object, its findings objects in lists."""
    broken = os.path.join(work, "broken.dem")
    data = read(files[0])
    with open(broken, "wb") as f:
        f.write(data[:len(data) * 2 // 3])
    files = files + [broken]
    table, report = os.path.join(work, "findings.csv"), os.path.join(work, "report.html")
    status, results, log = qgis.run("check", INPUT=files, SHEET=1, OUTPUT=table, REPORT=report)
    check(status == 0, "check failed: " + log)
    if status != 0:
        return
    checked = json.loads(geodem_run(env, "check", "--json", "--sheet", *files, status=(0, 1)))
    with open(table, newline="", encoding="utf-8") as f:
        rows = list(csv.DictReader(f))
    expected, without = 0, 0
    for entry in checked:
        own = {k: v for k, v in entry.items() if isinstance(v, str)}
        lists = [(k, v) for k, v in entry.items()
                 if isinstance(v, list) and v and all(isinstance(i, dict) for i in v)]
        without += not lists
        for name, items in lists:
            for item in items:
                expected += 1
                wanted = dict(own, finding=name)
                wanted.update({(k if k not in entry else "finding." + k): v
                               for k, v in item.items() if not isinstance(v, (dict, list))})
                match = [r for r in rows if all(r.get(k) == str(v) for k, v in wanted.items())]
                check(len(match) >= 1, "no row of the findings table holds %s" % wanted)
    check(expected > 0, "the broken file should have findings")
    check(len(rows) == expected + without,
          "the findings table has %d rows for %d findings and %d files without"
          % (len(rows), expected, without))
    with open(report, encoding="utf-8") as f:
        page = f.read()
    check(results.get("REPORT") == report and "<html" in page.lower() and "broken.dem" in page,
          "the HTML report is missing or does not name the files")
    # With EDGES, geodem prints an object: the table holds its files' findings and every edge.
    sheets = files[:-1]
    edges_table = os.path.join(work, "edges.csv")
    status, _, log = qgis.run("check", INPUT=sheets, EDGES=1, OUTPUT=edges_table,
                              REPORT=os.path.join(work, "edges.html"))
    check(status == 0, "check with EDGES failed: " + log)
    if status == 0:
        edges = json.loads(geodem_run(env, "check", "--edges", "--json", *sheets,
                                      status=(0, 1)))["edges"]
        with open(edges_table, newline="", encoding="utf-8") as f:
            found = [r for r in csv.DictReader(f) if r.get("finding") == "edges"]
        check(len(edges) > 0 and len(found) == len(edges) and
              {(r["first"], r["second"]) for r in found} ==
              {(e["first"], e["second"]) for e in edges},
              "the findings table holds %d edges, geodem %d" % (len(found), len(edges)))


def numbers_of(features, known):
    """The sheet number each feature carries: the one of its values among the known numbers."""
    found = []
    for feature in features:
        values = [v for v in feature["properties"].values() if v in known]
        found.append(values[0] if len(values) == 1 else None)
    return found


def test_sheet_index(qgis, env, work, tif):
    """The sheets of geodem sheets --list, each a rectangle on geodem sheets --extent's corners;
    over the sample's extent, at least those."""
    listed = [line.split()[0] for line in
              geodem_run(env, "sheets", "--scale", "10000", "--list", tif).splitlines() if line]
    index = os.path.join(work, "index.geojson")
    status, _, log = qgis.run("sheetindex", INPUT=tif, SCALE=6, OUTPUT=index)
    check(status == 0, "sheetindex failed: " + log)
    if status != 0:
        return
    with open(index, encoding="utf-8") as f:
        features = json.load(f)["features"]
    numbers = numbers_of(features, set(listed))
    check(sorted(n for n in numbers if n) == sorted(listed) and None not in numbers,
          "the index holds %s, geodem sheets --list %s" % (numbers, listed))
    for feature, number in zip(features, numbers):
        if not number:
            continue
        corners = [float(v) for v in geodem_run(env, "sheets", "--extent", number).split()]
        ring = feature["geometry"]["coordinates"][0]
        box = [min(p[0] for p in ring), min(p[1] for p in ring), max(p[0] for p in ring),
               max(p[1] for p in ring)]
        check(all(abs(a - b) < 1e-9 for a, b in zip(box, corners)),
              "sheet %s drawn at %s, geodem gives %s" % (number, box, corners))
    over_extent = os.path.join(work, "extent.geojson")
    status, _, log = qgis.run("sheetindex", EXTENT="500000,510000,3992500,4000000 [EPSG:32650]",
                              SCALE=6, OUTPUT=over_extent)
    check(status == 0, "sheetindex over an extent failed: " + log)
    if status == 0:
        with open(over_extent, encoding="utf-8") as f:
            found = set(numbers_of(json.load(f)["features"], set(listed)))
        check(set(listed) <= found, "the index over the extent lacks %s" % (set(listed) - found))
    # Only the sheets that share an area with the extent: 114.0-114.2 E, 30.5-30.6 N at
    # 1:10 000 holds 4 x 3 sheets.
    status, _, log = qgis.run("sheetindex", EXTENT="114.0,114.2,30.5,30.6 [EPSG:4326]", SCALE=6,
                              OUTPUT=os.path.join(work, "exact.geojson"))
    check(status == 0, "sheetindex over 114.0-114.2 E, 30.5-30.6 N failed: " + log)
    if status == 0:
        with open(os.path.join(work, "exact.geojson"), encoding="utf-8") as f:
            boxes = [f["properties"] for f in json.load(f)["features"]]
        inside = [b for b in boxes if b["west"] < 114.2 and b["east"] > 114.0 and
                  b["south"] < 30.6 and b["north"] > 30.5]
        check(len(boxes) == 12 and len(inside) == 12,
              "sheetindex over 114.0-114.2 E, 30.5-30.6 N gives %d sheets, %d of them over it"
              % (len(boxes), len(inside)))


def test_chinese_help(qgis, geodem):
    """Under a Chinese locale, or with QGIS set to its simplified Chinese (zh-Hans), the help
    shows the plugin's texts and geodem's option help in Chinese, from geodem's catalogue."""
    locale_dir = os.path.join(os.path.dirname(geodem), "..", "share", "locale")
    chinese = gettext.translation("geodem", locale_dir, languages=["zh_CN"])
    for language, qgis_language in (("zh_CN.UTF-8", None), ("C.UTF-8", "zh-Hans")):
        text = qgis.help("convert", language, qgis_language)
        for msgid in ("Convert to CNSDTF-DEM", "the band that holds the heights (default 1)"):
            translated = chinese.gettext(msgid)
            check(translated != msgid and translated in text,
                  "the help under %s, QGIS in %s, lacks %r (%r)"
                  % (language, qgis_language, msgid, translated))


def algorithms(work):
    env = environment(work)
    qgis = QgisProcess(env)
    tif = sample(work, "sample.tif", 400, 300)
    test_convert(qgis, env, work, tif)
    sheets = test_sheets(qgis, env, work, tif)
    if sheets:
        test_check(qgis, env, work, sheets)
    test_sheet_index(qgis, env, work, tif)
    test_chinese_help(qgis, geodem)


def cancel_and_open(work):
    """Through QGIS's Python: Processing's cancel during a long conversion, which fails as
    cancelled and leaves nothing but what was there before in the folder (an earlier grid file
    replaced with OVERWRITE stays byte for byte); then a whole conversion, whose grid file QGIS
    opens as a raster layer when the algorithm ends (where the GEODEM driver can be loaded)."""
    env = environment(work)
    os.environ.update(env)
    try:
        from qgis.core import QgsApplication, QgsProcessingContext, QgsProcessingFeedback
    except ImportError as e:
        print("skipped: Debian's python3-qgis is not installed (%s)" % e)
        sys.exit(77)
    small = sample(work, "sample.tif", 400, 300)
    big = os.path.join(work, "big.vrt")
    subprocess.run(["gdal_translate", "-q", "-of", "VRT", "-outsize", "800%", "800%", small, big],
                   check=True)
    app = QgsApplication([], False)
    app.initQgis()
    sys.path.insert(0, plugins)
    from geodem.geodem_provider import GeodemProvider
    provider = GeodemProvider()  # Python keeps the provider alive, not the registry
    QgsApplication.processingRegistry().addProvider(provider)
    algorithm = QgsApplication.processingRegistry().createAlgorithmById("geodem:convert")

    class Feedback(QgsProcessingFeedback):
        def __init__(self):
            super().__init__()
            self.progress, self.errors = [], []
            self.progressChanged.connect(self.on_progress)

        def on_progress(self, percent):
            self.progress.append(percent)
            if percent > 0:
                self.cancel()

        def reportError(self, error, fatalError=False):  # noqa: N802, N803
            self.errors.append(error)

    for earlier in (None, b"an earlier grid file\n"):
        folder = tempfile.mkdtemp(dir=work)
        output = os.path.join(folder, "big.dem")
        if earlier:
            with open(output, "wb") as f:
                f.write(earlier)
        feedback = Feedback()
        _, ok = algorithm.run({"INPUT": big, "OUTPUT": output, "OVERWRITE": bool(earlier)},
                              QgsProcessingContext(), feedback)
        case = "over an earlier file" if earlier else "into an empty folder"
        check(not ok and feedback.isCanceled(), "the cancelled conversion %s succeeded" % case)
        check(any(0 < p < 100 for p in feedback.progress),
              "no progress reached Processing before the cancel %s: %s" % (case, feedback.progress))
        check(any("cancel" in e for e in feedback.errors),
              "the cancel %s was not reported: %s" % (case, feedback.errors))
        left = sorted(os.listdir(folder))
        check(left == (["big.dem"] if earlier else []), "the cancel %s left %s" % (case, left))
        if earlier:
            check(read(output) == earlier, "the cancel replaced the earlier grid file")
    if os.environ.get("GDAL_DRIVER_PATH"):
        test_opens_when_done(algorithm, small, work)
    app.exitQgis()


def test_opens_when_done(algorithm, tif, work):
    from qgis.core import (QgsProcessingContext, QgsProcessingFeedback, QgsProcessingUtils,
                           QgsProject)
    context = QgsProcessingContext()
    context.setProject(QgsProject.instance())
    output = os.path.join(work, "whole.dem")
    results, ok = algorithm.run({"INPUT": tif, "OUTPUT": output}, context,
                                QgsProcessingFeedback())
    check(ok and results.get("OUTPUT") == output, "the conversion through QGIS's Python failed")
    to_load = list(context.layersToLoadOnCompletion().keys())
    check(to_load == [output], "QGIS is to open %s when the conversion ends" % to_load)
    layer = QgsProcessingUtils.mapLayerFromString(output, context) if to_load else None
    check(layer is not None and layer.isValid() and (layer.width(), layer.height()) == (400, 300),
          "QGIS does not open the grid file as a 400 x 300 raster")


def main():
    work = tempfile.mkdtemp(prefix="geodem-qgis-")
    try:
        if mode == "cancel_and_open":
            cancel_and_open(work)
        else:
            if not shutil.which("qgis_process.bin") and not shutil.which("qgis_process"):
                qgis_process()
            algorithms(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if failures:
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
