#include "host/SetAside.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "host/UserPath.h"

namespace {

bool Movable(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode));
}

bool Exists(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0;
}

// A kept file of a dead run is taken only when it is the user's own: another user may have planted
// a file under that name in a shared folder.
bool Own(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && st.st_uid == ::geteuid() &&
         (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode));
}

}  // namespace

std::string SetAside::PathOf(const std::string& file, long pid) {
  return UserPath::SideName(file, "." + std::to_string(pid) + ".kept");
}

bool SetAside::Move(const std::vector<std::string>& files) {
  for (const std::string& file : files) {
    if (!Movable(file)) continue;
    Kept kept{file, PathOf(file, ::getpid())};
    // A name of the run's own: whatever stands there is no earlier file of ours to keep.
    std::string refusal;
    const int fd = UserPath::CreateSide(kept.aside, 0600, refusal);
    if (fd >= 0) ::close(fd);
    if (fd < 0 || ::rename(file.c_str(), kept.aside.c_str()) != 0) {
      const int error = errno;
      if (fd >= 0) ::unlink(kept.aside.c_str());
      Restore();
      errno = error;
      return false;
    }
    m_kept.push_back(std::move(kept));
  }
  return true;
}

void SetAside::Restore() {
  for (auto kept = m_kept.rbegin(); kept != m_kept.rend(); ++kept)
    ::rename(kept->aside.c_str(), kept->file.c_str());
  m_kept.clear();
}

void SetAside::Drop() {
  for (const Kept& kept : m_kept) ::unlink(kept.aside.c_str());
  m_kept.clear();
}

void SetAside::Recover(const std::vector<std::string>& files, long pid) {
  if (files.empty() || pid <= 0) return;
  if (Exists(files.front())) return;
  for (const std::string& file : files) {
    const std::string aside = PathOf(file, pid);
    if (!Own(aside)) continue;
    if (&file != &files.front()) {
      ::rename(aside.c_str(), file.c_str());
      continue;
    }
    // Never over a file that another run has put there since the look above.
    if (::renameat2(AT_FDCWD, aside.c_str(), AT_FDCWD, file.c_str(), RENAME_NOREPLACE) == 0)
      continue;
    if (errno != EINVAL) return;            // EEXIST: the pair stays aside, as above
    ::rename(aside.c_str(), file.c_str());  // a file system without the flag
  }
}
