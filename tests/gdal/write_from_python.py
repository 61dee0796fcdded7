"""Grid files written from Python through the GEODEM driver: gdal.Translate (onto disk and into
/vsimem/), CreateCopy, Create with WriteArray, and rasterio with driver="GEODEM", each compared byte
for byte with what geodem convert writes for the same source (the .aux.xml that records the no-data value included), and read back by GDAL and
rasterio with that no-data value and no option passed. Run by CTest with Debian's interpreter; exit status 77 skips."""
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
try:
    import rasterio
except ImportError:
    rasterio = None

GEODEM = sys.argv[1]
OPTIONS = {"VERSION": "GRD_2007", "ZOOM": "10", "NODATA": "-32768"}


def write_source(path):
    rows, cols = 57, 83
    ds = gdal.GetDriverByName("GTiff").Create(path, cols, rows, 1, gdal.GDT_Float32)
    ds.SetGeoTransform([500000.0, 30.0, 0.0, 4400000.0, 0.0, -30.0])
    srs = osr.SpatialReference()
    srs.ImportFromEPSG(32650)
    ds.SetProjection(srs.ExportToWkt())
    heights = np.random.default_rng(7).uniform(-120.0, 3200.0, (rows, cols)).astype(np.float32)
    heights[::13, ::7] = -9999.0
    heights[5, 5] = np.nan
    band = ds.GetRasterBand(1)
    band.SetNoDataValue(-9999.0)
    band.WriteArray(heights)
    return heights


def read(path):
    if path.startswith("/vsi"):
        f = gdal.VSIFOpenL(path, "rb")
        if f is None:
            return None
        data = gdal.VSIFReadL(1, gdal.VSIStatL(path).size, f)
        gdal.VSIFCloseL(f)
        return data
    with open(path, "rb") as f:
        return f.read()


def nodata_seen_wrongly(way, path, expected_count):
    """How many readers, given no option, miss the no-data value the grid was written with."""
    want = float(OPTIONS["NODATA"])
    dataset = gdal.Open(path)  # kept: its band dies with it
    band = dataset.GetRasterBand(1)
    seen = [("GDAL", band.GetNoDataValue(), int(np.count_nonzero(band.ReadAsArray() == want)))]
    if rasterio is not None and not path.startswith("/vsi"):
        with rasterio.open(path) as r:
            seen.append(("rasterio", r.nodata, int(r.read(1, masked=True).mask.sum())))
    wrong = 0
    for reader, nodata, count in seen:
        if nodata != want or count != expected_count:
            print(f"{way}: {reader} sees no-data {nodata} in {count} cells, "
                  f"not {want} in {expected_count}")
            wrong += 1
    return wrong


def main():
    gdal.UseExceptions()
    if gdal.GetDriverByName("GEODEM") is None:
        print("the GEODEM driver is not loaded (GDAL_DRIVER_PATH)")
        return 1
    with tempfile.TemporaryDirectory(prefix="geodem-python-") as folder:
        os.environ["GEODEM_REGISTRY"] = os.path.join(folder, "registry")
        source = os.path.join(folder, "source.tif")
        heights = write_source(source)
        subprocess.run([GEODEM, "register"], check=True, capture_output=True)
        expected = os.path.join(folder, "expected.dem")
        subprocess.run([GEODEM, "convert", "-q", "--prj", "--format-version", OPTIONS["VERSION"],
                        "--zoom", OPTIONS["ZOOM"], "--nodata", OPTIONS["NODATA"], source,
                        expected], check=True, capture_output=True)
        options = [f"{k}={v}" for k, v in OPTIONS.items()]
        driver = gdal.GetDriverByName("GEODEM")
        written = {}

        path = written["gdal.Translate"] = os.path.join(folder, "translate.dem")
        gdal.Translate(path, source, format="GEODEM", creationOptions=options)

        path = written["gdal.Translate into /vsimem/"] = "/vsimem/geodem-test/translate.dem"
        gdal.Translate(path, source, format="GEODEM", creationOptions=options)
        values = gdal.Open(path).ReadAsArray()
        if not (values == gdal.Open(written["gdal.Translate"]).ReadAsArray()).all():
            print("/vsimem/: the grid reads other values than the one on disk")
            return 1

        path = written["CreateCopy"] = os.path.join(folder, "copy.dem")
        driver.CreateCopy(path, gdal.Open(source), options=options)

        path = written["Create"] = os.path.join(folder, "create.dem")
        src = gdal.Open(source)
        ds = driver.Create(path, src.RasterXSize, src.RasterYSize, 1, gdal.GDT_Float32, options)
        ds.SetGeoTransform(src.GetGeoTransform())
        ds.SetProjection(src.GetProjection())
        ds.GetRasterBand(1).SetNoDataValue(-9999.0)
        ds.GetRasterBand(1).WriteArray(heights)
        ds = None

        if rasterio is not None:
            path = written["rasterio"] = os.path.join(folder, "rasterio.dem")
            with rasterio.open(source) as s:
                profile = {k: s.profile[k] for k in
                           ("width", "height", "count", "dtype", "crs", "transform", "nodata")}
            with rasterio.open(path, "w", driver="GEODEM", **profile, **OPTIONS) as out:
                out.write(heights, 1)

        failures = 0
        source_nodata = int(np.count_nonzero((heights == -9999.0) | np.isnan(heights)))
        for way, path in {"geodem convert": expected, **written}.items():
            for extension in (".dem", ".prj", ".dem.aux.xml"):
                got, want = path[:-4] + extension, expected[:-4] + extension
                if read(got) != read(want) or read(got) is None:
                    print(f"{way}: {os.path.basename(got)} differs from geodem convert's")
                    failures += 1
            failures += nodata_seen_wrongly(way, path, source_nodata)
        leftovers = [f for f in os.listdir(folder) if f.endswith(".tif") and f != "source.tif"]
        if leftovers:
            print(f"temporary rasters left: {leftovers}")
            failures += 1
        if rasterio is None:
            print("skipped: rasterio is not installed (Debian's python3-rasterio)")
            return 77 if failures == 0 else 1
        print(f"{len(written)} ways compared, {failures} differences")
        return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
