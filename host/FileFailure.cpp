#include "host/FileFailure.h"

namespace {
thread_local std::optional<FileFailure> t_failure;
}  // namespace

void NoteFileFailure(const std::string& path, int error) { t_failure = FileFailure{path, error}; }

std::optional<FileFailure> TakeFileFailure() {
  std::optional<FileFailure> taken;
  taken.swap(t_failure);
  return taken;
}
