#include "host/RegistryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "host/CodePage.h"
#include "host/RegistryError.h"
#include "host/RegistryFormat.h"

namespace {

[[noreturn]] void ThrowIo(const std::string& what, const std::string& path, int error) {
  throw RegistryError(ERROR_REGISTRY_IO_FAILED,
                      what + " " + Utf8ToGbk(path) + ": " +
                          std::error_code(error, std::generic_category()).message());
}

// Closes a file descriptor at the end of its scope (which also drops a flock held through it).
struct Descriptor {
  explicit Descriptor(int f) : fd(f) {}
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
  int fd;
};

void WriteAll(int fd, const std::string& text, const std::string& path) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIo("cannot write", path, errno);
    done += static_cast<std::size_t>(n);
  }
}

std::string ReadAll(int fd, const std::string& path) {
  std::string text;
  char buffer[1 << 16];
  for (;;) {
    ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) ThrowIo("cannot read the registry file", path, errno);
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
  }
}

// The replacement keeps the permissions of the file it replaces.
mode_t ModeOf(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 ? (st.st_mode & 07777) : 0644;
}

// Makes the rename itself durable; a folder that cannot be synced is no reason to fail the write.
void SyncFolder(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  Descriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) ::fsync(dir.fd);
}

}  // namespace

RegistryTree RegistryFile::Load() const {
  Descriptor file(::open(path_.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.fd < 0) {
    if (errno == ENOENT) return RegistryTree();
    ThrowIo("cannot open the registry file", path_, errno);
  }
  return RegistryFormat::Read(ReadAll(file.fd, path_), path_);
}

void RegistryFile::Update(const std::function<bool(RegistryTree&)>& change) const {
  std::filesystem::path folder = std::filesystem::path(path_).parent_path();
  std::error_code ec;
  if (!folder.empty()) std::filesystem::create_directories(folder, ec);
  if (ec) ThrowIo("cannot create the folder of the registry file", path_, ec.value());

  const std::string lockPath = path_ + ".lock";
  Descriptor lock(::open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644));
  if (lock.fd < 0) ThrowIo("cannot open the registry lock file", lockPath, errno);
  while (::flock(lock.fd, LOCK_EX) != 0)
    if (errno != EINTR) ThrowIo("cannot lock the registry lock file", lockPath, errno);

  RegistryTree tree = Load();
  if (change(tree)) WriteAtomically(RegistryFormat::Write(tree));
}

void RegistryFile::WriteAtomically(const std::string& text) const {
  std::string temporary = path_ + ".XXXXXX";
  Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (file.fd < 0) ThrowIo("cannot create a temporary file beside", path_, errno);
  try {
    WriteAll(file.fd, text, temporary);
    if (::fchmod(file.fd, ModeOf(path_)) != 0) ThrowIo("cannot set the mode of", temporary, errno);
    if (::fsync(file.fd) != 0) ThrowIo("cannot sync", temporary, errno);
    if (::rename(temporary.c_str(), path_.c_str()) != 0)
      ThrowIo("cannot replace the registry file", path_, errno);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  SyncFolder(path_);
}
