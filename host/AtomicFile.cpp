#include "host/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <memory>

#include "host/SidePath.h"

namespace {

// A link is followed to the file it names, so that the replacement lands there.
std::string Resolve(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  std::unique_ptr<char, decltype(&std::free)> real(::realpath(path.c_str(), nullptr), &std::free);
  return real ? std::string(real.get()) : path;
}

// The rename is durable only once the folder's entry is.
void SyncFolderOf(const std::string& path) {
  std::size_t slash = path.find_last_of('/');
  std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
  int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

std::string AtomicFile::TemporaryPathOf(const std::string& target, long pid) {
  return SidePath(target, "." + std::to_string(pid) + ".part");
}

void AtomicFile::RemoveTemporaryOf(const std::string& target, long pid) {
  ::unlink(TemporaryPathOf(Resolve(target), pid).c_str());
}

bool AtomicFile::Create(const std::string& target) {
  Abandon();
  m_target = Resolve(target);
  struct stat existing {};
  const bool exists = ::stat(m_target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    m_fd = ::open(m_target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    return m_fd >= 0;
  }
  m_temporary = TemporaryPathOf(m_target, ::getpid());
  m_fd = ::open(m_temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0666);
  if (m_fd < 0) {
    m_temporary.clear();
    return false;
  }
  // The replacement keeps the access rights of the file it replaces.
  if (exists) ::fchmod(m_fd, existing.st_mode & 07777);
  return true;
}

bool AtomicFile::Write(const void* data, std::size_t size) {
  const char* at = static_cast<const char*>(data);
  while (size > 0) {
    const ssize_t n = ::write(m_fd, at, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    at += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

bool AtomicFile::Commit() {
  if (m_fd < 0) return false;
  // Some file systems report a failed write only at the flush or at the close.
  bool ok = m_temporary.empty() || ::fsync(m_fd) == 0;
  if (::close(m_fd) != 0) ok = false;
  m_fd = -1;
  if (m_temporary.empty()) return ok;
  if (!ok || ::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    Abandon();
    return false;
  }
  m_temporary.clear();
  SyncFolderOf(m_target);
  ::unlink((m_target + ".aux.xml").c_str());
  return true;
}

void AtomicFile::Abandon() {
  if (m_fd >= 0) {
    const int error = errno;
    ::close(m_fd);
    errno = error;
    m_fd = -1;
  }
  if (!m_temporary.empty()) {
    ::unlink(m_temporary.c_str());
    m_temporary.clear();
  }
}
