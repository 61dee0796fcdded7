"""The rows of the findings table from what geodem check --json prints, taken as it comes: a list
of files, or an object whose lists of objects are the files (objects with a "file") and other
findings (the edges of a sheet set, ...), and whose other objects are summaries (the edge set).
Each file's own values (nested objects as dotted names), and for each list of findings it holds
(errors, warnings, ...) one row per finding, its list's name in the column "finding"; a file
without findings gives one row with no finding; each other finding or summary a row of its own.
A finding's key that a file's value already holds is kept as "finding.<key>", never over it. No
key but the structure is assumed, so the table follows whatever geodem reports."""

FINDING = "finding"


class FindingsRows:
    @staticmethod
    def of(printed):
        if isinstance(printed, list):
            return FindingsRows._files(printed)
        files, rows = [], []
        for key, value in printed.items():
            if isinstance(value, list) and all(isinstance(v, dict) for v in value):
                if value and all("file" in v for v in value):
                    files += value
                else:
                    rows += [FindingsRows._row({FINDING: key}, item) for item in value]
            elif isinstance(value, dict):
                rows.append(FindingsRows._row({FINDING: key}, value))
        return FindingsRows._files(files) + rows

    @staticmethod
    def _files(files):
        rows = []
        for entry in files:
            own, lists = FindingsRows._split(entry)
            found = False
            for name, items in lists:
                for item in items:
                    rows.append(FindingsRows._row(dict(own, **{FINDING: name}), item))
                    found = True
            if not found:
                rows.append(dict(own, **{FINDING: None}))
        return rows

    @staticmethod
    def _row(row, item):
        """row with the finding item's values added, none over a value already there."""
        row = dict(row)
        for key, value in FindingsRows._flat(item):
            while key in row:
                key = FINDING + "." + key
            row[key] = value
        return row

    @staticmethod
    def _split(entry):
        own, lists = {}, []
        for key, value in entry.items():
            if isinstance(value, list) and value and all(isinstance(v, dict) for v in value):
                lists.append((key, value))
            elif isinstance(value, list) and not value:
                continue  # an empty list of findings
            else:
                own.update(FindingsRows._flat({key: value}))
        return own, lists

    @staticmethod
    def _flat(value, prefix=""):
        for key, item in value.items():
            if isinstance(item, dict):
                yield from FindingsRows._flat(item, prefix + key + ".")
            else:
                yield prefix + key, item
