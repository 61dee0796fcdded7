#!/usr/bin/python3
"""A .prj that another dataset shares is never a grid's to change. area.asc with its area.prj and
roads.shp with its roads.prj (UTM 50N) beside the grid name area.dem or roads.dem: every writer
(geodem convert with and without --prj and --overwrite, batch, sheets, gdal_translate) and a delete
leave the .prj byte for byte; a source in UTM 50N is written beside it, one in EPSG:4547 or without
a coordinate system is refused with the dataset that owns the .prj named. A grid named x.prj is
written without a .prj of its own and leaves no side file.

    shared_prj.py GEODEM SANITIZED
"""
import os
import shutil
import subprocess
import sys
import tempfile

from osgeo import gdal, ogr, osr

GEODEM, SANITIZED = sys.argv[1], sys.argv[2] not in ("0", "", "OFF", "FALSE")
SIDE_ENDINGS = (".part", ".ready", ".kept", ".lock", ".tmp", ".tmp.tif")


def srs_wkt(code):
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(code)
    return srs.ExportToWkt()


def source(path, code, origin=(500000, 3400000)):
    ds = gdal.GetDriverByName("GTiff").Create(path, 8, 6, 1, gdal.GDT_Float32)
    ds.SetGeoTransform((origin[0], 30, 0, origin[1], 0, -30))
    if code:
        ds.SetProjection(srs_wkt(code))
    ds.GetRasterBand(1).Fill(123.25)
    ds = None


def plant_ascii(folder, stem):
    """<stem>.asc and its .prj, as GDAL's ASCII grid driver writes them."""
    gdal.Translate(f"{folder}/{stem}.asc", f"{folder}/../utm.tif", format="AAIGrid")
    for extra in os.listdir(folder):
        if extra.endswith(".aux.xml"):
            os.remove(f"{folder}/{extra}")


def plant_shapefile(folder, stem):
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32650)
    ds = ogr.GetDriverByName("ESRI Shapefile").CreateDataSource(f"{folder}/{stem}.shp")
    layer = ds.CreateLayer(stem, srs, ogr.wkbLineString)
    feature = ogr.Feature(layer.GetLayerDefn())
    feature.SetGeometry(ogr.CreateGeometryFromWkt("LINESTRING (500000 3400000, 500100 3399900)"))
    layer.CreateFeature(feature)
    ds = None


def sheet_of(src):
    """The one sheet at 1:10000 that the source covers: the name geodem sheets gives its grid."""
    listed = run(GEODEM, "sheets", "--scale", "10000", "--list", src).stdout.split()
    return listed[0]


def run(*command):
    return subprocess.run(command, capture_output=True, text=True, timeout=120)


def writers(work):
    """name: command for a source and the grid (sheets names its grid after its sheet)."""
    found = {
        "sheets --prj": lambda src, grid: [GEODEM, "sheets", "-q", "--overwrite", "--prj",
                                           "--scale", "10000", "--out-dir",
                                           os.path.dirname(grid), src],
        "convert": lambda src, grid: [GEODEM, "convert", "-q", src, grid],
        "convert --prj": lambda src, grid: [GEODEM, "convert", "-q", "--prj", src, grid],
        "convert --overwrite": lambda src, grid: [GEODEM, "convert", "-q", "--overwrite", src, grid],
        "convert --overwrite --prj": lambda src, grid: [GEODEM, "convert", "-q", "--overwrite",
                                                        "--prj", src, grid],
        "batch --prj": lambda src, grid: batch(work, src, grid),
    }
    if not SANITIZED:  # an instrumented plug-in loads only into instrumented programs
        found["gdal_translate"] = lambda src, grid: ["gdal_translate", "-q", "-of", "GEODEM",
                                                     src, grid]
    return found


def batch(work, src, grid):
    """batch names its grid after its source: a copy of the source under the grid's stem."""
    stem = os.path.splitext(os.path.basename(grid))[0]
    named = f"{work}/batch-src/{stem}.tif"
    os.makedirs(os.path.dirname(named), exist_ok=True)
    shutil.copy(src, named)
    return [GEODEM, "batch", "-q", "--overwrite", "--prj", "--out-dir", os.path.dirname(grid),
            named]


def side_files(folder):
    return [n for n in os.listdir(folder) if n.endswith(SIDE_ENDINGS)]


def check_writers(work):
    failures = 0
    sources = {"UTM 50N": (f"{work}/utm.tif", True), "EPSG:4547": (f"{work}/gk.tif", False),
               "no coordinate system": (f"{work}/none.tif", False)}
    for name, extension, plant in (("area", "asc", plant_ascii), ("roads", "shp", plant_shapefile)):
        for writer, make in writers(work).items():
            for what, (src, writes) in sources.items():
                if writer.startswith("sheets") and what == "no coordinate system":
                    continue  # no sheets without degrees to cut by
                folder = tempfile.mkdtemp(dir=work)
                stem = sheet_of(src) if writer.startswith("sheets") else name
                dataset = f"{stem}.{extension}"
                plant(folder, stem)
                prj = f"{folder}/{stem}.prj"
                before = open(prj, "rb").read()
                grid = f"{folder}/{stem}.dem"
                r = run(*make(src, grid))
                where = f"{writer} from {what} beside {dataset}"
                after = open(prj, "rb").read() if os.path.exists(prj) else None
                if after != before:
                    print(f"{where}: {stem}.prj changed")
                    failures += 1
                if writes and (r.returncode != 0 or not os.path.exists(grid)):
                    print(f"{where}: not written: {r.stderr}")
                    failures += 1
                if not writes and (r.returncode == 0 or os.path.exists(grid) or
                                   "belongs to" not in r.stderr or
                                   f"{folder}/{dataset}" not in r.stderr):
                    print(f"{where}: not refused with the owner named: exit {r.returncode}, "
                          f"{r.stderr}")
                    failures += 1
                if side_files(folder):
                    print(f"{where}: left {side_files(folder)}")
                    failures += 1
    return failures


def check_delete(work):
    """An earlier grid written beside area.asc, then deleted through GDAL: area.prj stays."""
    if SANITIZED:
        return 0
    folder = tempfile.mkdtemp(dir=work)
    plant_ascii(folder, "area")
    before = open(f"{folder}/area.prj", "rb").read()
    r = run(GEODEM, "convert", "-q", f"{work}/utm.tif", f"{folder}/area.dem")
    gdal.Unlink(f"{folder}/area.dem.aux.xml")
    gdal.GetDriverByName("GEODEM").Delete(f"{folder}/area.dem")
    left = sorted(os.listdir(folder))
    if r.returncode != 0 or left != ["area.asc", "area.prj"] or \
            open(f"{folder}/area.prj", "rb").read() != before:
        print(f"delete of area.dem beside area.asc: left {left}: {r.stderr}")
        return 1
    return 0


def check_prj_named_grids(work):
    """x.prj as a grid: written without a .prj of its own; asked for one, geodem refuses."""
    failures = 0
    cases = {
        "convert": ([GEODEM, "convert", "-q"], True),
        "convert --prj": ([GEODEM, "convert", "-q", "--prj"], False),
    }
    if not SANITIZED:
        cases["gdal_translate"] = (["gdal_translate", "-q", "-of", "GEODEM"], True)
    for name, (command, writes) in cases.items():
        folder = tempfile.mkdtemp(dir=work)
        r = run(*command, f"{work}/utm.tif", f"{folder}/x.prj")
        left = sorted(os.listdir(folder))
        expected = ["x.prj"] if writes else []
        ok = left == expected and (r.returncode == 0) == writes
        if ok and writes:
            ok = open(f"{folder}/x.prj", "rb").read().startswith(b"NSDTF")
        if not ok:
            print(f"{name} to x.prj: exit {r.returncode}, left {left}: {r.stderr}")
            failures += 1
    return failures


def main():
    work = tempfile.mkdtemp()
    os.environ["GEODEM_REGISTRY"] = os.path.join(work, "registry")
    try:
        subprocess.run([GEODEM, "register"], check=True, capture_output=True)
        source(f"{work}/utm.tif", 32650)
        source(f"{work}/gk.tif", 4547)
        source(f"{work}/none.tif", None)
        failures = check_writers(work) + check_delete(work) + check_prj_named_grids(work)
    finally:
        shutil.rmtree(work, ignore_errors=True)
    print(f"shared .prj files: {'passed' if not failures else f'{failures} failures'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
