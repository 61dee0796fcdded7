#!/usr/bin/python3
"""Each writer of a grid file set (geodem convert, geodem batch, the GDAL driver's CreateCopy and
Create) killed at every rename and unlink it makes: the name then holds the earlier set, or the new
one, or one of the two states between them (the earlier grid with its .prj kept aside, the new grid
with its .prj ready beside it), never a grid beside another grid's .prj; and the next writer of the
name completes it.

    commit_kill_points.py GEODEM SANITIZED
"""
import os
import shutil
import subprocess
import sys
import tempfile

from osgeo import gdal

GEODEM, SANITIZED = sys.argv[1], sys.argv[2] not in ("0", "", "OFF", "FALSE")
STEPS = ("rename", "renameat", "renameat2", "unlink", "unlinkat")
CREATE = """
import sys
from osgeo import gdal
gdal.UseExceptions()
src = gdal.Open(sys.argv[1])
out = gdal.GetDriverByName("GEODEM").Create(sys.argv[2], src.RasterXSize, src.RasterYSize, 1,
                                            gdal.GDT_Float32, ["PRJ=YES"])
out.SetGeoTransform(src.GetGeoTransform())
out.SetProjection(src.GetProjection())
out.GetRasterBand(1).WriteArray(src.GetRasterBand(1).ReadAsArray())
out = None
"""


def source(path, value, srs):
    ds = gdal.GetDriverByName("GTiff").Create(path, 6, 4, 1, gdal.GDT_Float32)
    ds.SetGeoTransform((500000, 10, 0, 4000000, 0, -10) if srs == "EPSG:4547" else
                       (114, 0.01, 0, 30, 0, -0.01))
    if srs:
        ds.SetProjection(srs)
    ds.GetRasterBand(1).Fill(value)
    ds = None


def writers(work):
    found = {
        "geodem convert": lambda src, grid: [GEODEM, "convert", "-q", "--overwrite", "--prj",
                                             src, grid],
        "geodem batch": lambda src, grid: [GEODEM, "batch", "-q", "--overwrite", "--prj",
                                           "--out-dir", os.path.dirname(grid), src],
    }
    if not SANITIZED:  # an instrumented plug-in loads only into instrumented programs
        found["gdal_translate"] = lambda src, grid: ["gdal_translate", "-q", "-of", "GEODEM",
                                                     src, grid]
        found["Python Create"] = lambda src, grid: [sys.executable, "-c", CREATE, src, grid]
    return found


def read(path):
    with open(path, "rb") as f:
        return f.read()


def prj_files(folder):
    return {n: read(os.path.join(folder, n)) for n in os.listdir(folder) if n.lower() == "g.prj"}


def side(folder, ending):
    return [n for n in os.listdir(folder) if n.endswith(ending)]


def mixed(folder, earlier, new):
    """What is wrong with the folder's set just after a kill; None when nothing."""
    grid = read(f"{folder}/g.dem") if os.path.exists(f"{folder}/g.dem") else None
    prjs = prj_files(folder)
    if grid == earlier["grid"]:
        if prjs == earlier["prj"] or (not prjs and side(folder, ".kept")):
            return None
    elif grid == new["grid"]:
        if prjs == new["prj"] or (not prjs and (side(folder, ".ready") or not new["prj"])):
            return None
    else:
        return "the grid is neither the earlier one nor the new one"
    return f"the grid stands beside {sorted(prjs)}"


def incomplete(folder, earlier, new):
    grid = read(f"{folder}/g.dem")
    prjs = prj_files(folder)
    if (grid, prjs) not in ((earlier["grid"], earlier["prj"]), (new["grid"], new["prj"])):
        return f"not a whole set: {sorted(os.listdir(folder))}"
    left = [n for n in os.listdir(folder) if n.startswith("g.") and
            n.endswith((".kept", ".ready", ".part", ".lock", ".tmp.tif"))]
    return f"left {left}" if left else None


def run(command, inject=None):
    if inject:
        command = ["strace", "-f", "-qq", "-o", "/dev/null", "-e", f"trace={inject[0]}",
                   "-e", f"inject={inject[0]}:signal=KILL:when={inject[1]}"] + command
    return subprocess.run(command, capture_output=True, text=True)


def counts(command):
    """How often the writer calls each of STEPS."""
    with tempfile.NamedTemporaryFile("r") as log:
        subprocess.run(["strace", "-f", "-qq", "-c", "-U", "name,calls", "-o", log.name,
                        "-e", "trace=" + ",".join(STEPS)] + command, capture_output=True)
        found = {}
        for line in log.read().splitlines():
            words = line.split()
            if len(words) == 2 and words[0] in STEPS and words[1].isdigit():
                found[words[0]] = int(words[1])
        return found


def main():
    work = tempfile.mkdtemp()
    try:
        return check(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)


def check(work):
    failures = points = 0
    source(f"{work}/a.tif", 100.0, "EPSG:4326")
    source(f"{work}/g.tif", 200.0, "EPSG:4547")  # batch names its grid after the source
    source(f"{work}/nosrs.tif", 300.0, None)
    cases = {  # the earlier .prj's name, and the new grid's source
        "earlier g.prj": ("g.prj", "g.tif"),
        "earlier g.PRJ": ("g.PRJ", "g.tif"),
        "no earlier .prj": (None, "g.tif"),
        "a new grid without a coordinate system": ("g.prj", "nosrs.tif"),
    }
    for writer, make in writers(work).items():
        for case, (prj_name, new_source) in cases.items():
            if writer == "geodem batch" and new_source != "g.tif":
                continue  # batch names the grid after its source
            folder = f"{work}/{writer.replace(' ', '_')}-{case.replace(' ', '_')}"
            os.mkdir(folder)
            grid = f"{folder}/g.dem"
            # The new set, made once, and the earlier set, laid anew before every run.
            made = run(make(f"{work}/{new_source}", grid))
            if not os.path.exists(grid):
                print(f"{writer}, {case}: the new set is not written: {made.stderr}")
                failures += 1
                continue
            new = {"grid": read(grid), "prj": prj_files(folder)}
            for name in os.listdir(folder):
                os.remove(f"{folder}/{name}")
            run([GEODEM, "convert", "-q", "--prj", f"{work}/a.tif", grid])
            if prj_name is None:
                os.remove(f"{folder}/g.prj")
            elif prj_name != "g.prj":
                os.rename(f"{folder}/g.prj", f"{folder}/{prj_name}")
            earlier = {"grid": read(grid), "prj": prj_files(folder)}
            saved = {n: read(f"{folder}/{n}") for n in os.listdir(folder)}
            command = make(f"{work}/{new_source}", grid)
            for step, calls in counts(command).items():
                for when in range(1, calls + 1):
                    for name in os.listdir(folder):
                        os.remove(f"{folder}/{name}")
                    for name, data in saved.items():
                        with open(f"{folder}/{name}", "wb") as f:
                            f.write(data)
                    run(command, (step, when))
                    points += 1
                    where = f"{writer}, {case}, killed at {step} {when}"
                    complaint = mixed(folder, earlier, new)
                    if not complaint:
                        # The next writer, which fails after taking the lock, completes the set.
                        run([GEODEM, "convert", "-q", "--overwrite", "--zoom", "2147483647",
                             f"{work}/g.tif", grid])
                        for name in side(folder, ".tmp"):
                            os.remove(f"{folder}/{name}")  # the component's own raster
                        complaint = incomplete(folder, earlier, new)
                    if complaint:
                        print(f"{where}: {complaint}")
                        failures += 1
    print(f"{points} kill points: " +
          ("passed" if failures == 0 else f"{failures} left a wrong set"))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
