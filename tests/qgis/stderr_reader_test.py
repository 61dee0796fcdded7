#!/usr/bin/python3
"""How the plugin reads geodem's stderr: progress ticks arriving in pieces, interrupted by log
lines, a batch's progress line in English and Chinese, and each marked line routed to its kind of
feedback. Needs no QGIS: the reader is fed text and reports to a recording stand-in.

  stderr_reader_test.py PLUGIN_DIR
"""
import sys
import unittest

sys.path.insert(0, sys.argv.pop(1))
from stderr_reader import StderrReader  # noqa: E402


class Recorder:
    def __init__(self):
        self.progress, self.calls = [], []

    def setProgress(self, percent):  # noqa: N802
        self.progress.append(percent)

    def __getattr__(self, name):
        return lambda text: self.calls.append((name, text))


def read(*pieces):
    feedback = Recorder()
    reader = StderrReader(feedback)
    after = []
    for piece in pieces:
        reader.feed(piece)
        after.append(feedback.progress[-1] if feedback.progress else None)
    reader.finish()
    return feedback, reader, after


class StderrReaderTest(unittest.TestCase):
    def test_progress_as_it_arrives(self):
        cases = [
            # pieces, progress after each piece
            (["0..", ".1", "0...2", "0...1", "00 - done."], [5.0, 7.5, 17.5, 27.5, 100.0]),
            (["0...10...20", "\nwarning: slow disk\n", "...30"], [20.0, 20.0, 30.0]),
            (["0...10...20...30...40...50...60...70...80...90...100 - done.\n"], [100.0]),
            (["0...10...20...30...40...50...60...70...80...90...100 - 完成。\n"], [100.0]),
            (["batch: 1/4 done, 0 failed, 0:01 elapsed\n"], [25.0]),
            (["批处理：已完成 2/4，失败 1，已用 0:02\n"], [75.0]),
            # Neither ticks nor a batch's line: no progress.
            (["1200 x 900 cells\n", "2.5 m\n"], [None, None]),
        ]
        for pieces, expected in cases:
            with self.subTest(pieces=pieces):
                _, _, after = read(*pieces)
                self.assertEqual(after, expected)

    def test_lines_reach_their_kind_of_feedback(self):
        feedback, reader, _ = read("0...1", "0\ninfo: 3 blocks\nwarning: w\nerror: first\n",
                                   "exception: second\n", "统计 table\n", "error: last")
        # The latest error waits for the next, or for the run's end: a run that fails says it
        # once, as its exception; one that succeeds reports it then.
        self.assertEqual(feedback.calls, [
            ("pushInfo", "3 blocks"), ("pushWarning", "w"), ("reportError", "first"),
            ("pushConsoleInfo", "统计 table"), ("reportError", "second")])
        self.assertEqual(reader.last_error(), "last")
        reader.report_held()
        reader.report_held()
        self.assertEqual(feedback.calls[-2:], [("reportError", "second"), ("reportError", "last")])

    def test_advice_names_the_parameters(self):
        feedback = Recorder()
        reader = StderrReader(feedback, {"--overwrite": "Replace an existing grid file"})
        reader.feed("warning: a.dem kept: add --overwrite\nerror: a.dem exists; add --overwrite "
                    "to replace it\n")
        self.assertEqual(feedback.calls, [("pushWarning", 'a.dem kept: add "Replace an existing '
                                                          'grid file"')])
        self.assertEqual(reader.last_error(),
                         'a.dem exists; add "Replace an existing grid file" to replace it')


if __name__ == "__main__":
    unittest.main()
