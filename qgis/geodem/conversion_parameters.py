"""The conversion options that geodem convert and geodem sheets share, as Processing parameters
with geodem's ranges and defaults."""
from qgis.core import (QgsProcessingParameterBoolean, QgsProcessingParameterEnum,
                       QgsProcessingParameterNumber)

from .catalogue import N_, _

FORMAT_VERSIONS = ["GEODEM", "GRD_2007", "GRD_1999"]  # geodem's default first
INT32_MIN, INT32_MAX = -2147483648, 2147483647


class ConversionParameters:
    # The options these parameters give, as geodem's advice names them.
    ADVICE = {"--format-version": "FORMAT_VERSION", "--zoom": "ZOOM", "--nodata": "NODATA",
              "--band": "BAND", "--prj": "PRJ"}
    HELP = [
        (N_("Format version"),
         N_("grid layout, the VERSION parameter: GRD_2007, GRD_1999 or GEODEM (default)")),
        (N_("Zoom factor"), N_("height zoom factor DEM_ZOOM, from 1 (default 100)")),
        (N_("No-data value"),
         N_("the 32-bit integer written for no-data cells (default -99999)")),
        (N_("Band"), N_("the band that holds the heights (default 1)")),
        (N_("Write a .prj"),
         N_("also write <grid file name>.prj beside each grid file: the source's coordinate system "
         "as ESRI WKT, as the ASCII grid tools keep it")),
    ]

    @staticmethod
    def add(algorithm, band=True):
        algorithm.addParameter(QgsProcessingParameterEnum(
            "FORMAT_VERSION", _("Format version"), options=FORMAT_VERSIONS, defaultValue=0))
        algorithm.addParameter(QgsProcessingParameterNumber(
            "ZOOM", _("Zoom factor"), QgsProcessingParameterNumber.Integer, defaultValue=100,
            minValue=1, maxValue=INT32_MAX))
        algorithm.addParameter(QgsProcessingParameterNumber(
            "NODATA", _("No-data value"), QgsProcessingParameterNumber.Integer,
            defaultValue=-99999, minValue=INT32_MIN, maxValue=INT32_MAX))
        if band:
            algorithm.addParameter(QgsProcessingParameterNumber(
                "BAND", _("Band"), QgsProcessingParameterNumber.Integer, defaultValue=1,
                minValue=1))
        algorithm.addParameter(QgsProcessingParameterBoolean(
            "PRJ", _("Write a .prj"), defaultValue=False))

    @staticmethod
    def arguments(algorithm, parameters, context, band):
        arguments = [
            "--format-version",
            FORMAT_VERSIONS[algorithm.parameterAsEnum(parameters, "FORMAT_VERSION", context)],
            "--zoom", str(algorithm.parameterAsInt(parameters, "ZOOM", context)),
            "--nodata", str(algorithm.parameterAsInt(parameters, "NODATA", context)),
            "--band", str(band),
        ]
        if algorithm.parameterAsBool(parameters, "PRJ", context):
            arguments.append("--prj")
        return arguments
