"""Cut into national map sheets: a DEM (one mosaic of rasters) into a folder of grid files named by
their sheet numbers, by geodem sheets, with its journal, resume and parallel conversions."""
from qgis.core import (QgsProcessing, QgsProcessingException, QgsProcessingParameterEnum,
                       QgsProcessingParameterFolderDestination,
                       QgsProcessingParameterMultipleLayers, QgsProcessingParameterNumber)

from .catalogue import N_, _
from .conversion_parameters import ConversionParameters
from .geodem_algorithm import SCALES, GeodemAlgorithm

# What a run does with the sheets the journal in the folder records, as geodem's options.
RESUME_OPTIONS = [[], ["--retry-failed"], ["--force"]]


class SheetsAlgorithm(GeodemAlgorithm):
    NAME = "sheets"
    TITLE = N_("Cut into national map sheets")
    SUMMARY = N_("Cuts the elevation model into the national map sheets of a scale and converts "
                 "each sheet holding data into <sheet number>.dem in the output folder, with "
                 "geodem sheets. The journal in the folder records each sheet as it ends, so "
                 "that a run again converts only what is left.")

    ADVICE = dict(ConversionParameters.ADVICE, **{"--buffer": "BUFFER"})

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterMultipleLayers(
            "INPUT", _("Elevation model (one mosaic of the rasters)"),
            QgsProcessing.TypeRaster))
        self.addParameter(QgsProcessingParameterEnum(
            "SCALE", _("Scale"), options=self.scale_names(), defaultValue=SCALES.index(50000)))
        self.addParameter(QgsProcessingParameterNumber(
            "BUFFER", _("Buffer (cells)"), QgsProcessingParameterNumber.Integer, defaultValue=0,
            minValue=0, maxValue=10000))
        self.addParameter(QgsProcessingParameterEnum(
            "RESUME", _("Sheets the journal records"),
            options=[_("keep those done, convert the others"),
                     _("convert only those that failed"),
                     _("convert every sheet again, replacing its grid file")],
            defaultValue=0))
        self.addParameter(QgsProcessingParameterNumber(
            "JOBS", _("Parallel conversions (0: one per core)"),
            QgsProcessingParameterNumber.Integer, defaultValue=0, minValue=0))
        ConversionParameters.add(self)
        self.addParameter(QgsProcessingParameterFolderDestination("OUTPUT", _("Output folder")))

    def parameter_help(self):
        return [
            (N_("Scale"), N_("the scale's denominator: 1000000, 500000, 250000, 100000, 50000, "
                             "25000, 10000 or 5000")),
            (N_("Buffer (cells)"),
             N_("widen each sheet's window by this many cells on every side (0 to 10000)")),
            (N_("Sheets the journal records"),
             N_("a run again keeps the sheets the journal records as done and converts the "
                "others; it can also convert only those that failed, or every sheet again, "
                "replacing its grid file")),
            (N_("Parallel conversions (0: one per core)"),
             N_("conversions at once (default: the cores)")),
        ] + ConversionParameters.HELP

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        layers = self.parameterAsLayerList(parameters, "INPUT", context)
        if not layers:
            raise QgsProcessingException(_("no elevation model given"))
        sources = [self.source_path(layer, "INPUT") for layer in layers]
        folder = self.parameterAsString(parameters, "OUTPUT", context)
        arguments = ["sheets", "--scale",
                     str(SCALES[self.parameterAsEnum(parameters, "SCALE", context)]),
                     "--buffer", str(self.parameterAsInt(parameters, "BUFFER", context))]
        arguments += RESUME_OPTIONS[self.parameterAsEnum(parameters, "RESUME", context)]
        jobs = self.parameterAsInt(parameters, "JOBS", context)
        if jobs:
            arguments += ["--jobs", str(jobs)]
        arguments += ConversionParameters.arguments(
            self, parameters, context, self.parameterAsInt(parameters, "BAND", context))
        self.run_geodem(arguments + ["--out-dir", folder, "--"] + sources, feedback)
        return {"OUTPUT": folder}
