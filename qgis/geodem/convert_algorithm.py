"""Convert to CNSDTF-DEM: one raster into one grid file, by geodem convert."""
import os

from qgis.core import (QgsProcessingContext, QgsProcessingParameterBoolean,
                       QgsProcessingParameterFileDestination, QgsProcessingParameterRasterLayer,
                       QgsProcessingUtils)

from .catalogue import N_, _
from .conversion_parameters import ConversionParameters
from .geodem_algorithm import GeodemAlgorithm


class ConvertAlgorithm(GeodemAlgorithm):
    NAME = "convert"
    TITLE = N_("Convert to CNSDTF-DEM")
    SUMMARY = N_("Converts a raster into a CNSDTF-DEM grid file (.dem) with geodem convert. The "
                 "grid file appears under its name only complete; a cancel removes what the "
                 "conversion had begun.")

    ADVICE = dict(ConversionParameters.ADVICE, **{"--overwrite": "OVERWRITE"})

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterRasterLayer("INPUT", _("Elevation model")))
        ConversionParameters.add(self)
        self.addParameter(QgsProcessingParameterBoolean(
            "OVERWRITE", _("Replace an existing grid file"), defaultValue=False))
        self.addParameter(QgsProcessingParameterFileDestination(
            "OUTPUT", _("Grid file"), fileFilter=_("CNSDTF-DEM grid files (*.dem)")))

    def parameter_help(self):
        return ConversionParameters.HELP + [
            (N_("Replace an existing grid file"),
             N_("replace existing outputs (default: keep them and fail)"))]

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        source = self.source_path(self.parameterAsRasterLayer(parameters, "INPUT", context),
                                  "INPUT")
        output = self.parameterAsFileOutput(parameters, "OUTPUT", context)
        arguments = ["convert"] + ConversionParameters.arguments(
            self, parameters, context, self.parameterAsInt(parameters, "BAND", context))
        if self.parameterAsBool(parameters, "OVERWRITE", context):
            arguments.append("--overwrite")
        self.run_geodem(arguments + ["--", source, output], feedback)
        if context.project() is not None:
            # QGIS opens the grid file through the GEODEM driver where that is installed.
            context.addLayerToLoadOnCompletion(output, QgsProcessingContext.LayerDetails(
                os.path.basename(output), context.project(), "OUTPUT",
                QgsProcessingUtils.LayerHint.Raster))
        return {"OUTPUT": output}
