"""Check a delivery: grid files into a findings table and geodem's HTML report, by geodem check
--json --html; the table's columns are what geodem's JSON holds."""
import json
import os

from qgis.core import (QgsFeature, QgsFeatureSink, QgsProcessing, QgsProcessingException,
                       QgsProcessingParameterBoolean, QgsProcessingParameterEnum,
                       QgsProcessingParameterFeatureSink, QgsProcessingParameterFileDestination,
                       QgsProcessingParameterMultipleLayers, QgsProcessingParameterNumber,
                       QgsProcessingParameterRasterLayer, QgsWkbTypes)

from .catalogue import N_, _
from .findings_rows import FindingsRows
from .geodem_algorithm import SCALES, GeodemAlgorithm
from .geodem_program import GeodemProgram
from .json_table import JsonTable


class CheckAlgorithm(GeodemAlgorithm):
    NAME = "check"
    TITLE = N_("Check a delivery")
    SUMMARY = N_("Checks CNSDTF-DEM grid files with geodem check: every file is read completely "
                 "and each finding listed with its place. The findings become a table (a "
                 "layer, or a CSV file), and the HTML report opens in the results viewer.")

    def initAlgorithm(self, config=None):  # noqa: N802
        self.addParameter(QgsProcessingParameterMultipleLayers(
            "INPUT", _("Grid files"), QgsProcessing.TypeFile))
        self.addParameter(QgsProcessingParameterRasterLayer(
            "SOURCE", _("Elevation model the files were made from"), optional=True))
        self.addParameter(QgsProcessingParameterNumber(
            "BAND", _("Band"), QgsProcessingParameterNumber.Integer, defaultValue=1,
            minValue=1))
        self.addParameter(QgsProcessingParameterBoolean(
            "SHEET", _("Files are named by sheet numbers"), defaultValue=False))
        self.addParameter(QgsProcessingParameterEnum(
            "SCALE", _("Scale of the sheets"), options=[_("any")] + self.scale_names(),
            defaultValue=0))
        self.addParameter(QgsProcessingParameterBoolean(
            "EDGES", _("Check the edges between neighbouring sheets"), defaultValue=False))
        self.addParameter(QgsProcessingParameterFeatureSink(
            "OUTPUT", _("Findings"), QgsProcessing.TypeVector))
        self.addParameter(QgsProcessingParameterFileDestination(
            "REPORT", _("Report"), fileFilter=_("HTML files (*.html)")))

    def parameter_help(self):
        return [
            (N_("Elevation model the files were made from"),
             N_("the DEM the files were made from: every cell must be its height times Hzoom, "
                "read as geodem convert reads it")),
            (N_("Band"), N_("the band of SRC that holds the heights (default 1)")),
            (N_("Files are named by sheet numbers"),
             N_("each file is named by a national map sheet number (J50E001010.dem): its grid "
                "must cover the sheet, in its .prj's coordinate system (else degrees for unit "
                "D); the margin on each side is reported, and an edge is missed when the grid "
                "falls short of it by more than the header's numbers can state (half a unit of "
                "their last decimal) and a thousandth of a cell")),
            (N_("Scale of the sheets"),
             N_("with --sheet: the sheets must be of scale 1:N (1000000 to 5000)")),
            (N_("Check the edges between neighbouring sheets"),
             N_("only where the installed geodem check offers --edges")),
            (N_("Report"),
             N_("write one self-contained HTML page: summary, a table that sorts and filters, "
                "and each file's quick-look")),
        ]

    def processAlgorithm(self, parameters, context, feedback):  # noqa: N802
        files = self.parameterAsFileList(parameters, "INPUT", context)
        if not files:
            raise QgsProcessingException(_("no grid file given"))
        report = self.parameterAsFileOutput(parameters, "REPORT", context)
        arguments = ["check", "--json", "--html", report] + self._options(parameters, context,
                                                                          feedback)
        # Status 1 says that some file has errors: those are the findings, not a failure.
        stdout = self.run_geodem(arguments + ["--"] + files, feedback, ok_statuses=(0, 1))
        try:
            checked = json.loads(stdout)
        except ValueError:
            raise QgsProcessingException(_("geodem check printed no report"))
        if not os.path.exists(report):
            raise QgsProcessingException(_("geodem check wrote no HTML report"))
        # A list of files; with EDGES an object that holds them, the edges and their summary.
        table = JsonTable(FindingsRows.of(checked))
        sink, sink_id = self.parameterAsSink(parameters, "OUTPUT", context, table.fields(),
                                             QgsWkbTypes.NoGeometry)
        for row in table.rows:
            feature = QgsFeature(table.fields())
            feature.setAttributes(table.attributes(row))
            sink.addFeature(feature, QgsFeatureSink.FastInsert)
        return {"OUTPUT": sink_id, "REPORT": report}

    def _options(self, parameters, context, feedback):
        options = []
        source = self.parameterAsRasterLayer(parameters, "SOURCE", context)
        if source is not None:
            options += ["--source", self.source_path(source, "SOURCE"),
                        "--band", str(self.parameterAsInt(parameters, "BAND", context))]
        if self.parameterAsBool(parameters, "SHEET", context):
            options.append("--sheet")
            scale = self.parameterAsEnum(parameters, "SCALE", context)
            if scale:
                options += ["--scale", str(SCALES[scale - 1])]
        if self.parameterAsBool(parameters, "EDGES", context):
            if "--edges" not in GeodemProgram(feedback).help_text("check"):
                raise QgsProcessingException(
                    _("the installed geodem check cannot check edges (it has no --edges)"))
            options.append("--edges")
        return options
