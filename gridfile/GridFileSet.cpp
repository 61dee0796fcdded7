#include "gridfile/GridFileSet.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>

#include "host/AtomicFile.h"
#include "host/UserPath.h"

namespace {

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Beside(const std::string& path, const std::string& name) {
  const std::size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? name : path.substr(0, slash + 1) + name;
}

// What stands at a companion's name: a file or a link (a folder there is nobody's companion).
bool Movable(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && (S_ISREG(st.st_mode) || S_ISLNK(st.st_mode));
}

void SyncFolderOf(const std::string& path) {
  const int fd = ::open(FolderOf(path).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

std::string Reason(const std::string& what) { return what + ": " + std::strerror(errno); }

}  // namespace

GridFileSet::~GridFileSet() {
  if (!m_preparedPrj.empty()) UserPath::RemoveOwnFile(m_preparedPrj);
}

std::string GridFileSet::prjPath() const {
  return std::filesystem::path(m_grid).replace_extension(".prj").string();
}

bool GridFileSet::IsPrjOf(std::string_view gridName, std::string_view name) {
  const std::size_t dot = gridName.find_last_of('.');
  const std::string_view stem = dot == std::string_view::npos ? gridName : gridName.substr(0, dot);
  return name.size() == stem.size() + 4 &&
         ::strncasecmp(name.data(), stem.data(), stem.size()) == 0 &&
         ::strncasecmp(name.data() + stem.size(), ".prj", 4) == 0;
}

std::vector<std::string> GridFileSet::Companions() const {
  std::vector<std::string> found;
  const std::string gridName = NameOf(m_grid);
  DIR* folder = ::opendir(FolderOf(m_grid).c_str());
  if (!folder) return found;
  while (const dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (IsPrjOf(gridName, name) || name == gridName + ".aux.xml") {
      const std::string path = Beside(m_grid, name);
      if (Movable(path)) found.push_back(path);
    }
  }
  ::closedir(folder);
  return found;
}

// A folder at the .prj's name could not be replaced once the grid stands: found before.
bool GridFileSet::PrjNameFree(std::string& error) const {
  struct stat st {};
  if (::lstat(prjPath().c_str(), &st) != 0 || S_ISLNK(st.st_mode)) return true;
  // A stranger's file or FIFO in a shared folder is refused, naming its owner (UserPath's rule).
  if ((error = UserPath::WriteRefusal(prjPath(), st)).empty() && S_ISREG(st.st_mode)) return true;
  if (!error.empty()) return errno = EACCES, false;
  errno = S_ISDIR(st.st_mode) ? EISDIR : EEXIST;
  error = Reason("cannot write " + prjPath());
  return false;
}

std::string GridFileSet::SideOfPrj(std::string_view what, long pid) const {
  return UserPath::SideName(prjPath(), "." + std::to_string(pid) + "." + std::string(what));
}

std::string GridFileSet::KeptOf(const std::string& file, long pid) {
  return UserPath::SideName(file, "." + std::to_string(pid) + ".kept");
}

std::string GridFileSet::DriverRasterOf(const std::string& grid) {
  return UserPath::SideName(grid, ".tmp.tif");
}

bool GridFileSet::PreparePrj(const std::string& esriWkt, std::string& error) {
  if (!PrjNameFree(error)) return false;
  const std::string path = SideOfPrj("part", ::getpid());
  const int fd = UserPath::CreateSide(path, 0666, error);
  if (fd < 0) {
    if (error.empty()) error = Reason("cannot write " + path);
    return false;
  }
  m_preparedPrj = path;
  // The replacement keeps the access rights of the file it replaces (its owner at Commit).
  struct stat earlier {};
  if (::stat(prjPath().c_str(), &earlier) == 0 && S_ISREG(earlier.st_mode))
    ::fchmod(fd, earlier.st_mode & 07777);
  const std::string text = esriWkt + "\n";
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                 ::fsync(fd) == 0;
  int failure = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    failure = errno;
  }
  if (written) return true;
  errno = failure;
  error = Reason("cannot write " + prjPath());
  return false;
}

bool GridFileSet::Commit(AtomicFile& grid, std::string& error) {
  const long pid = ::getpid();
  // A device or FIFO written in place has no companions to change.
  if (grid.inPlace()) {
    if (grid.Commit()) return true;
    error = Reason("cannot write " + m_grid);
    return false;
  }
  if (!grid.Sync()) {
    error = Reason("cannot write " + m_grid);
    return false;
  }
  const std::string part = SideOfPrj("part", pid), ready = SideOfPrj("ready", pid);
  const bool withPrj = UserPath::IsOwnFile(part);
  if (withPrj && !PrjNameFree(error)) return false;
  std::optional<struct stat> earlierPrj;
  if (struct stat st {}; withPrj && ::stat(prjPath().c_str(), &st) == 0) earlierPrj = st;
  if (withPrj && ::rename(part.c_str(), ready.c_str()) != 0) {
    error = Reason("cannot put " + prjPath() + " in place");
    return false;
  }
  std::vector<std::string> kept;
  bool moved = true;
  for (const std::string& companion : Companions()) {
    if (::rename(companion.c_str(), KeptOf(companion, pid).c_str()) != 0) {
      error = Reason("cannot replace " + companion);
      moved = false;
      break;
    }
    kept.push_back(companion);
  }
  if (!moved || !grid.Commit()) {
    if (moved) error = Reason("cannot put " + m_grid + " in place");
    const int failure = errno;
    PutBack(kept, pid);
    if (withPrj) ::rename(ready.c_str(), part.c_str());
    errno = failure;
    return false;
  }
  // Past this point the new grid stands: a .prj that cannot take its name stays ready beside it,
  // for the next writer to complete.
  const int owned = withPrj ? AtomicFile::KeepForOwner(ready, earlierPrj) : -1;
  if (withPrj && ::rename(ready.c_str(), prjPath().c_str()) == 0) {
    m_preparedPrj.clear();
    AtomicFile::GiveToOwner(owned, earlierPrj);
    SyncFolderOf(m_grid);
  } else if (owned >= 0) {
    ::close(owned);
  }
  for (const std::string& companion : kept) ::unlink(KeptOf(companion, pid).c_str());
  return true;
}

void GridFileSet::PutBack(const std::vector<std::string>& kept, long pid) const {
  for (const std::string& companion : kept) {
    // Never over a file that something else has put there meanwhile.
    if (::renameat2(AT_FDCWD, KeptOf(companion, pid).c_str(), AT_FDCWD, companion.c_str(),
                    RENAME_NOREPLACE) != 0 &&
        errno == EINVAL)
      ::rename(KeptOf(companion, pid).c_str(), companion.c_str());  // no such flag here
  }
}

bool GridFileSet::Remove(std::string& error) {
  if (::unlink(m_grid.c_str()) != 0 && errno != ENOENT) {
    error = Reason("cannot delete " + m_grid);
    return false;
  }
  for (const std::string& companion : Companions()) ::unlink(companion.c_str());
  SyncFolderOf(m_grid);
  return true;
}

void GridFileSet::ClearLeftovers(long pid) {
  UserPath::RemoveOwnFile(DriverRasterOf(m_grid));
  if (pid <= 0) return;
  std::string resolved, refusal;
  if (!UserPath::Follow(m_grid, resolved, refusal)) return;
  const std::string gridPart = AtomicFile::TemporaryPathOf(resolved, pid);
  const std::string ready = SideOfPrj("ready", pid);
  // Which companions the dead writer kept aside: their names with its suffix.
  std::vector<std::string> kept;
  const std::string suffix = "." + std::to_string(pid) + ".kept";
  const std::string gridName = NameOf(m_grid);
  if (DIR* folder = ::opendir(FolderOf(m_grid).c_str())) {
    while (const dirent* entry = ::readdir(folder)) {
      const std::string name = entry->d_name;
      if (!name.ends_with(suffix)) continue;
      const std::string companion = name.substr(0, name.size() - suffix.size());
      if ((IsPrjOf(gridName, companion) || companion == gridName + ".aux.xml") &&
          UserPath::IsOwnFile(Beside(m_grid, name)))
        kept.push_back(Beside(m_grid, companion));
    }
    ::closedir(folder);
  }
  if (UserPath::IsOwnFile(gridPart)) {
    // Killed before its grid took the name: the earlier set stays whole.
    ::unlink(gridPart.c_str());
    UserPath::RemoveOwnFile(ready);
    PutBack(kept, pid);
  } else {
    // Its grid stands (or it never got as far as a grid): the .prj that was ready joins it.
    if (UserPath::IsOwnFile(ready)) ::rename(ready.c_str(), prjPath().c_str());
    for (const std::string& companion : kept) ::unlink(KeptOf(companion, pid).c_str());
  }
  UserPath::RemoveOwnFile(SideOfPrj("part", pid));
  SyncFolderOf(m_grid);
}
