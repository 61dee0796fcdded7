#include "host/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "host/UserPath.h"

namespace {

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
  return UserPath::SideName(target, "." + std::to_string(pid) + ".part");
}

void AtomicFile::RemoveTemporaryOf(const std::string& target, long pid) {
  std::string resolved, refusal;
  if (UserPath::Follow(target, resolved, refusal))
    UserPath::RemoveOwnFile(TemporaryPathOf(resolved, pid));
}

bool AtomicFile::Create(const std::string& target) {
  Abandon();
  m_synced = false;
  m_refusal.clear();
  if (!UserPath::Follow(target, m_target, m_refusal)) return false;
  struct stat existing {};
  const bool exists = ::stat(m_target.c_str(), &existing) == 0;
  if (exists && !S_ISREG(existing.st_mode)) {
    m_fd = ::open(m_target.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOFOLLOW);
    return m_fd >= 0;
  }
  m_temporary = TemporaryPathOf(m_target, ::getpid());
  m_fd = UserPath::CreateSide(m_temporary, 0666, m_refusal);
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

bool AtomicFile::Sync() {
  if (m_fd < 0) return m_synced;
  // Some file systems report a failed write only at the flush or at the close.
  bool ok = m_temporary.empty() || ::fsync(m_fd) == 0;
  if (::close(m_fd) != 0) ok = false;
  m_fd = -1;
  if (!ok) Abandon();
  m_synced = ok;
  return ok;
}

bool AtomicFile::Commit() {
  if (!Sync()) return false;
  m_synced = false;
  if (m_temporary.empty()) return true;
  if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
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
