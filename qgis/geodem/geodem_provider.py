"""The Processing provider "geodem": its algorithms drive the installed geodem command."""
from qgis.core import QgsProcessingProvider

from .catalogue import _
from .check_algorithm import CheckAlgorithm
from .convert_algorithm import ConvertAlgorithm
from .sheet_index_algorithm import SheetIndexAlgorithm
from .sheets_algorithm import SheetsAlgorithm


class GeodemProvider(QgsProcessingProvider):
    def id(self):
        return "geodem"

    def name(self):
        return "geodem"

    def longName(self):  # noqa: N802
        return _("geodem: elevation models as CNSDTF-DEM grid files")

    def loadAlgorithms(self):  # noqa: N802
        for algorithm in (ConvertAlgorithm(), SheetsAlgorithm(), CheckAlgorithm(),
                          SheetIndexAlgorithm()):
            self.addAlgorithm(algorithm)
