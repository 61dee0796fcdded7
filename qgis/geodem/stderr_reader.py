"""geodem's stderr turned into Processing's feedback: lines marked "warning:" become warnings,
"error:" and "exception:" errors, "info:" information; GDAL-style progress ticks
(0...10...20... - done.) and a batch's progress line (12/20 done, 1 failed, ...) move the
progress bar. A line of ticks arrives piece by piece, so the open line is read as it grows."""
import re

# A tick is a dot (2.5 %) or the tens it has reached; " - done." may end the line.
_TICKS = re.compile(r"(?:\d+|\.)+")
_TICK = re.compile(r"\d+|\.")
_TENS = {str(n) for n in range(0, 101, 10)}
_DONE_TAIL = re.compile(r"\s+-\s.*")
# "<done>/<total> ..., <failed> ..." in any language of geodem's catalogue.
_BATCH = re.compile(r"(\d+)/(\d+)\D+?(\d+)")


class StderrReader:
    def __init__(self, feedback, advice=None):
        self.feedback = feedback
        # geodem's option names in its advice, as the algorithm's own parameters are labelled.
        self.advice = advice or {}
        self.held = None  # the latest error, said by whoever ends the run (see report_held)
        self.line = ""
        self.counted = 0  # ticks of the open line already counted
        self.tick = 0
        self.errors = []

    def feed(self, text):
        self.line += text
        while "\n" in self.line:
            line, self.line = self.line.split("\n", 1)
            if not self._ticks(line, complete=True):
                self._log(line)
            self.counted = 0
        self._ticks(self.line, complete=False)

    def finish(self):
        if self.line:
            self.feed("\n")

    def last_error(self):
        return self.errors[-1] if self.errors else ""

    def report_held(self):
        """Reports the latest error; a run that fails says it once, as its exception, instead."""
        if self.held is not None and self.feedback is not None:
            self.feedback.reportError(self.held)
        self.held = None

    def _ticks(self, line, complete):
        """Counts the new ticks of a progress line; False when the line is not one."""
        match = _TICKS.match(line)
        if not match:
            return False
        rest = line[match.end():]
        if complete and rest and not _DONE_TAIL.fullmatch(rest):
            return False
        ticks = _TICK.findall(match.group())
        if not complete and not rest and any(t.startswith(ticks[-1]) and t != ticks[-1]
                                              for t in _TENS):
            ticks.pop()  # the number is still being written ("1" of "10" or "100")
        if any(t != "." and t not in _TENS for t in ticks):
            return False
        for tick in ticks[self.counted:]:
            self.tick = self.tick + 1 if tick == "." else int(tick) // 10 * 4
        self.counted = max(self.counted, len(ticks))
        self._progress(self.tick * 2.5)
        return True

    def _log(self, line):
        if self.feedback is None or not line.strip():
            return
        mark, _, text = line.partition(" ")
        for option, label in self.advice.items():
            text = text.replace(option, '"%s"' % label)
        if mark == "info:":
            self.feedback.pushInfo(text)
        elif mark == "warning:":
            self.feedback.pushWarning(text)
        elif mark in ("error:", "exception:"):
            self.errors.append(text)
            self.report_held()
            self.held = text
        else:
            batch = _BATCH.search(line)
            if batch:
                done, total, failed = (int(n) for n in batch.groups())
                if total and done + failed <= total:
                    self._progress(100.0 * (done + failed) / total)
            self.feedback.pushConsoleInfo(line)

    def _progress(self, percent):
        if self.feedback is not None:
            self.feedback.setProgress(min(100.0, percent))
