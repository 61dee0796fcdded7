#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "host/SetAside.h"
#include "support/TempDir.h"

namespace {

namespace fs = std::filesystem;

// An earlier grid file and .prj kept aside while a new pair is written: back when the write fails
// (or its run died before the new grid took the name), gone once the new grid stands, and never
// removed on a guess.
TEST(SetAside, EarlierPairBackUnlessANewGridStands) {
  const std::string kept = ".4242.kept";  // a dead run's
  struct Case {
    const char* what;
    std::function<void(const std::string& dir, SetAside& aside)> act;
    std::vector<std::string> left;
    std::string grid;  // what g.dem holds then
  };
  const Case cases[] = {
      {"a write that failed after its new .prj",
       [](const std::string& dir, SetAside& aside) {
         ASSERT_TRUE(aside.Move({dir + "/g.dem", dir + "/g.prj"}));
         TempDir::WriteFile(dir + "/g.prj", "new prj");
         aside.Restore();
       },
       {"g.dem", "g.prj"}, "earlier grid"},
      {"a write whose new grid stands",
       [](const std::string& dir, SetAside& aside) {
         ASSERT_TRUE(aside.Move({dir + "/g.dem", dir + "/g.prj"}));
         TempDir::WriteFile(dir + "/g.dem", "new grid");
         aside.Drop();
       },
       {"g.dem"}, "new grid"},
      {"a run killed before its new grid took the name",
       [&](const std::string& dir, SetAside&) {
         fs::rename(dir + "/g.dem", dir + "/g.dem" + kept);
         fs::rename(dir + "/g.prj", dir + "/g.prj" + kept);
         TempDir::WriteFile(dir + "/g.prj", "new prj");
         SetAside::Recover({dir + "/g.dem", dir + "/g.prj"}, 4242);
       },
       {"g.dem", "g.prj"}, "earlier grid"},
      {"a run killed once a grid stood again",
       [&](const std::string& dir, SetAside&) {
         fs::rename(dir + "/g.dem", dir + "/g.dem" + kept);
         fs::rename(dir + "/g.prj", dir + "/g.prj" + kept);
         TempDir::WriteFile(dir + "/g.dem", "new grid");
         SetAside::Recover({dir + "/g.dem", dir + "/g.prj"}, 4242);
       },
       {"g.dem", "g.dem" + kept, "g.prj" + kept}, "new grid"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir dir;
    TempDir::WriteFile(dir / "g.dem", "earlier grid");
    TempDir::WriteFile(dir / "g.prj", "earlier prj");
    {
      SetAside aside;
      c.act(dir.Path(), aside);
    }
    EXPECT_EQ(TempDir::Entries(dir.Path()), c.left);
    EXPECT_EQ(TempDir::ReadFile(dir / "g.dem"), c.grid);
    if (c.grid == "earlier grid") {
      EXPECT_EQ(TempDir::ReadFile(dir / "g.prj"), "earlier prj");
    }
  }
}

// A folder at a companion's name is no earlier file: it stays, and the grid still goes aside.
TEST(SetAside, FoldersStayWhereTheyAre) {
  TempDir dir;
  TempDir::WriteFile(dir / "g.dem", "earlier grid");
  fs::create_directory(dir / "g.prj");
  SetAside aside;
  ASSERT_TRUE(aside.Move({dir / "g.dem", dir / "g.prj"}));
  EXPECT_EQ(TempDir::Entries(dir.Path()),
            (std::vector<std::string>{"g.dem." + std::to_string(::getpid()) + ".kept", "g.prj"}));
  aside.Restore();
  EXPECT_EQ(TempDir::ReadFile(dir / "g.dem"), "earlier grid");
}

}  // namespace
