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
    m_fd = UserPath::Open(m_target, O_WRONLY | O_TRUNC, 0, m_refusal);
    return m_fd >= 0;
  }
  // A stranger's file in a shared folder is not ours to replace, even by a rename.
  if (exists && !(m_refusal = UserPath::WriteRefusal(m_target, existing)).empty()) {
    errno = EACCES;
    return false;
  }
  m_temporary = TemporaryPathOf(m_target, ::getpid());
  m_fd = UserPath::CreateSide(m_temporary, 0666, m_refusal);
  if (m_fd < 0) {
    m_temporary.clear();
    return false;
  }
  m_earlier.reset();
  if (exists) {
    m_earlier = existing;
    ::fchmod(m_fd, existing.st_mode & 07777);
  }
  return true;
}

// Root replacing another user's file leaves it theirs: a grid they could read stays readable. The
// owner changes only once the file has its name: until then a side file of the run's own is what
// the next writer looks for.
int AtomicFile::KeepForOwner(const std::string& path, const std::optional<struct stat>& earlier) {
  if (!earlier || ::geteuid() != 0 || earlier->st_uid == 0) return -1;
  return ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
}

void AtomicFile::GiveToOwner(int fd, const std::optional<struct stat>& earlier) {
  if (fd < 0) return;
  // The descriptor, not the name: whatever stands at the name by now is not changed.
  if (::fchown(fd, earlier->st_uid, earlier->st_gid) == 0) ::fchmod(fd, earlier->st_mode & 07777);
  ::close(fd);
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
  const int owned = KeepForOwner(m_temporary, m_earlier);
  if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) {
    const int error = errno;
    if (owned >= 0) ::close(owned);
    // The temporary stays until Abandon: a caller may first have to undo what it did around the
    // rename, and until it goes, a killed writer's leftovers still say "not committed".
    errno = error;
    return false;
  }
  GiveToOwner(owned, m_earlier);
  m_temporary.clear();
  SyncFolderOf(m_target);
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
