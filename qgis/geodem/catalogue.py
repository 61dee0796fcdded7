"""Texts in QGIS's language from geodem's own catalogue (the domain "geodem"): the options' help
that geodem prints is shown as it is translated there, and the plugin's own texts live beside it."""
import gettext
import os

from qgis.core import QgsApplication

from .geodem_program import GeodemProgram


class Catalogue:
    _translation = None

    @classmethod
    def translation(cls):
        if cls._translation is None:
            cls._translation = gettext.translation(
                "geodem", cls.locale_dir(), languages=cls.languages(), fallback=True)
        return cls._translation

    @staticmethod
    def languages():
        # QGIS's own language (its setting, else the system's), as zh_CN and as zh; gettext
        # takes zh (and QGIS's zh-Hans through it) for zh_CN.
        name = (QgsApplication.locale() or "").replace("-", "_")
        return [name, name.split("_")[0]] if name else []

    @staticmethod
    def locale_dir():
        # Where geodem finds it: share/locale beside the program's bin/ (the build tree mirrors
        # that layout).
        program = GeodemProgram.find()
        if not program:
            return None
        return os.path.join(os.path.dirname(os.path.realpath(program)), "..", "share", "locale")


def _(text):
    return Catalogue.translation().gettext(text)


def N_(text):  # noqa: N802 (marks a text for the catalogue; translated where it is shown)
    return text
