"""geodem's Processing provider: QGIS loads the plugin through classFactory."""


def classFactory(iface):  # noqa: N802 (the name QGIS calls)
    from .geodem_plugin import GeodemPlugin
    return GeodemPlugin(iface)
