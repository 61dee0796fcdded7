#pragma once
// The operating system's reason why a component could not write one of its output files, kept for
// the host: the component notes it where the write fails (its log lines stay as they are), and the
// host takes it after the failed call to tell its user why. One state for each thread of the
// process, like the event sink for the process.
#include <optional>
#include <string>

struct FileFailure {
  std::string path;  // the operating system's path (UTF-8)
  int error = 0;     // errno of the failed operation
};

void NoteFileFailure(const std::string& path, int error);
// The failure noted since the last call, if any; clears it.
std::optional<FileFailure> TakeFileFailure();
