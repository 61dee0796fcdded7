"""Writes band 1 of a raster as a NetCDF-4 variable in square chunks, with its grid and coordinate
system (gdal_translate cannot choose the chunks).  netcdf_chunked.py SRC OUT.nc CHUNK"""
import sys

import numpy as np
from osgeo import gdal, osr

gdal.UseExceptions()
src = gdal.Open(sys.argv[1])
out, chunk = sys.argv[2], int(sys.argv[3])
w, h = src.RasterXSize, src.RasterYSize
gt = src.GetGeoTransform()
ds = gdal.GetDriverByName('netCDF').CreateMultiDimensional(out, [], ['FORMAT=NC4'])
root = ds.GetRootGroup()
dy = root.CreateDimension('y', gdal.DIM_TYPE_HORIZONTAL_Y, None, h)
dx = root.CreateDimension('x', gdal.DIM_TYPE_HORIZONTAL_X, None, w)
f64 = gdal.ExtendedDataType.Create(gdal.GDT_Float64)
root.CreateMDArray('y', [dy], f64).Write(gt[3] + gt[5] * (np.arange(h) + 0.5))
root.CreateMDArray('x', [dx], f64).Write(gt[0] + gt[1] * (np.arange(w) + 0.5))
heights = root.CreateMDArray('height', [dy, dx], gdal.ExtendedDataType.Create(gdal.GDT_Float32),
                             ['BLOCKSIZE=%d,%d' % (chunk, chunk), 'COMPRESS=DEFLATE'])
srs = osr.SpatialReference()
srs.ImportFromWkt(src.GetProjection())
heights.SetSpatialRef(srs)
band = src.GetRasterBand(1)
for y in range(0, h, chunk):
    n = min(chunk, h - y)
    heights.Write(band.ReadAsArray(0, y, w, n), array_start_idx=[y, 0], count=[n, w])
