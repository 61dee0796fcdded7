"""Sheet index: the national map sheets of a scale over an elevation model (those holding data, as
geodem sheets --list finds them) or over an extent, as a polygon layer with the sheet numbers."""
import json
import math
import os
import tempfile

from qgis.core import (QgsCoordinateReferenceSystem, QgsFeature,
                       QgsFeatureSink, QgsGeometry, QgsProcessing, QgsProcessingException,
                       QgsProcessingParameterEnum, QgsProcessingParameterExtent,
                       QgsProcessingParameterFeatureSink, QgsProcessingParameterMultipleLayers,
                       QgsRectangle, QgsWkbTypes)

from .catalogue import N_, _
from .geodem_algorithm import SCALES, GeodemAlgorithm
from .json_table import JsonTable

# The corners of a sheet in geodem's JSON (sheets --list and --extent).
CORNERS = ("west", "south", "east", "north")
# Cells of the stand-in raster of an extent across the width and height of one sheet.
CELLS_PER_SHEET = 4


class SheetIndexAlgorithm(GeodemAlgorithm):
    NAME = "sheetindex"
    TITLE = N_("Sheet index")
    SUMMARY = N_("Draws the national map sheets of a scale as polygons with their numbers: the "
                 "sheets of an elevation model that hold data (as geodem sheets --list finds "
                 "them), else every sheet an extent touches. The corners are degrees of the "
                 "elevation model's geographic coordinate system (WGS 84 for an extent).")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterMultipleLayers(
            "INPUT", _("Elevation model (one mosaic of the rasters)"),
            QgsProcessing.TypeRaster, optional=True))
        self.addParameter(QgsProcessingParameterExtent(
            "EXTENT", _("Extent (without an elevation model)"), optional=True))
        self.addParameter(QgsProcessingParameterEnum(
            "SCALE", _("Scale"), options=self.scale_names(), defaultValue=SCALES.index(50000)))
        self.addParameter(QgsProcessingParameterFeatureSink(
            "OUTPUT", _("Sheet index"), QgsProcessing.TypeVectorPolygon))

    def parameter_help(self):
        return [(N_("Scale"), N_("the scale's denominator: 1000000, 500000, 250000, 100000, "
                                 "50000, 25000, 10000 or 5000"))]

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        scale = str(SCALES[self.parameterAsEnum(parameters, "SCALE", context)])
        layers = self.parameterAsLayerList(parameters, "INPUT", context)
        if layers:
            sources = [self.source_path(layer, "INPUT") for layer in layers]
            crs = self._geographic(layers[0].crs())
            sheets = self._list(scale, sources, feedback)
        elif parameters.get("EXTENT") is not None:
            crs = QgsCoordinateReferenceSystem("EPSG:4326")
            extent = self.parameterAsExtent(parameters, "EXTENT", context, crs)
            sheets = [{key: sheet.get(key) for key in ("number",) + CORNERS}
                      for sheet in self._over_extent(scale, extent, feedback)]
        else:
            raise QgsProcessingException(_("give an elevation model or an extent"))
        table = JsonTable(sheets)
        sink, sink_id = self.parameterAsSink(parameters, "OUTPUT", context, table.fields(),
                                             QgsWkbTypes.Polygon, crs)
        for sheet in sheets:
            if any(not isinstance(sheet.get(key), (int, float)) for key in CORNERS):
                raise QgsProcessingException(
                    _("geodem gave a sheet without its corners (west, south, east, north)"))
            feature = QgsFeature(table.fields())
            feature.setGeometry(QgsGeometry.fromRect(QgsRectangle(
                *(sheet[key] for key in ("west", "south", "east", "north")))))
            feature.setAttributes(table.attributes(sheet))
            sink.addFeature(feature, QgsFeatureSink.FastInsert)
        return {"OUTPUT": sink_id}

    def _list(self, scale, sources, feedback):
        printed = json.loads(self.run_geodem(
            ["sheets", "--scale", scale, "--list", "--json", "--"] + sources, feedback))
        # The sheets are the list of objects geodem prints, whatever it calls it.
        if isinstance(printed, list):
            return printed
        for value in printed.values():
            if isinstance(value, list):
                return value
        return []

    def _over_extent(self, scale, extent, feedback):
        """The sheets of a stand-in raster over the extent, all data, a few cells a sheet."""
        if extent.isEmpty():
            raise QgsProcessingException(_("the extent is empty"))
        centre = extent.center()
        number = self.run_geodem(["sheets", "--scale", scale, "--number-of",
                                  "%.9f,%.9f" % (centre.x(), centre.y())], feedback).strip()
        sheet = json.loads(self.run_geodem(["sheets", "--extent", number, "--json"], feedback))
        dx = (sheet["east"] - sheet["west"]) / CELLS_PER_SHEET
        dy = (sheet["north"] - sheet["south"]) / CELLS_PER_SHEET
        columns = max(1, math.ceil(extent.width() / dx))
        rows = max(1, math.ceil(extent.height() / dy))
        with tempfile.TemporaryDirectory(prefix="geodem-index-") as folder:
            vrt = os.path.join(folder, "extent.vrt")
            with open(vrt, "w", encoding="utf-8") as f:
                f.write('<VRTDataset rasterXSize="%d" rasterYSize="%d"><SRS>EPSG:4326</SRS>'
                        '<GeoTransform>%.12f,%.12f,0,%.12f,0,%.12f</GeoTransform>'
                        '<VRTRasterBand dataType="Byte" band="1"/></VRTDataset>'
                        % (columns, rows, extent.xMinimum(), dx, extent.yMaximum(), -dy))
            sheets = self._list(scale, [vrt], feedback)
        # The stand-in reaches past the extent by up to a sheet: only sheets that share an area
        # with the extent are over it.
        return [s for s in sheets
                if all(isinstance(s.get(k), (int, float)) for k in CORNERS) and
                s["west"] < extent.xMaximum() and s["east"] > extent.xMinimum() and
                s["south"] < extent.yMaximum() and s["north"] > extent.yMinimum()]

    @staticmethod
    def _geographic(crs):
        geographic = crs.geographicCrsAuthId() if crs.isValid() else ""
        return QgsCoordinateReferenceSystem(geographic or "EPSG:4326")
