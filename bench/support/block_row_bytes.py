"""Bytes of one row of band 1's blocks: what a reader must hold to decode each block once."""
import sys

from osgeo import gdal

gdal.UseExceptions()
band = gdal.Open(sys.argv[1]).GetRasterBand(1)
bw, bh = band.GetBlockSize()
across = (band.XSize + bw - 1) // bw
print(across * bw * bh * gdal.GetDataTypeSize(band.DataType) // 8)
