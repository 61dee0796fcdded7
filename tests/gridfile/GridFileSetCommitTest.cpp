#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <map>
#include <string>
#include <vector>

#include "gridfile/GridFileSet.h"
#include "host/AtomicFile.h"
#include "support/TempDir.h"

// fsync and rename as the commit calls them, logged and failing on demand: this program's own
// definitions come before the C library's for every library it loads.
namespace {
std::vector<std::string> g_events;
std::string g_failFsyncOf, g_failRenameOf;  // a part of the file's name

std::string Base(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string NameOfDescriptor(int fd) {
  char target[4096] = {};
  const std::string link = "/proc/self/fd/" + std::to_string(fd);
  const ssize_t n = ::readlink(link.c_str(), target, sizeof target - 1);
  return n > 0 ? Base(std::string(target, static_cast<std::size_t>(n))) : std::string();
}
}  // namespace

extern "C" int fsync(int fd) {
  struct stat st {};
  const bool folder = ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode);
  const std::string name = folder ? std::string("the folder") : NameOfDescriptor(fd);
  g_events.push_back("sync " + name);
  if (!g_failFsyncOf.empty() && name.find(g_failFsyncOf) != std::string::npos) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_fsync, fd));
}

extern "C" int rename(const char* from, const char* to) {
  g_events.push_back("rename " + Base(from) + " " + Base(to));
  if (!g_failRenameOf.empty() && Base(from).find(g_failRenameOf) != std::string::npos) {
    errno = EIO;
    return -1;
  }
  return static_cast<int>(::syscall(SYS_renameat, AT_FDCWD, from, AT_FDCWD, to));
}

namespace {

using Files = std::map<std::string, std::string>;

Files Read(const TempDir& dir) {
  Files files;
  for (const std::string& name : TempDir::Entries(dir.Path()))
    files[name] = TempDir::ReadFile(dir / name);
  return files;
}

const Files kEarlier{{"g.dem", "old"}, {"g.prj", "old srs"}, {"g.dem.aux.xml", "<PAMDataset/>"}};

bool CommitNewSet(const TempDir& dir, std::string& error) {
  for (const auto& [name, content] : kEarlier) TempDir::WriteFile(dir / name, content);
  GridFileSet files(dir / "g.dem");
  if (!files.PreparePrj("new srs", error)) return false;
  AtomicFile grid;
  if (!grid.Create(dir / "g.dem") || !grid.Write("new", 3)) return false;
  g_events.clear();
  return files.Commit(grid, error);
}

std::size_t IndexOf(const std::string& event) {
  return static_cast<std::size_t>(std::find(g_events.begin(), g_events.end(), event) -
                                  g_events.begin());
}

// A power loss must not bring the earlier .prj back beside the new grid: the renames that set the
// companions aside are on the disk before the grid's rename.
TEST(GridFileSetCommit, CompanionsAsideAreDurableBeforeTheGridTakesItsName) {
  TempDir dir;
  std::string error;
  ASSERT_TRUE(CommitNewSet(dir, error)) << error;
  const std::string pid = std::to_string(::getpid());
  const std::size_t prjAside = IndexOf("rename g.prj g.prj." + pid + ".kept");
  const std::size_t auxAside = IndexOf("rename g.dem.aux.xml g.dem.aux.xml." + pid + ".kept");
  const std::size_t gridIn = IndexOf("rename g.dem." + pid + ".part g.dem");
  ASSERT_LT(std::max(prjAside, auxAside), gridIn);
  const auto sync = std::find(g_events.begin() + static_cast<long>(std::max(prjAside, auxAside)),
                              g_events.begin() + static_cast<long>(gridIn), "sync the folder");
  EXPECT_NE(sync, g_events.begin() + static_cast<long>(gridIn));
  EXPECT_EQ(Read(dir), (Files{{"g.dem", "new"}, {"g.prj", "new srs\n"}}));
}

// A commit that fails at any step says which file and leaves the folder exactly as it was: the
// earlier set, and no side file of the new one.
TEST(GridFileSetCommit, AFailedStepLeavesTheFolderAsItWas) {
  struct Case {
    const char* what;
    std::string fsyncOf, renameOf;
    const char* named;
  };
  const Case cases[] = {
      {"the new .prj cannot be flushed", ".prj.", "", "g.prj"},
      {"the new .prj cannot take its ready name", "", "g.prj.", "g.prj"},
      {"a companion cannot step aside", "", "g.dem.aux.xml", "g.dem.aux.xml"},
      {"the grid cannot take its name", "", "g.dem.PID.part", "g.dem"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    g_failFsyncOf = c.fsyncOf;
    g_failRenameOf = c.renameOf;
    if (const std::size_t at = g_failRenameOf.find("PID"); at != std::string::npos)
      g_failRenameOf.replace(at, 3, std::to_string(::getpid()));
    std::string error;
    const bool committed = CommitNewSet(dir, error);
    g_failFsyncOf.clear();
    g_failRenameOf.clear();
    EXPECT_FALSE(committed);
    EXPECT_NE(error.find(dir / c.named), std::string::npos) << error;
    EXPECT_EQ(Read(dir), kEarlier);
  }
}

}  // namespace
