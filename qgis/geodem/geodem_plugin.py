"""The plugin object QGIS holds: it adds the provider to Processing, also under qgis_process."""
from qgis.core import QgsApplication

from .geodem_provider import GeodemProvider


class GeodemPlugin:
    def __init__(self, iface):
        self.iface = iface
        self.provider = None

    def initProcessing(self):  # noqa: N802 (the name QGIS calls)
        if self.provider is None:
            self.provider = GeodemProvider()
            QgsApplication.processingRegistry().addProvider(self.provider)

    def initGui(self):  # noqa: N802
        self.initProcessing()

    def unload(self):
        if self.provider is not None:
            QgsApplication.processingRegistry().removeProvider(self.provider)
            self.provider = None
