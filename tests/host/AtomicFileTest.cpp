#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <string>
#include <vector>

#include "host/AtomicFile.h"
#include "support/TempDir.h"

// fsync that fails on demand: this program's own definition comes before the C library's for
// every library it loads, the host's AtomicFile included.
namespace {
bool g_failFsync = false;
int g_folderFsyncs = 0;
}

extern "C" int fsync(int fd) {
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode)) ++g_folderFsyncs;
  if (!g_failFsync) return static_cast<int>(::syscall(SYS_fsync, fd));
  errno = EIO;
  return -1;
}

namespace {

namespace fs = std::filesystem;

bool Write(AtomicFile& file, const std::string& text) {
  return ::write(file.fd(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

// Until Commit the target is what it was, and what is not committed leaves nothing behind.
TEST(AtomicFile, TargetChangesOnlyAtCommit) {
  struct Case {
    const char* what;
    bool earlier;
    bool commit;
    std::string expected;  // the target's content afterwards, "" for none
    std::vector<std::string> entries;
  };
  const Case cases[] = {
      {"new, committed", false, true, "new", {"out.dem"}},
      {"new, abandoned", false, false, "", {}},
      // The grid's companions are its file set's to replace (GridFileSet), not the file's.
      {"replacing, committed", true, true, "new", {"out.dem", "out.dem.aux.xml"}},
      {"replacing, abandoned", true, false, "earlier", {"out.dem", "out.dem.aux.xml"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    const std::string target = dir / "out.dem";
    if (c.earlier) {
      TempDir::WriteFile(target, "earlier");
      fs::permissions(target, fs::perms(0640));
      TempDir::WriteFile(target + ".aux.xml", "<PAMDataset/>");
    }
    {
      AtomicFile file;
      ASSERT_TRUE(file.Create(target));
      ASSERT_TRUE(Write(file, "new"));
      EXPECT_EQ(TempDir::ReadFile(target), c.earlier ? "earlier" : "");
      if (c.commit) {
        const int folderFsyncs = g_folderFsyncs;
        EXPECT_TRUE(file.Commit());
        // The rename lasts only once the folder's entry is on the disk too.
        EXPECT_GT(g_folderFsyncs, folderFsyncs);
      }
    }
    EXPECT_EQ(TempDir::Entries(dir.Path()), c.entries);
    if (!c.expected.empty()) {
      EXPECT_EQ(TempDir::ReadFile(target), c.expected);
    }
    if (c.earlier && c.commit) {
      EXPECT_EQ(fs::status(target).permissions(), fs::perms(0640));
    }
  }
}

TEST(AtomicFile, LinksAndDevices) {
  TempDir dir;
  // A link to a file: the file is replaced, the link stays a link.
  fs::create_directory(dir / "data");
  TempDir::WriteFile(dir / "data/real.dem", "earlier");
  fs::create_symlink(dir / "data/real.dem", dir / "link.dem");
  AtomicFile linked;
  ASSERT_TRUE(linked.Create(dir / "link.dem"));
  ASSERT_TRUE(Write(linked, "new"));
  ASSERT_TRUE(linked.Commit());
  EXPECT_TRUE(fs::is_symlink(dir / "link.dem"));
  EXPECT_EQ(TempDir::ReadFile(dir / "data/real.dem"), "new");

  // A device is written in place: nothing is made beside it, and it stays a device.
  AtomicFile device;
  ASSERT_TRUE(device.Create("/dev/full"));
  EXPECT_FALSE(Write(device, "new"));
  device.Commit();
  EXPECT_TRUE(fs::is_character_file("/dev/full"));
  EXPECT_FALSE(fs::exists(AtomicFile::TemporaryPathOf("/dev/full", ::getpid())));
}

// Data that may not have reached the disk never replaces the earlier file.
TEST(AtomicFile, NoCommitWithoutTheFlush) {
  TempDir dir;
  const std::string target = dir / "out.dem";
  TempDir::WriteFile(target, "earlier");
  AtomicFile file;
  ASSERT_TRUE(file.Create(target));
  ASSERT_TRUE(Write(file, "new"));
  g_failFsync = true;
  EXPECT_FALSE(file.Commit());
  g_failFsync = false;
  EXPECT_EQ(TempDir::ReadFile(target), "earlier");
  EXPECT_EQ(TempDir::Entries(dir.Path()), std::vector<std::string>{"out.dem"});
}

// The temporary of a process that died is found by its name and removed.
TEST(AtomicFile, StaleTemporaryIsRemovedByItsProcessId) {
  TempDir dir;
  const std::string target = dir / "out.dem";
  TempDir::WriteFile(AtomicFile::TemporaryPathOf(target, 4242), "half a grid");
  TempDir::WriteFile(target + ".4243.part", "another's");
  AtomicFile::RemoveTemporaryOf(target, 4242);
  EXPECT_EQ(TempDir::Entries(dir.Path()), std::vector<std::string>{"out.dem.4243.part"});
}

}  // namespace
