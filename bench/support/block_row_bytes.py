"""Bytes a reader holds to decode each block of band 1 once: one row of its blocks, decoded, and
for a GeoTIFF the stored bytes of its largest block, which libtiff reads whole before it decodes
it (a single compressed strip is as large as the raster)."""
import sys

from osgeo import gdal

gdal.UseExceptions()
dataset = gdal.Open(sys.argv[1])  # kept: a band outlives a dataset that Python has dropped
band = dataset.GetRasterBand(1)
bw, bh = band.GetBlockSize()
across = (band.XSize + bw - 1) // bw
down = (band.YSize + bh - 1) // bh
decoded = across * bw * bh * gdal.GetDataTypeSize(band.DataType) // 8
stored = 0
if dataset.GetDriver().ShortName == "GTiff":
    for y in range(down):
        for x in range(across):
            size = band.GetMetadataItem(f"BLOCK_SIZE_{x}_{y}", "TIFF")
            stored = max(stored, int(size or 0))
print(decoded + stored)
