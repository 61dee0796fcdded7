"""Rows of geodem's JSON as attribute table rows, keeping geodem's own keys as the field names, so
that a field geodem adds or renames shows up without a change here: numbers stay numbers, a
nested value is kept as its JSON text."""
import json

from qgis.PyQt.QtCore import QVariant
from qgis.core import QgsField, QgsFields


class JsonTable:
    def __init__(self, rows):
        self.rows = rows
        self.names = []
        for row in rows:
            for name in row:
                if name not in self.names:
                    self.names.append(name)

    def fields(self):
        fields = QgsFields()
        for name in self.names:
            fields.append(QgsField(name, self._type(name)))
        return fields

    def attributes(self, row):
        return [self._value(row.get(name), self._type(name)) for name in self.names]

    def _type(self, name):
        values = [row[name] for row in self.rows if row.get(name) is not None]
        if values and all(isinstance(v, int) and not isinstance(v, bool) for v in values):
            return QVariant.LongLong
        if values and all(isinstance(v, (int, float)) and not isinstance(v, bool)
                          for v in values):
            return QVariant.Double
        return QVariant.String

    @staticmethod
    def _value(value, kind):
        if value is None or kind != QVariant.String:
            return value
        if isinstance(value, str):
            return value
        return json.dumps(value, ensure_ascii=False)
