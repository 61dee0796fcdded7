#!/usr/bin/python3
"""The findings table's rows from geodem check --json, as a list of files and, with --edges, as an
object holding the files, the edges and their summary; a finding's key that a file already holds
never replaces the file's value. Needs no QGIS.

  findings_rows_test.py PLUGIN_DIR
"""
import sys
import unittest

sys.path.insert(0, sys.argv.pop(1))
from findings_rows import FindingsRows  # noqa: E402

FILE = {"file": "a.dem", "status": "errors", "line": 3, "sheet": {"number": "J50E001001"},
        "errors": [{"line": 7, "message": "short", "status": "bad", "finding": "x"}],
        "warnings": []}
EDGE = {"first": "a.dem", "second": "b.dem", "side": "east", "status": "differs",
        "largest_at": {"first": {"row": 2, "column": 9}}}


class FindingsRowsTest(unittest.TestCase):
    def test_a_finding_never_overwrites_its_file(self):
        rows = FindingsRows.of([FILE, {"file": "b.dem", "status": "ok", "errors": []}])
        self.assertEqual(rows, [
            {"file": "a.dem", "status": "errors", "line": 3, "sheet.number": "J50E001001",
             "finding": "errors", "finding.line": 7, "message": "short",
             "finding.status": "bad", "finding.finding": "x"},
            {"file": "b.dem", "status": "ok", "finding": None}])

    def test_the_edges_object_gives_files_and_edges(self):
        rows = FindingsRows.of({"files": [FILE], "edge_set": {"status": "errors", "failed": 1},
                                "edges": [EDGE]})
        self.assertEqual([r["finding"] for r in rows], ["errors", "edge_set", "edges"])
        self.assertEqual(rows[2]["largest_at.first.row"], 2)
        self.assertEqual(rows[2]["status"], "differs")
        self.assertEqual(FindingsRows.of({"files": [], "edges": []}), [])


if __name__ == "__main__":
    unittest.main()
