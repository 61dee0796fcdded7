#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <string>

#include "host/AtomicFile.h"
#include "host/TargetFileLock.h"
#include "host/UserPath.h"
#include "support/TempDir.h"

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

}  // namespace
