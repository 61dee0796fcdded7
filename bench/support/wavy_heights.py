"""A copy of a single-band Float32 GeoTIFF filled with heights of hundreds of metres that vary
from cell to cell, and a 400 x 400 block of no data: a real DEM's text once converted.
    wavy_heights.py EMPTY.tif OUT.tif"""
import sys

from osgeo import gdal
import numpy as np

src = gdal.Open(sys.argv[1])
dst = gdal.GetDriverByName("GTiff").CreateCopy(sys.argv[2], src)
width, height = src.RasterXSize, src.RasterYSize
band = dst.GetRasterBand(1)
for y0 in range(0, height, 500):
    rows = min(500, height - y0)
    y, x = np.mgrid[y0:y0 + rows, 0:width]
    z = 800 + 600 * np.sin(x / 210.0) * np.cos(y / 170.0) + 0.37 * ((x * 7 + y * 13) % 100)
    z[(x // 400 == 3) & (y // 400 == 5)] = -9999
    band.WriteArray(z.astype(np.float32), 0, y0)
dst = None
