#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>

#include "host/AtomicFile.h"
#include "host/TargetFileLock.h"
#include "host/UserPath.h"
#include "support/TempDir.h"

// The open of this program, over the C library's: it plants a link at the name armed below just
// before the open that creates it, as another user may between UserPath's look and its open.
// Plain arrays: other libraries' initializers open files before this program's objects exist.
namespace {
char g_plantLinkAt[PATH_MAX], g_linkTarget[PATH_MAX];
}  // namespace

extern "C" int open(const char* path, int flags, ...) {
  mode_t mode = 0;
  if (flags & (O_CREAT | O_TMPFILE)) {
    va_list args;
    va_start(args, flags);
    mode = static_cast<mode_t>(va_arg(args, int));
    va_end(args);
  }
  if ((flags & O_CREAT) && g_plantLinkAt[0] && std::strcmp(g_plantLinkAt, path) == 0) {
    g_plantLinkAt[0] = '\0';
    ::symlink(g_linkTarget, path);
  }
  return static_cast<int>(::syscall(SYS_openat, AT_FDCWD, path, flags, mode));
}

namespace {

namespace fs = std::filesystem;

std::string NameOf(const std::string& path) { return fs::path(path).filename().string(); }

// Side names fit, and a shortened one is told apart from its file and from its neighbours' by the
// whole name.
TEST(UserPath, SideNames) {
  const std::string stem(250, 'n');
  const std::string a = "/d/" + stem + "a.dem";  // 255 bytes each, the first 250 shared
  const std::string b = "/d/" + stem + "b.dem";
  EXPECT_EQ(UserPath::SideName("/d/x.dem", ".lock"), "/d/x.dem.lock");
  EXPECT_EQ(UserPath::SideName(std::string(NAME_MAX - 5, 'x'), ".lock"),
            std::string(NAME_MAX - 5, 'x') + ".lock");  // exactly at the limit: unchanged
  for (const char* suffix : {".lock", ".tmp", ".123456.part", ".tmp.tif"}) {
    SCOPED_TRACE(suffix);
    const std::string sideA = UserPath::SideName(a, suffix);
    EXPECT_EQ(NameOf(sideA).size(), std::size_t{NAME_MAX});
    EXPECT_TRUE(sideA.starts_with("/d/n") && sideA.ends_with(suffix));
    EXPECT_NE(sideA, a);
    EXPECT_NE(sideA, UserPath::SideName(b, suffix));
    EXPECT_EQ(sideA, UserPath::SideName(a, suffix));  // the same every time
  }
  // Never half a UTF-8 character ("测" is three bytes).
  std::string wide = "/d/";
  for (int i = 0; i < 84; ++i) wide += "测";
  const std::string side = NameOf(UserPath::SideName(wide + ".dem", ".lock"));
  EXPECT_LE(side.size(), std::size_t{NAME_MAX});
  EXPECT_EQ(side.find("测~"), side.size() - 25) << side;
}

// A link planted between the look and the open is not followed: the open fails (ELOOP) and the
// file the link names stays as it was.
TEST(UserPath, LinkPlantedBeforeTheOpenIsNotFollowed) {
  TempDir dir;
  TempDir::WriteFile(dir / "victim", "data");
  std::snprintf(g_linkTarget, sizeof g_linkTarget, "%s", (dir / "victim").c_str());
  std::snprintf(g_plantLinkAt, sizeof g_plantLinkAt, "%s", (dir / "g.dem").c_str());
  std::string refusal;
  const int fd = UserPath::Open(dir / "g.dem", O_WRONLY | O_CREAT | O_TRUNC, 0644, refusal);
  const int error = errno;
  ASSERT_EQ(g_plantLinkAt[0], '\0') << "the open was not seen";
  if (fd >= 0) ::close(fd);
  EXPECT_EQ(fd, -1);
  EXPECT_EQ(error, ELOOP);
  EXPECT_EQ(TempDir::ReadFile(dir / "victim"), "data");
}

// A reader takes nothing but a regular file and never waits; a name that GDAL opens by itself is
// looked at first, and a folder or a name that is no file is left to GDAL.
TEST(UserPath, ReadersTakeOnlyRegularFiles) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "p.dem").c_str(), 0600), 0);
  fs::create_directory(dir / "f.dem");
  TempDir::WriteFile(dir / "g.dem", "grid");
  struct Case {
    std::string path, refusal;
    bool gdalMayOpen;
  } const cases[] = {
      {dir / "p.dem", "is a FIFO, not a grid file", false},
      {"/dev/null", "is a device, not a grid file", false},
      {dir / "f.dem", "is a folder, not a grid file", true},
      {dir / "g.dem", "", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    std::string refusal;
    const int fd = UserPath::OpenToRead(c.path, "grid file", refusal);
    EXPECT_EQ(fd >= 0, c.refusal.empty());
    EXPECT_EQ(refusal, c.refusal);
    if (fd >= 0) ::close(fd);
    refusal.clear();
    EXPECT_EQ(UserPath::MayRead(c.path, "grid file", refusal), c.gdalMayOpen) << refusal;
  }
  std::string refusal;
  EXPECT_TRUE(UserPath::MayRead(dir / "missing.tif", "raster", refusal));
  EXPECT_TRUE(UserPath::MayRead("/vsizip/" + dir / "a.zip/a.tif", "raster", refusal));
}

class SharedFolder : public ::testing::Test {
 protected:
  void SetUp() override {
    const passwd* nobody = ::getpwnam("nobody");
    if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and user nobody to plant files";
    m_stranger = nobody->pw_uid;
    m_share = m_dir / "share";
    fs::create_directory(m_share);
    ::chmod(m_share.c_str(), 01777);
    TempDir::WriteFile(m_dir / "victim", "root data");
  }
  // What another user leaves in the share: a link to the victim, or a file of theirs.
  std::string PlantLink(const std::string& name) {
    const std::string path = m_share + "/" + name;
    fs::create_symlink(m_dir / "victim", path);
    EXPECT_EQ(::lchown(path.c_str(), m_stranger, m_stranger), 0);
    return path;
  }
  std::string PlantFile(const std::string& name) {
    const std::string path = m_share + "/" + name;
    TempDir::WriteFile(path, "theirs");
    EXPECT_EQ(::chown(path.c_str(), m_stranger, m_stranger), 0);
    return path;
  }
  bool VictimIntact() const { return TempDir::ReadFile(m_dir / "victim") == "root data"; }

  TempDir m_dir;
  std::string m_share;
  uid_t m_stranger = 0;
};

// protected_symlinks, whatever the machine's setting: a stranger's link in a sticky world-writable
// folder is refused, naming its owner; one's own link, or a link in a folder that is not shared,
// is followed.
TEST_F(SharedFolder, LinksFollowedAsTheKernelRuleAllows) {
  std::string resolved, refusal;
  EXPECT_FALSE(UserPath::Follow(PlantLink("a.dem"), resolved, refusal));
  EXPECT_NE(refusal.find("a.dem is a symbolic link of user nobody"), std::string::npos) << refusal;

  const std::string own = m_share + "/own.dem";
  fs::create_symlink(m_dir / "victim", own);
  EXPECT_TRUE(UserPath::Follow(own, resolved, refusal));
  EXPECT_EQ(resolved, m_dir / "victim");

  // Anywhere in the path: a stranger's link as a folder leads no write behind it.
  const std::string folderLink = m_share + "/out";
  fs::create_symlink(m_dir.Path(), folderLink);
  ASSERT_EQ(::lchown(folderLink.c_str(), m_stranger, m_stranger), 0);
  EXPECT_FALSE(UserPath::Follow(folderLink + "/g.dem", resolved, refusal));
  EXPECT_NE(refusal.find("out is a symbolic link of user nobody"), std::string::npos) << refusal;
  AtomicFile behind;
  EXPECT_FALSE(behind.Create(folderLink + "/g.dem"));
  std::string sideRefusal;
  EXPECT_EQ(UserPath::CreateSide(folderLink + "/g.dem.lock", 0600, sideRefusal), -1);
  EXPECT_FALSE(fs::exists(m_dir / "g.dem.lock") || fs::exists(m_dir / "g.dem"));

  // The folder's owner's link is followed, as the kernel follows it.
  const std::string theirs = m_dir / "theirs";
  fs::create_directory(theirs);
  ::chmod(theirs.c_str(), 01777);
  ASSERT_EQ(::chown(theirs.c_str(), m_stranger, m_stranger), 0);
  fs::create_symlink(m_dir / "victim", theirs + "/b.dem");
  ASSERT_EQ(::lchown((theirs + "/b.dem").c_str(), m_stranger, m_stranger), 0);
  EXPECT_TRUE(UserPath::Follow(theirs + "/b.dem", resolved, refusal)) << refusal;

  ::chmod(m_share.c_str(), 0777);  // writable for all, but not sticky
  EXPECT_TRUE(UserPath::Follow(m_share + "/a.dem", resolved, refusal));
}

// Whatever a stranger planted under a side name is refused, never written through or reused.
TEST_F(SharedFolder, StrangersSideFilesRefused) {
  const std::string target = m_share + "/g.dem";
  const std::string part = AtomicFile::TemporaryPathOf(target, ::getpid());
  for (bool link : {false, true}) {
    SCOPED_TRACE(link ? "a link" : "a file");
    const std::string planted = link ? PlantLink(NameOf(part)) : PlantFile(NameOf(part));
    AtomicFile file;
    EXPECT_FALSE(file.Create(target));
    EXPECT_NE(file.refusal().find("nobody"), std::string::npos) << file.refusal();
    fs::remove(planted);
  }
  const std::string lock = PlantFile("g.dem.lock");
  ::chmod(lock.c_str(), 0666);
  TargetFileLock locked;
  EXPECT_EQ(locked.Acquire(target), TargetFileLock::Result::kFailed);
  EXPECT_NE(locked.refusal().find("nobody"), std::string::npos) << locked.refusal();
  EXPECT_EQ(TempDir::ReadFile(lock), "theirs");
  EXPECT_TRUE(VictimIntact());

  // A leftover of one's own is replaced by a new file, not reused.
  TempDir::WriteFile(m_share + "/mine.tmp", "stale");
  std::string refusal;
  const int fd = UserPath::CreateSide(m_share + "/mine.tmp", 0600, refusal);
  ASSERT_GE(fd, 0);
  ::close(fd);
  EXPECT_EQ(TempDir::ReadFile(m_share + "/mine.tmp"), "");
}

// The kernel's protected_fifos=2/protected_regular=2 rule for every writer, whatever the machine's
// settings: in a sticky folder that others may write to, a FIFO or file of neither the user nor
// the folder's owner is refused before anything is truncated or written, and the stranger's reader
// gets no byte. What the rule allows is written, a FIFO without O_NONBLOCK left set.
TEST_F(SharedFolder, WritersFollowTheProtectedFilesRule) {
  struct Case {
    const char* what;
    bool fifo, strangers, folderStrangers;
    mode_t folderMode;
    bool refused;
  } const cases[] = {
      {"a stranger's file", false, true, false, 01777, true},
      {"a stranger's FIFO", true, true, false, 01777, true},
      {"a stranger's file, group-writable folder", false, true, false, 01770, true},
      {"the folder owner's file", false, true, true, 01777, false},
      {"a stranger's file, folder not sticky", false, true, false, 0777, false},
      {"a stranger's file, folder writable by its owner only", false, true, false, 01755, false},
      {"one's own FIFO", true, false, false, 01777, false},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string folder = m_dir / ("case" + std::to_string(n++));
    fs::create_directory(folder);
    ASSERT_EQ(::chmod(folder.c_str(), c.folderMode), 0);
    if (c.folderStrangers) {
      ASSERT_EQ(::chown(folder.c_str(), m_stranger, m_stranger), 0);
    }
    const std::string path = folder + "/out.dem";
    if (c.fifo) {
      ASSERT_EQ(::mkfifo(path.c_str(), 0666), 0);
    } else {
      TempDir::WriteFile(path, "theirs");
    }
    if (c.strangers) {
      ASSERT_EQ(::chown(path.c_str(), m_stranger, m_stranger), 0);
    }
    // A reader waits at the FIFO, as the stranger's cat would.
    const int reader = c.fifo ? ::open(path.c_str(), O_RDONLY | O_NONBLOCK) : -1;

    std::string refusal;
    const int fd = UserPath::Open(path, O_WRONLY | O_TRUNC, 0, refusal);
    AtomicFile replacement;
    if (c.refused) {
      EXPECT_EQ(fd, -1);
      EXPECT_EQ(errno, EACCES);
      EXPECT_NE(refusal.find("of user nobody"), std::string::npos) << refusal;
      EXPECT_FALSE(replacement.Create(path));
      EXPECT_NE(replacement.refusal().find("nobody"), std::string::npos) << replacement.refusal();
    } else {
      ASSERT_GE(fd, 0) << refusal << std::strerror(errno);
      EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0);
      EXPECT_EQ(::write(fd, "new", 3), 3);
      ::close(fd);
    }
    char got[8] = {};
    const ssize_t size = c.fifo ? ::read(reader, got, sizeof got) : 0;
    const std::size_t length = size > 0 ? static_cast<std::size_t>(size) : 0;
    const std::string written = c.fifo ? std::string(got, length) : TempDir::ReadFile(path);
    EXPECT_EQ(written, c.refused ? (c.fifo ? "" : "theirs") : "new");
    if (reader >= 0) ::close(reader);
  }
}

}  // namespace
