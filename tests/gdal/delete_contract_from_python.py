"""Another driver's file written over a grid in one Python process (as QGIS or a script does): GDAL
deletes the grid first through the driver, which removes its .prj and .aux.xml at once, so the new
file carries none of the earlier grid's no-data or coordinate system, in this process or the next.
A file of the user's own where the driver keeps its raster while writing is not taken over.
Run by CTest with Debian's interpreter; exit status 77 skips."""
import json
import os
import subprocess
import sys
import tempfile

try:
    import numpy as np
    from osgeo import gdal, osr
except ImportError as error:
    print(f"skipped: {error} (Debian's python3-gdal and python3-numpy)")
    sys.exit(77)

GEODEM = sys.argv[1]
NO_DATA = """<PAMDataset><PAMRasterBand band="1"><NoDataValue>600</NoDataValue></PAMRasterBand>
</PAMDataset>
"""


def earlier_grid(folder):
    """t.dem with its .prj (WGS 84) and an .aux.xml that says no-data is 600."""
    src = gdal.GetDriverByName("GTiff").Create(f"{folder}/wgs84.tif", 5, 4, 1, gdal.GDT_Float32)
    src.SetGeoTransform((114, 0.01, 0, 30, 0, -0.01))
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(4326)
    src.SetProjection(srs.ExportToWkt())
    src.GetRasterBand(1).Fill(10)
    src = None
    subprocess.run([GEODEM, "convert", "-q", "--prj", f"{folder}/wgs84.tif", f"{folder}/t.dem"],
                   check=True, capture_output=True)
    os.remove(f"{folder}/wgs84.tif")
    with open(f"{folder}/t.dem.aux.xml", "w") as f:
        f.write(NO_DATA)


def new_raster():
    """Heights of 600 among others, with no no-data value and no coordinate system."""
    mem = gdal.GetDriverByName("MEM").Create("", 5, 4, 1, gdal.GDT_Int16)
    mem.SetGeoTransform((0, 1, 0, 4, 0, -1))
    mem.GetRasterBand(1).WriteArray(np.full((4, 5), 600, dtype=np.int16))
    return mem


def what_a_reader_sees(path):
    """(no-data, coordinate system) in this process, and in a new one through gdalinfo."""
    ds = gdal.Open(path)
    here = (ds.GetRasterBand(1).GetNoDataValue(), ds.GetProjection())
    ds = None
    info = json.loads(subprocess.run(["gdalinfo", "-json", path], capture_output=True,
                                     text=True, check=True).stdout)
    there = (info["bands"][0].get("noDataValue"), info.get("coordinateSystem", {}).get("wkt", ""))
    return here, there


def other_drivers(work):
    failures = 0
    for driver in ("GTiff", "AAIGrid"):
        folder = tempfile.mkdtemp(dir=work)
        earlier_grid(folder)
        out = gdal.GetDriverByName(driver).CreateCopy(f"{folder}/t.dem", new_raster())
        out = None
        here, there = what_a_reader_sees(f"{folder}/t.dem")
        left = sorted(n for n in os.listdir(folder) if n.lower() == "t.prj" or n == "t.dem.aux.xml")
        if here != (None, "") or there != (None, "") or left:
            print(f"{driver} over a grid: here {here}, in a new process {there}, left {left}")
            failures += 1
    return failures


def own_file_in_the_way(work):
    """c.dem.tmp.tif of the user's own, from no run of ours: the Create is refused, and it stays."""
    folder = tempfile.mkdtemp(dir=work)
    with open(f"{folder}/c.dem.tmp.tif", "wb") as f:
        f.write(b"the user's own bytes")
    gdal.PushErrorHandler("CPLQuietErrorHandler")
    ds = gdal.GetDriverByName("GEODEM").Create(f"{folder}/c.dem", 5, 4, 1, gdal.GDT_Float32)
    message = gdal.GetLastErrorMsg()
    gdal.PopErrorHandler()
    with open(f"{folder}/c.dem.tmp.tif", "rb") as f:
        kept = f.read()
    if ds is not None or "in the way" not in message or kept != b"the user's own bytes" or \
            sorted(os.listdir(folder)) != ["c.dem.tmp.tif"]:
        print(f"a file of the user's at c.dem.tmp.tif: created {ds is not None}, '{message}', "
              f"left {sorted(os.listdir(folder))}")
        return 1
    return 0


def main():
    if gdal.GetDriverByName("GEODEM") is None:
        print("the GEODEM driver is not loaded (GDAL_DRIVER_PATH)")
        return 1
    with tempfile.TemporaryDirectory(prefix="geodem-delete-") as work:
        os.environ["GEODEM_REGISTRY"] = os.path.join(work, "registry")
        subprocess.run([GEODEM, "register"], check=True, capture_output=True)
        failures = other_drivers(work) + own_file_in_the_way(work)
    print(f"{failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
