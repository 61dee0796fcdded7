"""The installed geodem command, run for an algorithm: its log reaches Processing's feedback as it
comes, and Processing's cancel reaches geodem as SIGINT (Ctrl-C), after which geodem removes what
it had begun and ends."""
import codecs
import os
import queue
import shutil
import signal
import subprocess
import threading

from qgis.core import QgsProcessingException

from .stderr_reader import StderrReader

# The installed plugin's folder below the prefix whose bin/ holds the geodem it belongs to.
_PLUGIN_FOLDER = ["share", "qgis", "python", "plugins"]


class GeodemProgram:
    @staticmethod
    def find():
        """geodem beside the plugin (the same installation), else the first on PATH."""
        folder = os.path.dirname(os.path.abspath(__file__)).split(os.sep)
        if folder[-5:-1] == _PLUGIN_FOLDER:
            program = os.path.join(os.sep.join(folder[:-5]) or os.sep, "bin", "geodem")
            if os.access(program, os.X_OK):
                return program
        return shutil.which("geodem")

    def __init__(self, feedback):
        self.feedback = feedback
        self.program = self.find()
        if not self.program:
            from .catalogue import _  # the catalogue is found through the program
            raise QgsProcessingException(
                _("geodem was found neither beside the plugin nor on PATH: install geodem"))

    def help_text(self, subcommand):
        run = subprocess.run([self.program, subcommand, "--help"], stdin=subprocess.DEVNULL,
                             capture_output=True, text=True, env=self._environment())
        return run.stdout

    def run(self, arguments, advice=None):
        """Runs geodem ARGUMENTS...; returns (exit status, stdout as text, reader of stderr).
        advice: {geodem option: parameter label} for the options its messages name."""
        if self.feedback is not None:
            self.feedback.pushCommandInfo(" ".join([self.program] + arguments))
        with subprocess.Popen([self.program] + arguments, stdin=subprocess.DEVNULL,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              env=self._environment()) as process:
            return self._follow(process, advice)

    def _follow(self, process, advice):
        stdout = []
        out_thread = threading.Thread(target=lambda: stdout.append(process.stdout.read()))
        out_thread.start()
        chunks = queue.Queue()
        err_thread = threading.Thread(target=self._pump, args=(process.stderr, chunks))
        err_thread.start()
        reader = StderrReader(self.feedback, advice)
        decoder = codecs.getincrementaldecoder("utf-8")("replace")
        interrupted = False
        while True:
            try:
                chunk = chunks.get(timeout=0.1)
            except queue.Empty:
                chunk = b""
            if chunk is None:
                break
            reader.feed(decoder.decode(chunk))
            if not interrupted and self.feedback is not None and self.feedback.isCanceled():
                # One signal only: geodem takes a second one as "stop at once".
                process.send_signal(signal.SIGINT)
                interrupted = True
        reader.feed(decoder.decode(b"", final=True))
        reader.finish()
        status = process.wait()
        out_thread.join()
        err_thread.join()
        return status, stdout[0].decode("utf-8", "replace"), reader

    @staticmethod
    def _pump(stream, chunks):
        for chunk in iter(lambda: os.read(stream.fileno(), 65536), b""):
            chunks.put(chunk)
        chunks.put(None)

    @staticmethod
    def _environment():
        # A terminal's width or colours mean nothing here; everything else (the registry, the
        # language) is the user's.
        environment = dict(os.environ)
        environment.pop("COLUMNS", None)
        return environment
