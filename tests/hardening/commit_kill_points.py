#!/usr/bin/python3
"""Each writer of a grid file set (geodem convert, geodem batch, the GDAL driver's CreateCopy and
Create) killed at every rename and unlink it makes: the name then holds the earlier set, or the new
one, or one of the two states between them (the earlier grid with its .prj kept aside, the new grid
with its .prj ready beside it), never a grid beside another grid's .prj; and the next writer of the
name completes it. GDAL's writers delete the earlier set first (GDAL's contract), so for them the
name may also hold nothing, or the earlier grid whose companions went first. The same after a
second kill, of the writer that completes the first one's leftovers; another driver's file written
over a grid, killed at every step, never stands beside the earlier grid's companions; and the
driver and geodem each clear the other's side files.

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


def deleted_first(grid, prjs, earlier):
    """What GDAL's delete before a create may leave: nothing, or the grid without companions."""
    return not prjs and grid in (None, earlier["grid"])


def mixed(folder, earlier, new, deletes_first=False):
    """What is wrong with the folder's set just after a kill; None when nothing."""
    grid = read(f"{folder}/g.dem") if os.path.exists(f"{folder}/g.dem") else None
    prjs = prj_files(folder)
    if deletes_first and deleted_first(grid, prjs, earlier):
        return None
    if grid == earlier["grid"]:
        if prjs == earlier["prj"] or (not prjs and side(folder, ".kept")):
            return None
    elif grid == new["grid"]:
        if prjs == new["prj"] or (not prjs and (side(folder, ".ready") or not new["prj"])):
            return None
    else:
        return "the grid is neither the earlier one nor the new one"
    return f"the grid stands beside {sorted(prjs)}"


def incomplete(folder, earlier, new, deletes_first=False):
    grid = read(f"{folder}/g.dem") if os.path.exists(f"{folder}/g.dem") else None
    prjs = prj_files(folder)
    whole = (grid, prjs) in ((earlier["grid"], earlier["prj"]), (new["grid"], new["prj"]))
    if not whole and not (deletes_first and deleted_first(grid, prjs, earlier)):
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
                    gdal_create = writer in ("gdal_translate", "Python Create")
                    complaint = mixed(folder, earlier, new, gdal_create)
                    if not complaint:
                        # The next writer, which fails after taking the lock, completes the set.
                        run([GEODEM, "convert", "-q", "--overwrite", "--zoom", "2147483647",
                             f"{work}/g.tif", grid])
                        for name in side(folder, ".tmp"):
                            os.remove(f"{folder}/{name}")  # the component's own raster
                        complaint = incomplete(folder, earlier, new, gdal_create)
                    if complaint:
                        print(f"{where}: {complaint}")
                        failures += 1
    more_points, more_failures = second_kill(work)
    points, failures = points + more_points, failures + more_failures
    if not SANITIZED:
        more_points, more_failures = other_driver_over_a_grid(work)
        points, failures = points + more_points, failures + more_failures
        failures += writers_clear_each_other(work)
    failures += kill_before_the_lock(work)
    print(f"{points} kill points: " +
          ("passed" if failures == 0 else f"{failures} left a wrong set"))
    return 1 if failures else 0


def lay(folder, files):
    for name in os.listdir(folder):
        os.remove(f"{folder}/{name}")
    for name, data in files.items():
        with open(f"{folder}/{name}", "wb") as f:
            f.write(data)


def snapshot(folder):
    return {n: read(f"{folder}/{n}") for n in os.listdir(folder)}


def second_kill(work):
    """geodem convert killed at each step of its commit, the next one killed at each step of
    completing it (and of its own commit), then a third: one whole set, no side file."""
    folder = f"{work}/second-kill"
    os.mkdir(folder)
    grid = f"{folder}/g.dem"
    command = [GEODEM, "convert", "-q", "--overwrite", "--prj", f"{work}/g.tif", grid]
    run(command)
    new = {"grid": read(grid), "prj": prj_files(folder)}
    lay(folder, {})
    run([GEODEM, "convert", "-q", "--prj", f"{work}/a.tif", grid])
    earlier = {"grid": read(grid), "prj": prj_files(folder)}
    clean = snapshot(folder)
    points = failures = 0
    for step, calls in counts(command).items():
        for when in range(1, calls + 1):
            lay(folder, clean)
            run(command, (step, when))
            left = snapshot(folder)
            for second_step, second_calls in counts(command).items():
                for second_when in range(1, second_calls + 1):
                    lay(folder, left)
                    run(command, (second_step, second_when))
                    run([GEODEM, "convert", "-q", "--overwrite", "--zoom", "2147483647",
                         f"{work}/g.tif", grid])
                    for name in side(folder, ".tmp"):
                        os.remove(f"{folder}/{name}")  # the third writer's own raster
                    points += 1
                    complaint = incomplete(folder, earlier, new)
                    if complaint:
                        print(f"killed at {step} {when}, then at {second_step} {second_when}: "
                              f"{complaint}")
                        failures += 1
    return points, failures


def other_driver_over_a_grid(work):
    """gdal_translate -of GTiff over a grid with its .prj and .aux.xml, killed at each step: the
    GeoTIFF never stands beside the earlier grid's companions."""
    folder = f"{work}/other-driver"
    os.mkdir(folder)
    grid = f"{folder}/g.dem"
    run([GEODEM, "convert", "-q", "--prj", f"{work}/a.tif", grid])
    with open(f"{grid}.aux.xml", "w") as f:
        f.write("<PAMDataset><PAMRasterBand band=\"1\"><NoDataValue>600</NoDataValue>"
                "</PAMRasterBand></PAMDataset>\n")
    earlier = snapshot(folder)
    command = ["gdal_translate", "-q", "-of", "GTiff", f"{work}/nosrs.tif", grid]
    points = failures = 0
    for step, calls in counts(command).items():
        for when in range(1, calls + 1):
            lay(folder, earlier)
            run(command, (step, when))
            points += 1
            grid_now = read(grid) if os.path.exists(grid) else None
            beside = sorted(n for n in os.listdir(folder)
                            if n.lower() == "g.prj" or n == "g.dem.aux.xml")
            if grid_now not in (None, earlier["g.dem"]) and beside:
                print(f"GeoTIFF over a grid, killed at {step} {when}: beside it {beside}")
                failures += 1
    lay(folder, earlier)
    if run(command).returncode != 0 or sorted(os.listdir(folder)) != ["g.dem"]:
        print(f"GeoTIFF over a grid: left {sorted(os.listdir(folder))}")
        failures += 1
    return points, failures


CREATE_KILLED = """
import os, sys
from osgeo import gdal
ds = gdal.GetDriverByName("GEODEM").Create(sys.argv[1], 6, 4, 1, gdal.GDT_Float32)
ds.SetGeoTransform((114, 0.01, 0, 30, 0, -0.01))
ds.FlushCache()
os.kill(os.getpid(), 9)
"""


def writers_clear_each_other(work):
    """The driver after a killed geodem convert, geodem after a killed driver: no side file of the
    dead writer is left."""
    failures = 0
    dead_geodem = [GEODEM, "convert", "-q", "--overwrite", f"{work}/g.tif"]
    cases = {
        "the driver after geodem": (lambda grid: run(dead_geodem + [grid], ("rename", 1)),
                                    ["gdal_translate", "-q", "-of", "GEODEM", f"{work}/g.tif"]),
        "geodem after the driver": (lambda grid: run([sys.executable, "-c", CREATE_KILLED, grid]),
                                    [GEODEM, "convert", "-q", "--overwrite", f"{work}/g.tif"]),
    }
    for name, (kill, after) in cases.items():
        folder = f"{work}/{name.replace(' ', '-')}"
        os.mkdir(folder)
        kill(f"{folder}/g.dem")
        left = sorted(os.listdir(folder))
        r = run(after + [f"{folder}/g.dem"])
        now = sorted(n for n in os.listdir(folder) if n.lower() != "g.prj")
        if len(left) < 2 or r.returncode != 0 or now != ["g.dem"]:
            print(f"{name}: the dead writer left {left}; afterwards {now}: {r.stderr}")
            failures += 1
    return failures


def kill_before_the_lock(work):
    """geodem convert --prj killed at each open of the target's lock, the one that takes it last:
    nothing of it is left."""
    folder = f"{work}/before-lock"
    os.mkdir(folder)
    grid = f"{folder}/g.dem"
    failures = 0
    for when in range(1, 10):
        command = ["strace", "-f", "-qq", "-o", "/dev/null", "-P", f"{grid}.lock",
                   "-e", "trace=openat", "-e", f"inject=openat:signal=KILL:when={when}",
                   GEODEM, "convert", "-q", "--prj", f"{work}/g.tif", grid]
        subprocess.run(command, capture_output=True)
        if os.path.exists(grid):
            break  # this open came after the lock's last: the conversion went through
        if os.listdir(folder):
            print(f"killed at open {when} of its lock, geodem convert left "
                  f"{sorted(os.listdir(folder))}")
            failures += 1
            lay(folder, {})
    return failures


if __name__ == "__main__":
    sys.exit(main())
