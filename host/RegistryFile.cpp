#include "host/RegistryFile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <sys/sysmacros.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <set>
#include <sstream>
#include <system_error>
#include <thread>

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

// The process holding a flock on the file, from the kernel's table of locks (0 when not found).
long FlockHolder(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) return 0;
  char self[64];
  std::snprintf(self, sizeof self, "%02x:%02x:%llu", ::major(st.st_dev), ::minor(st.st_dev),
                static_cast<unsigned long long>(st.st_ino));
  std::ifstream locks("/proc/locks");
  std::string line;
  while (std::getline(locks, line)) {
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    if (!(fields >> number >> kind >> mode >> access >> pid >> file) || kind != "FLOCK") continue;
    if (file == self) return std::stol(pid);
  }
  return 0;
}

std::string ProcessName(long pid) {
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name.empty() ? "unknown" : name;
}

// A lock waited for in vain is not waited for again by the same process: one run (a registration
// makes several changes) stays within one bound. `now` records such a wait.
bool WaitedInVain(const std::string& lockPath, bool now) {
  static std::mutex mutex;
  static std::set<std::string> paths;
  std::lock_guard<std::mutex> hold(mutex);
  if (now) paths.insert(lockPath);
  return paths.count(lockPath) > 0;
}

// Makes the rename itself durable; a folder that cannot be synced is no reason to fail the write.
void SyncFolder(const std::string& path) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  Descriptor dir(::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (dir.fd >= 0) ::fsync(dir.fd);
}

}  // namespace

// Only the registry's owner can open its lock: flock works on a file opened for reading too, so a
// lock that others may read is one they may hold. A lock file of an earlier version is narrowed.
int RegistryFile::OpenLock(const std::string& lockPath) {
  const int fd = ::open(lockPath.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) ThrowIo("cannot open the registry lock file", lockPath, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || st.st_uid != ::geteuid() || ::fchmod(fd, 0600) != 0) {
    ::close(fd);
    throw RegistryError(ERROR_REGISTRY_IO_FAILED, "the registry lock file " + Utf8ToGbk(lockPath) +
                                                      " is not this user's own; remove it");
  }
  return fd;
}

void RegistryFile::LockWithin(int fd, const std::string& lockPath) const {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline =
      WaitedInVain(lockPath, false) ? Clock::now() : Clock::now() + lockWait_;
  while (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK && errno != EINTR)
      ThrowIo("cannot lock the registry lock file", lockPath, errno);
    if (Clock::now() >= deadline) {
      WaitedInVain(lockPath, true);
      const long holder = FlockHolder(fd);
      const std::string by =
          holder > 0 ? " by process " + std::to_string(holder) + " (" + ProcessName(holder) + ")"
                     : "";
      throw RegistryError(ERROR_REGISTRY_IO_FAILED,
                          "the registry lock file " + Utf8ToGbk(lockPath) + " is held" + by +
                              " for more than " + std::to_string(lockWait_.count()) +
                              " s; try again later");
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

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
  Descriptor lock(OpenLock(lockPath));
  LockWithin(lock.fd, lockPath);

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
