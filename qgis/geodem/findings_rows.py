"""The rows of the findings table from what geodem check --json prints, taken as it comes: each
file's own values (nested objects as dotted names), and for each list of findings it holds (errors,
warnings, ...) one row per finding, its list's name in the column "finding"; a file without
findings gives one row with no finding. No key but the structure is assumed, so the table follows
whatever geodem reports."""

FINDING = "finding"


class FindingsRows:
    @staticmethod
    def of(files):
        rows = []
        for entry in files:
            own, lists = FindingsRows._split(entry)
            found = False
            for name, items in lists:
                for item in items:
                    row = dict(own)
                    row[FINDING] = name
                    for key, value in FindingsRows._flat(item):
                        row[key if key not in own else FINDING + "." + key] = value
                    rows.append(row)
                    found = True
            if not found:
                rows.append(dict(own, **{FINDING: None}))
        return rows

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
