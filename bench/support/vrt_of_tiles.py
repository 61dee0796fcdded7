"""Cuts a raster into GeoTIFF tiles of SIDE x SIDE cells beside OUT.vrt and writes the VRT over them.
vrt_of_tiles.py SRC OUT.vrt SIDE"""
import os
import sys

from osgeo import gdal

gdal.UseExceptions()
src = gdal.Open(sys.argv[1])
vrt, side = sys.argv[2], int(sys.argv[3])
folder = os.path.splitext(vrt)[0] + '_tiles'
os.makedirs(folder, exist_ok=True)
tiles = []
for y in range(0, src.RasterYSize, side):
    for x in range(0, src.RasterXSize, side):
        tiles.append(os.path.join(folder, '%05d_%05d.tif' % (y, x)))
        gdal.Translate(tiles[-1], src, srcWin=[x, y, side, side])
gdal.BuildVRT(vrt, tiles)
