"""Writes through the GEODEM driver that fail: each failure reaches the caller (an exception, GDAL's
last error, a rasterio log record). GDAL deletes an existing output before it creates one, and the
driver's delete keeps GDAL's contract: a create over an earlier g.dem + g.prj that fails, or is
killed, leaves neither, and the next run of the driver or of geodem clears what a killed writer
left. Run by CTest with Debian's interpreter (GDAL's bindings, numpy, rasterio); exit status 77
skips."""
import glob
import os
import signal
import subprocess
import sys
import tempfile
import time

try:
    import numpy as np
    import rasterio
    from osgeo import gdal, osr
    from rasterio.transform import Affine
except ImportError as error:
    print(f"skipped: {error} (Debian's python3-gdal, python3-numpy and python3-rasterio)")
    sys.exit(77)

GEODEM = sys.argv[1]
NORTH_UP = [500000.0, 30.0, 0.0, 4400000.0, 0.0, -30.0]


def write_source(path, rows, cols, height=None):
    ds = gdal.GetDriverByName("GTiff").Create(path, cols, rows, 1, gdal.GDT_Float32)
    ds.SetGeoTransform(NORTH_UP)
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32650)
    ds.SetProjection(srs.ExportToWkt())
    rng = np.random.default_rng(rows)
    cells = rng.uniform(0, 3000, (rows, cols)) if height is None else np.full((rows, cols), height)
    ds.GetRasterBand(1).WriteArray(cells.astype(np.float32))
    return path


def run(*command):
    return subprocess.run(command, capture_output=True, text=True)


def translate(source, target, *options):
    return run("gdal_translate", "-q", "-of", "GEODEM", *options, source, target)


def read(path):
    with open(path, "rb") as f:
        return f.read()


# Each way to fail over an earlier pair: the pair's folder and the sources; returns a complaint, or
# None when the failure was reported.
def zoom_overflow_translate(folder, small, big):
    r = translate(small, f"{folder}/g.dem", "-co", "ZOOM=10000000")
    return None if r.returncode != 0 and "largest zoom" in r.stderr else f"exit {r.returncode}"


# rasterio in a program of its own, as its users run it: a failure at closing comes after rasterio
# has let go of GDAL's messages, which then go to stderr.
RASTERIO_WRITE = """
import sys, rasterio
with rasterio.open(sys.argv[1]) as s:
    profile = {k: s.profile[k] for k in ("width", "height", "count", "dtype", "crs", "transform")}
    heights = s.read(1)
with rasterio.open(sys.argv[2], "w", driver="GEODEM", ZOOM=10000000, **profile) as out:
    out.write(heights, 1)
"""


# rasterio deletes an existing output itself (GDALDeleteDataset) before it creates one: that
# delete is the caller's, done at once, so the earlier pair is gone whatever the write does after.
def zoom_overflow_rasterio(work, small):
    folder = tempfile.mkdtemp(dir=work)
    gdal.Translate(f"{folder}/g.dem", small, format="GEODEM")
    r = run(sys.executable, "-c", RASTERIO_WRITE, small, f"{folder}/g.dem")
    kept = glob.glob(f"{folder}/g.dem.*.tif")  # the caller's raster, kept and named
    told = "largest zoom" in r.stderr and len(kept) == 1 and kept[0] in r.stderr
    for f in kept:
        os.remove(f)
    if told and not os.listdir(folder):
        return 0
    print(f"rasterio with a zoom overflow: exit {r.returncode}, left {os.listdir(folder)}: "
          f"{r.stderr}")
    return 1


# A delete the caller asks for (GDALDeleteDataset without a driver, as gdalmanage and rasterio
# call it) is done when it returns: the grid and its .prj in any case, nothing kept for a later
# run to bring back, and a SIGTERM to the program afterwards changes nothing.
DELETE_AND_WAIT = """
import sys, time
from osgeo import gdal
gdal.UseExceptions()
gdal.IdentifyDriver(sys.argv[1]).Delete(sys.argv[1])
print("deleted", flush=True)
time.sleep(60)
"""


def delete_is_done(work, small):
    failures = 0
    for prj in ("g.prj", "g.PRJ"):
        folder = tempfile.mkdtemp(dir=work)
        gdal.Translate(f"{folder}/g.dem", small, format="GEODEM")
        os.rename(f"{folder}/g.prj", f"{folder}/{prj}")
        deleter = subprocess.Popen([sys.executable, "-c", DELETE_AND_WAIT, f"{folder}/g.dem"],
                                   stdout=subprocess.PIPE, text=True)
        said = deleter.stdout.readline().strip()
        left = sorted(os.listdir(folder))
        deleter.send_signal(signal.SIGTERM)
        deleter.wait()
        after = sorted(os.listdir(folder))
        later = run("gdalinfo", f"{folder}/g.dem")
        if said != "deleted" or left or after or later.returncode == 0:
            print(f"delete with {prj}: said {said!r}, left {left}, after SIGTERM {after}")
            failures += 1
    return failures


# The earlier grid's access rights stay with the name through geodem convert --overwrite, the
# replacement that keeps the earlier file (gdal_translate deletes it first, as GDAL does).
def mode_kept(work, small):
    folder = tempfile.mkdtemp(dir=work)
    gdal.Translate(f"{folder}/g.dem", small, format="GEODEM")
    os.chmod(f"{folder}/g.dem", 0o600)
    run(GEODEM, "convert", "-q", "--overwrite", "--zoom", "10", small, f"{folder}/g.dem")
    mode = os.stat(f"{folder}/g.dem").st_mode & 0o7777
    if mode == 0o600:
        return 0
    print(f"geodem convert --overwrite over a 0600 grid left it {oct(mode)}")
    return 1


def folder_at_prj(folder, small, big):
    os.remove(f"{folder}/g.prj")
    os.mkdir(f"{folder}/g.prj")
    r = translate(small, f"{folder}/g.dem", "-co", "ZOOM=10")
    os.rmdir(f"{folder}/g.prj")
    return None if r.returncode != 0 and "g.prj" in r.stderr else f"exit {r.returncode}"


def killed(next_run):
    def case(folder, small, big):
        writer = subprocess.Popen(["gdal_translate", "-q", "-of", "GEODEM", big,
                                   f"{folder}/g.dem"])
        deadline = time.monotonic() + 60
        while not any(os.path.getsize(p) > 0 for p in glob.glob(f"{folder}/g.dem.*.part")):
            if writer.poll() is not None or time.monotonic() > deadline:
                return "the writer ended before it could be killed midway"
            time.sleep(0.01)
        writer.send_signal(signal.SIGKILL)
        writer.wait()
        return next_run(folder, small)
    return case


def next_translate(folder, small):
    r = translate(small, f"{folder}/g.dem", "-co", "ZOOM=10000000")
    return None if r.returncode != 0 else "the next gdal_translate succeeded"


def next_geodem(folder, small):
    r = run(GEODEM, "convert", "-q", small, f"{folder}/g.dem")
    return None if r.returncode == 0 else f"geodem: {r.stderr}"


# A reader of the name after a kill changes nothing: the dead writer's side files stay for its next
# writer, and there is no grid left to read.
def next_reader(*command):
    def case(folder, small):
        before = sorted(os.listdir(folder))
        r = run(*command, f"{folder}/g.dem")
        if sorted(os.listdir(folder)) != before:
            return f"{command[-1]} changed the folder: {before} -> {sorted(os.listdir(folder))}"
        for name in before:
            if name.endswith((".part", ".lock")):
                os.remove(f"{folder}/{name}")
        return None if r.returncode != 0 else f"{command[-1]} read a grid that GDAL deleted"
    return case


def create_over_a_grid(work, small, big):
    cases = {  # what is left afterwards
        "gdal_translate with a zoom overflow": (zoom_overflow_translate, []),
        "gdal_translate with a folder at g.prj": (folder_at_prj, []),
        "gdal_translate killed, then gdal_translate": (killed(next_translate), []),
        "gdal_translate killed, then geodem convert": (killed(next_geodem), ["g.dem"]),
        "gdal_translate killed, then gdalinfo": (killed(next_reader("gdalinfo")), []),
        "gdal_translate killed, then geodem info": (killed(next_reader(GEODEM, "info")), []),
    }
    failures = 0
    for name, (case, expected) in cases.items():
        folder = tempfile.mkdtemp(dir=work)
        gdal.Translate(f"{folder}/g.dem", small, format="GEODEM")
        complaint = case(folder, small, big)
        left = sorted(os.listdir(folder))
        if not complaint and left != expected:
            complaint = f"left {left}"
        if complaint:
            print(f"{name}: {complaint}")
            failures += 1
    return failures


# A Create-path writer killed before closing; its GeoTIFF stands beside the target.
CREATE_AND_WAIT = """
import sys, time
from osgeo import gdal
ds = gdal.GetDriverByName("GEODEM").Create(sys.argv[1], 30, 20, 1, gdal.GDT_Float32)
ds.FlushCache()
print("ready", flush=True)
time.sleep(60)
"""


# The next run of either tool clears a killed Create-path writer's GeoTIFF, known by its dead lock.
def killed_create_leftovers(work, small):
    failures = 0
    nexts = {
        "gdal_translate": lambda t: translate(small, t),
        "geodem convert": lambda t: run(GEODEM, "convert", "-q", "--overwrite", small, t),
    }
    for name, next_run in nexts.items():
        folder = tempfile.mkdtemp(dir=work)
        target = f"{folder}/c.dem"
        writer = subprocess.Popen([sys.executable, "-c", CREATE_AND_WAIT, target],
                                  stdout=subprocess.PIPE, text=True)
        writer.stdout.readline()
        writer.send_signal(signal.SIGKILL)
        writer.wait()
        left = sorted(os.listdir(folder))
        r = next_run(target)
        after = sorted(os.listdir(folder))
        if "c.dem.tmp.tif" not in left or r.returncode != 0 or "c.dem.tmp.tif" in after:
            print(f"killed writer, then {name}: before {left}, after {after}: {r.stderr}")
            failures += 1
    return failures


def expect_failure(what, call, text):
    try:
        call()
    except RuntimeError as e:
        if text in str(e):
            return 0
        print(f"{what}: raised {e}")
        return 1
    print(f"{what}: no exception")
    return 1


# The message a Create dataset leaves when it cannot be closed into a grid file.
def closed_with_failure(what, folder, fill, says=""):
    target = f"{folder}/c.dem"
    ds = gdal.GetDriverByName("GEODEM").Create(target, 256, 256, 1, gdal.GDT_Float32)
    fill(ds)
    ds.GetRasterBand(1).WriteArray(np.full((256, 256), 100.0))
    # Without exceptions: the bindings would turn the error into one that nobody can catch (in a
    # destructor) and reset GDAL's error state.
    gdal.DontUseExceptions()
    gdal.PushErrorHandler("CPLQuietErrorHandler")
    del ds  # the grid file is written here
    error, message = gdal.GetLastErrorType(), gdal.GetLastErrorMsg()
    gdal.PopErrorHandler()
    gdal.UseExceptions()
    kept = f"{target}.{os.getpid()}.tif"
    failed = error == gdal.CE_Failure and kept in message and says in message
    ok = failed and os.path.exists(kept) and not os.path.exists(target)
    if not ok:
        print(f"{what}: last error {error} '{message}'")
    for f in glob.glob(f"{folder}/c.*"):
        os.remove(f)
    return 0 if ok else 1


def failures_reach_the_caller(work):
    driver = gdal.GetDriverByName("GEODEM")
    failures = expect_failure(
        "SetGeoTransform of a rotated raster",
        lambda: driver.Create(f"{work}/r.dem", 3, 3, 1, gdal.GDT_Float32).SetGeoTransform(
            [500000.0, 30.0, 5.0, 4400000.0, 5.0, -30.0]),
        f"The geotransform given for {work}/r.dem is rotated or sheared")
    failures += closed_with_failure("a Create closed without geotransform", work, lambda ds: None,
                                    f"{work}/c.dem is not written: no geotransform was set on it")

    def overflow():
        ds = driver.Create(f"{work}/z.dem", 20, 10, 1, gdal.GDT_Float32, ["ZOOM=10000"])
        ds.SetGeoTransform(NORTH_UP)
        heights = np.zeros((5, 8))
        heights[4, 7] = 1e6
        ds.GetRasterBand(1).WriteArray(heights, xoff=5, yoff=2)
    failures += expect_failure(
        "WriteArray of a height the zoom pushes past 32 bits", overflow,
        f"ZOOM=10000 pushes the height 1000000 (row 7, column 13 of {work}/z.dem) past the 32-bit "
        "integers of the grid; the largest zoom that fits it is 2147.")
    # Its only write was refused: no grid file at closing, and no GeoTIFF kept that holds nothing.
    left = sorted(glob.glob(f"{work}/z.dem*"))
    if left:
        print(f"a Create whose only write failed left {left}")
        failures += 1
        for f in left:
            os.remove(f)
    small = f"{work}/small"
    os.mkdir(small)
    # Room for the GeoTIFF (one tile of 256 KiB) and the least a grid of its size takes (a digit a
    # cell), which Create asks for, but not for the grid's 576 KiB of text.
    if run("mount", "-t", "tmpfs", "-o", "size=720k", "tmpfs", small).returncode != 0:
        print("(no full file system: mounting a tmpfs is not allowed here)")
        return failures
    try:
        failures += closed_with_failure("a Create closed on a full file system", small,
                                        lambda ds: ds.SetGeoTransform(NORTH_UP))
        # gdalwarp takes no failure from a close (GDAL 3.6): one that cannot fit fails at Create.
        r = run("gdalwarp", "-q", "-of", "GEODEM", write_source(f"{work}/w.tif", 300, 300),
                f"{small}/w.dem")
        if r.returncode == 0 or "cannot be written" not in r.stderr:
            print(f"gdalwarp onto a full file system: exit {r.returncode}: {r.stderr}")
            failures += 1
    finally:
        run("umount", "-l", small)
    try:
        with rasterio.open(f"{work}/r.dem", "w", driver="GEODEM", width=3, height=3, count=1,
                           dtype="float32", transform=Affine(30, 5, 0, 5, -30, 0)):
            pass
        print("rasterio with a rotated transform: no exception")
        failures += 1
    except Exception:  # whichever rasterio raises for a transform not taken
        pass
    return failures


def main():
    gdal.UseExceptions()
    if gdal.GetDriverByName("GEODEM") is None:
        print("the GEODEM driver is not loaded (GDAL_DRIVER_PATH)")
        return 1
    with tempfile.TemporaryDirectory(prefix="geodem-failures-") as work:
        os.environ["GEODEM_REGISTRY"] = os.path.join(work, "registry")
        subprocess.run([GEODEM, "register"], check=True, capture_output=True)
        small = write_source(f"{work}/small.tif", 40, 30, 1000.0)
        big = write_source(f"{work}/big.tif", 2500, 2500)
        failures = (create_over_a_grid(work, small, big) + failures_reach_the_caller(work) +
                    killed_create_leftovers(work, small) + zoom_overflow_rasterio(work, small) +
                    delete_is_done(work, small) + mode_kept(work, small))
        print(f"{failures} failures")
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
