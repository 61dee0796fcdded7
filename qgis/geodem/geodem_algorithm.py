"""What every geodem algorithm shares: its help in QGIS's language, the layers it hands to geodem
as file names, and one run of geodem whose failure or cancel ends the algorithm."""
import html

from qgis.core import QgsProcessingAlgorithm, QgsProcessingException

from .catalogue import _
from .geodem_program import GeodemProgram

# The scales of the national map series, largest sheet first, as geodem takes them.
SCALES = [1000000, 500000, 250000, 100000, 50000, 25000, 10000, 5000]


class GeodemAlgorithm(QgsProcessingAlgorithm):
    # Subclasses: the name, the title and summary (English msgids of the catalogue), and
    # (label, help) pairs for the help's list of parameters.
    NAME = ""
    TITLE = ""
    SUMMARY = ""
    # geodem options that geodem's advice may name, by the parameter that gives them here.
    ADVICE = {}

    def createInstance(self):  # noqa: N802
        return type(self)()

    def name(self):
        return self.NAME

    def displayName(self):  # noqa: N802
        return _(self.TITLE)

    def shortHelpString(self):  # noqa: N802
        items = "".join("<dt><b>%s</b></dt><dd>%s</dd>" % (html.escape(_(label)),
                                                          html.escape(_(text)))
                        for label, text in self.parameter_help())
        return "<p>%s</p><dl>%s</dl>" % (html.escape(_(self.SUMMARY)), items)

    def parameter_help(self):
        return []

    @staticmethod
    def scale_names():
        return ["1:{:,}".format(scale).replace(",", " ") for scale in SCALES]

    @staticmethod
    def source_path(layer, what):
        """The file (or other GDAL source) of a raster layer, as geodem opens it."""
        if layer is None:
            raise QgsProcessingException(_("%s: the layer could not be opened") % what)
        if layer.providerType() != "gdal":
            raise QgsProcessingException(
                _("%s: only a raster GDAL reads can be converted, not a layer of the %s "
                  "provider") % (layer.name(), layer.providerType()))
        return layer.source()

    def run_geodem(self, arguments, feedback, ok_statuses=(0,)):
        """Runs geodem; returns its stdout, else raises with its last error line, which is then
        said only by the exception (QGIS shows it in the log as well)."""
        advice = {option: self.parameterDefinition(name).description()
                  for option, name in self.ADVICE.items() if self.parameterDefinition(name)}
        status, stdout, reader = GeodemProgram(feedback).run(arguments, advice)
        if status in ok_statuses:
            reader.report_held()
            return stdout  # a cancel that came as geodem ended found its work done
        if feedback is not None and feedback.isCanceled():
            reader.report_held()
            raise QgsProcessingException(
                _("cancelled: geodem stopped and removed what it had begun"))
        raise QgsProcessingException(
            reader.last_error() or _("geodem ended with exit status %d") % status)
