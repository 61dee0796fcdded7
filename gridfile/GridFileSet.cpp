#include "gridfile/GridFileSet.h"

#include <dirent.h>
#include <fcntl.h>
#include <gdal.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <set>

#include "gridfile/PrjFile.h"
#include "host/AtomicFile.h"
#include "host/PrjOffers.h"
#include "host/UserPath.h"
#include "messages/MessageText.h"

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

std::string_view StemOf(std::string_view name) {
  const std::size_t dot = name.find_last_of('.');
  return dot == std::string_view::npos ? name : name.substr(0, dot);
}

bool SameIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

void ForEachName(const std::string& folder, const std::function<void(const std::string&)>& use) {
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") use(name);
  }
  ::closedir(dir);
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

// "<base>.<pid>.<what>": the writer's process and the kind of side file; false for other names.
bool SplitSide(const std::string& name, std::string& base, long& pid, std::string& what) {
  const std::size_t last = name.find_last_of('.');
  if (last == std::string::npos || last == 0) return false;
  const std::size_t before = name.find_last_of('.', last - 1);
  if (before == std::string::npos || before + 1 == last) return false;
  const std::string digits = name.substr(before + 1, last - before - 1);
  if (digits.size() > 9 ||
      !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
    return false;
  base = name.substr(0, before);
  pid = std::stol(digits);
  what = name.substr(last + 1);
  return what == "part" || what == "ready" || what == "kept";
}

// A .prj's text, read without blocking on whatever stands at its name.
std::optional<std::string> ReadSmallFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  std::optional<std::string> text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_size < (1 << 20)) {
    text.emplace(static_cast<std::size_t>(st.st_size), '\0');
    if (::pread(fd, text->data(), text->size(), 0) != static_cast<ssize_t>(text->size()))
      text.reset();
  }
  ::close(fd);
  return text;
}

}  // namespace

GridFileSet::~GridFileSet() {
  if (m_offered) PrjOffers::Withdraw(m_grid);
}

std::string GridFileSet::prjPath() const {
  return std::filesystem::path(m_grid).replace_extension(".prj").string();
}

bool GridFileSet::IsPrjOf(std::string_view gridName, std::string_view name) {
  const std::string_view stem = StemOf(gridName);
  return name.size() == stem.size() + 4 && SameIgnoringCase(name.substr(0, stem.size()), stem) &&
         SameIgnoringCase(name.substr(stem.size()), ".prj");
}

bool GridFileSet::IsOwnPrj() const {
  const std::string name = NameOf(m_grid);
  return IsPrjOf(name, name);
}

bool GridFileSet::SharesPrjWith(std::string_view gridName, std::string_view name) {
  // The set's own names: the grid, its .prj files, and the side files of a grid without an
  // extension, which share its stem.
  return name != gridName && !IsPrjOf(gridName, name) &&
         SameIgnoringCase(StemOf(name), StemOf(gridName)) &&
         name != std::string(gridName) + ".lock" && name != std::string(gridName) + ".tmp";
}

std::string GridFileSet::PrjSharer() const {
  const std::string gridName = NameOf(m_grid);
  std::set<std::string> sharers;
  ForEachName(FolderOf(m_grid), [&](const std::string& name) {
    if (!SharesPrjWith(gridName, name)) return;
    struct stat st {};
    if (::lstat(Beside(m_grid, name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode))
      sharers.insert(name);
  });
  // A shapefile is three files or more: a few name the dataset well enough.
  std::string named;
  int count = 0;
  for (const std::string& name : sharers) {
    if (++count > 3) return named + ", ...";
    named += (named.empty() ? "" : ", ") + Beside(m_grid, name);
  }
  return named;
}

std::vector<std::string> GridFileSet::Companions() const {
  std::vector<std::string> found;
  const std::string gridName = NameOf(m_grid);
  const bool prjOurs = !IsOwnPrj() && PrjSharer().empty();
  ForEachName(FolderOf(m_grid), [&](const std::string& name) {
    const bool prj = prjOurs && IsPrjOf(gridName, name);
    if (!prj && name != gridName + ".aux.xml") return;
    const std::string path = Beside(m_grid, name);
    if (Movable(path)) found.push_back(path);
  });
  return found;
}

std::string GridFileSet::PrjOnDisk() const {
  std::string prj;
  const std::string gridName = NameOf(m_grid);
  ForEachName(FolderOf(m_grid), [&](const std::string& name) {
    if (IsPrjOf(gridName, name) && (prj.empty() || name < prj)) prj = name;
  });
  return prj.empty() ? prj : Beside(m_grid, prj);
}

std::string GridFileSet::SharedPrjRefusal(const std::string& wkt) const {
  if (IsOwnPrj()) return {};
  const std::string sharer = PrjSharer();
  const std::string prj = sharer.empty() ? std::string() : PrjOnDisk();
  if (prj.empty()) return {};
  if (wkt.empty()) {
    return MessageText::Tr(
        "%s belongs to %s as well, and the grid %s has no coordinate system, so readers would "
        "take that one for it; %s is left as it is and the grid is not written: choose another "
        "name for the grid",
        prj.c_str(), sharer.c_str(), m_grid.c_str(), prj.c_str());
  }
  const std::optional<std::string> text = ReadSmallFile(prj);
  if (text && PrjFile::SameSystem(*text, wkt)) return {};
  return MessageText::Tr(
      "%s belongs to %s as well, and states another coordinate system than the grid %s has; "
      "%s is left as it is and the grid is not written: choose another name for the grid",
      prj.c_str(), sharer.c_str(), m_grid.c_str(), prj.c_str());
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

std::string GridFileSet::SideOfAux(std::string_view what, long pid) const {
  return UserPath::SideName(auxPath(), "." + std::to_string(pid) + "." + std::string(what));
}

std::string GridFileSet::KeptOf(const std::string& file, long pid) {
  return UserPath::SideName(file, "." + std::to_string(pid) + ".kept");
}

std::string GridFileSet::DriverRasterOf(const std::string& grid) {
  return UserPath::SideName(grid, ".tmp.tif");
}

std::string GridFileSet::WriterRasterOf(const std::string& grid) {
  return UserPath::SideName(grid, ".tmp");
}

bool GridFileSet::PreparePrj(const std::string& esriWkt, std::string& error) {
  if (IsOwnPrj()) {
    errno = EEXIST;
    error = Reason("cannot write " + prjPath() + ", the grid file's own name");
    return false;
  }
  if (!PrjNameFree(error)) return false;
  const std::string refusal = UserPath::SideRefusal(SideOfPrj("part", ::getpid()));
  if (!refusal.empty()) {
    errno = EEXIST;
    error = refusal;
    return false;
  }
  PrjOffers::Offer(m_grid, esriWkt + "\n");
  m_offered = true;
  return true;
}

// A companion's new text under its ready name, flushed to the disk, with the rights of the file
// it replaces.
bool GridFileSet::WriteReady(const std::string& target, const std::string& part,
                             const std::string& ready, const std::string& text,
                             std::string& error) {
  const int fd = UserPath::CreateSide(part, 0666, error);
  if (fd < 0) {
    if (error.empty()) error = Reason("cannot write " + target);
    return false;
  }
  struct stat earlier {};
  if (::stat(target.c_str(), &earlier) == 0 && S_ISREG(earlier.st_mode))
    ::fchmod(fd, earlier.st_mode & 07777);
  bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                 ::fsync(fd) == 0;
  int failure = errno;
  if (::close(fd) != 0 && written) {
    written = false;
    failure = errno;
  }
  if (written && ::rename(part.c_str(), ready.c_str()) == 0) return true;
  if (written) failure = errno;
  ::unlink(part.c_str());
  errno = failure;
  error = Reason("cannot write " + target);
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
  const std::optional<std::string> offer = PrjOffers::Find(m_grid);
  const bool withPrj = offer && !IsOwnPrj() && PrjSharer().empty();
  const std::string ready = SideOfPrj("ready", pid), auxReady = SideOfAux("ready", pid);
  if (withPrj && (!PrjNameFree(error) ||
                  !WriteReady(prjPath(), SideOfPrj("part", pid), ready, *offer, error)))
    return false;
  if (m_aux && !WriteReady(auxPath(), SideOfAux("part", pid), auxReady, *m_aux, error)) {
    const int failure = errno;
    if (withPrj) ::unlink(ready.c_str());
    errno = failure;
    return false;
  }
  std::optional<struct stat> earlierPrj;
  if (struct stat st {}; withPrj && ::stat(prjPath().c_str(), &st) == 0) earlierPrj = st;
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
  // The companions are aside (and the new .prj ready) for good before the grid takes its name: a
  // power loss must not bring the earlier .prj back beside the new grid.
  if (moved && (withPrj || m_aux || !kept.empty())) SyncFolderOf(m_grid);
  if (!moved || !grid.Commit()) {
    const int failure = errno;
    if (moved) error = Reason("cannot put " + m_grid + " in place");
    // The earlier set back first: until its grid part goes, a kill leaves the decision to put
    // back to the next writer.
    PutBack(kept, pid);
    if (withPrj) ::unlink(ready.c_str());
    if (m_aux) ::unlink(auxReady.c_str());
    grid.Abandon();
    errno = failure;
    return false;
  }
  // Past this point the new grid stands: a .prj that cannot take its name stays ready beside it,
  // for the next writer to complete.
  const int owned = withPrj ? AtomicFile::KeepForOwner(ready, earlierPrj) : -1;
  if (withPrj && ::rename(ready.c_str(), prjPath().c_str()) == 0) {
    AtomicFile::GiveToOwner(owned, earlierPrj);
  } else if (owned >= 0) {
    ::close(owned);
  }
  if (m_aux) ::rename(auxReady.c_str(), auxPath().c_str());
  if (withPrj || m_aux) SyncFolderOf(m_grid);
  for (const std::string& companion : kept) ::unlink(KeptOf(companion, pid).c_str());
  return true;
}

void GridFileSet::PutBack(const std::vector<std::string>& kept, long pid) {
  for (const std::string& companion : kept) {
    // Never over a file that something else has put there meanwhile.
    if (::renameat2(AT_FDCWD, KeptOf(companion, pid).c_str(), AT_FDCWD, companion.c_str(),
                    RENAME_NOREPLACE) != 0 &&
        errno == EINVAL)
      ::rename(KeptOf(companion, pid).c_str(), companion.c_str());  // no such flag here
  }
}

bool GridFileSet::Remove(std::string& error) {
  for (const std::string& companion : Companions()) ::unlink(companion.c_str());
  SyncFolderOf(m_grid);
  if (::unlink(m_grid.c_str()) != 0 && errno != ENOENT) {
    error = Reason("cannot delete " + m_grid);
    return false;
  }
  SyncFolderOf(m_grid);
  return true;
}

// The companions that process pid kept aside: their names with its suffix.
std::vector<std::string> GridFileSet::KeptBy(long pid) const {
  std::vector<std::string> kept;
  const std::string gridName = NameOf(m_grid);
  ForEachName(FolderOf(m_grid), [&](const std::string& name) {
    std::string base, what;
    long from = 0;
    if (!SplitSide(name, base, from, what) || what != "kept" || from != pid) return;
    if ((IsPrjOf(gridName, base) || base == gridName + ".aux.xml") &&
        UserPath::IsOwnFile(Beside(m_grid, name)))
      kept.push_back(Beside(m_grid, base));
  });
  return kept;
}

// Every process whose side files of this set stand in its folder (or in the folder of the file
// the grid's name leads to).
std::vector<long> GridFileSet::DeadWriters() const {
  std::set<long> pids;
  const std::string gridName = NameOf(m_grid);
  std::string resolved, refusal;
  if (!UserPath::Follow(m_grid, resolved, refusal)) resolved = m_grid;
  for (const std::string& place : {m_grid, resolved}) {
    ForEachName(FolderOf(place), [&](const std::string& name) {
      std::string base, what;
      long pid = 0;
      if (!SplitSide(name, base, pid, what)) return;
      const std::string path = Beside(place, name);
      if (path == AtomicFile::TemporaryPathOf(place, pid) ||
          (place == m_grid && (path == SideOfPrj(what, pid) || IsPrjOf(gridName, base) ||
                               base == gridName + ".aux.xml")))
        pids.insert(pid);
    });
  }
  return {pids.begin(), pids.end()};
}

void GridFileSet::ClearLeftovers() {
  UserPath::RemoveOwnFile(DriverRasterOf(m_grid));
  // The writer component's raster: HFA may have spilled into files of its own beside it.
  const std::string raster = WriterRasterOf(m_grid);
  if (UserPath::IsOwnFile(raster)) {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    GDALDriverH hfa = GDALGetDriverByName("HFA");
    if (!hfa || GDALDeleteDataset(hfa, raster.c_str()) != CE_None) ::unlink(raster.c_str());
    CPLPopErrorHandler();
  }
  for (const long pid : DeadWriters()) Complete(pid);
  SyncFolderOf(m_grid);
}

// One dead writer's replacement, completed in an order that a kill at any step leaves to the next
// holder to decide the same way: its grid's side file is what tells "not committed", and goes last.
void GridFileSet::Complete(long pid) const {
  std::string resolved, refusal;
  if (!UserPath::Follow(m_grid, resolved, refusal)) return;
  const std::string gridPart = AtomicFile::TemporaryPathOf(resolved, pid);
  const bool prjOwn = !IsOwnPrj();
  const std::string ready = prjOwn ? SideOfPrj("ready", pid) : std::string();
  const std::vector<std::string> kept = KeptBy(pid);
  if (UserPath::IsOwnFile(gridPart)) {
    // Killed before its grid took the name: the earlier set stays whole.
    PutBack(kept, pid);
    if (prjOwn) {
      UserPath::RemoveOwnFile(ready);
      UserPath::RemoveOwnFile(SideOfPrj("part", pid));
    }
    UserPath::RemoveOwnFile(SideOfAux("ready", pid));
    UserPath::RemoveOwnFile(SideOfAux("part", pid));
    SyncFolderOf(m_grid);
    ::unlink(gridPart.c_str());
    return;
  }
  if (const std::string auxReady = SideOfAux("ready", pid); UserPath::IsOwnFile(auxReady))
    ::rename(auxReady.c_str(), auxPath().c_str());
  UserPath::RemoveOwnFile(SideOfAux("part", pid));
  // Its grid stands (or it never got as far as a grid): the .prj that was ready joins it.
  if (prjOwn && UserPath::IsOwnFile(ready)) {
    if (PrjSharer().empty()) {
      ::rename(ready.c_str(), prjPath().c_str());
    } else {
      ::unlink(ready.c_str());
    }
  }
  if (prjOwn) UserPath::RemoveOwnFile(SideOfPrj("part", pid));
  for (const std::string& companion : kept) ::unlink(KeptOf(companion, pid).c_str());
}
