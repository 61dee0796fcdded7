#include "apps/geodem/convert/OutputFolder.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>

namespace fs = std::filesystem;

namespace {

fs::path FolderOf(const fs::path& path) {
  fs::path folder = path.parent_path();
  return folder.empty() ? fs::path(".") : folder;
}

// Creates and removes an entry of the kind the writer will create in `folder`; errno, or 0.
int ProbeCreation(const fs::path& folder, bool asFolder) {
  std::string name = (folder / ".geodem-probe-XXXXXX").string();
  if (asFolder) {
    if (!::mkdtemp(name.data())) return errno;
    ::rmdir(name.c_str());
    return 0;
  }
  const int fd = ::mkstemp(name.data());
  if (fd < 0) return errno;
  ::close(fd);
  ::unlink(name.c_str());
  return 0;
}

}  // namespace

std::optional<std::string> OutputFolder::NearestExisting(const std::string& output,
                                                         FileFailure& failure) {
  fs::path folder = FolderOf(output);
  struct stat st {};
  while (::stat(folder.c_str(), &st) != 0) {
    const int error = errno;
    if (error != ENOENT || folder == FolderOf(folder)) {
      failure = {folder.string(), error};
      return std::nullopt;
    }
    folder = FolderOf(folder);
  }
  if (!S_ISDIR(st.st_mode)) {
    failure = {folder.string(), ENOTDIR};
    return std::nullopt;
  }
  return folder.string();
}

std::optional<FileFailure> OutputFolder::Check(const std::string& output) {
  FileFailure failure;
  const std::optional<std::string> existing = NearestExisting(output, failure);
  if (!existing) return failure;
  const bool missingFolders = fs::path(*existing) != FolderOf(output);
  if (const int error = ProbeCreation(*existing, missingFolders)) return FileFailure{*existing, error};
  return std::nullopt;
}
