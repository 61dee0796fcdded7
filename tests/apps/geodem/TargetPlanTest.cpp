#include <gtest/gtest.h>

#include <filesystem>

#include "apps/geodem/convert/TargetPlan.h"
#include "support/TempDir.h"

namespace {

ConvertOptions Options(std::vector<std::string> sources, std::string destination,
                       bool separate = false) {
  ConvertOptions o;
  o.sources = std::move(sources);
  o.destination = std::move(destination);
  o.separate = separate;
  return o;
}

std::vector<std::string> Outputs(const TargetPlan& plan) {
  std::vector<std::string> out;
  for (const PlannedTarget& t : plan.targets())
    for (const std::string& o : t.Outputs()) out.push_back(o);
  return out;
}

TEST(TargetPlan, OneSourceOneFileAndSeveralOneMosaic) {
  TargetPlan plan;
  ASSERT_TRUE(plan.Build(Options({"in/a.tif"}, "out/a.dem"))) << plan.error();
  ASSERT_EQ(plan.targets().size(), 1u);
  EXPECT_EQ(plan.targets()[0].name, "out/a.dem");
  EXPECT_FALSE(plan.targets()[0].mosaic);

  ASSERT_TRUE(plan.Build(Options({"in/a.tif", "in/b.tif"}, "out/area.DEM"))) << plan.error();
  ASSERT_EQ(plan.targets().size(), 1u);
  EXPECT_TRUE(plan.targets()[0].mosaic);
  EXPECT_EQ(plan.targets()[0].feeds.size(), 2u);
  EXPECT_EQ(Outputs(plan), std::vector<std::string>{"out/area.DEM"});
}

TEST(TargetPlan, FolderDestinationGivesOneFilePerSource) {
  TempDir dir;
  TargetPlan plan;
  ASSERT_TRUE(plan.Build(Options({"in/a.tif", "x/b.c.img"}, dir.Path().string())));
  ASSERT_EQ(plan.targets().size(), 1u);
  EXPECT_EQ(plan.targets()[0].name, dir.Path().string() + "/");
  EXPECT_FALSE(plan.targets()[0].mosaic);
  EXPECT_EQ(Outputs(plan), (std::vector<std::string>{dir / "a.dem", dir / "b.c.dem"}));

  ASSERT_TRUE(plan.Build(Options({"in/a.tif"}, "new/folder/")));
  EXPECT_EQ(plan.targets()[0].name, "new/folder/");
  EXPECT_EQ(Outputs(plan), std::vector<std::string>{"new/folder/a.dem"});
}

TEST(TargetPlan, SeparateGivesOneTargetPerSourceNamedAfterTheDestination) {
  TargetPlan plan;
  ASSERT_TRUE(plan.Build(Options({"in/a.tif", "in/b.tif"}, "out/area.dem", true)));
  ASSERT_EQ(plan.targets().size(), 2u);
  for (const PlannedTarget& t : plan.targets()) {
    EXPECT_TRUE(t.separateOption);
    EXPECT_FALSE(t.mosaic);
  }
  EXPECT_EQ(Outputs(plan), (std::vector<std::string>{"out/area_a.dem", "out/area_b.dem"}));

  ASSERT_TRUE(plan.Build(Options({"in/a.tif"}, "out/area.dem", true)));
  EXPECT_EQ(Outputs(plan), std::vector<std::string>{"out/area.dem"});
}

TEST(TargetPlan, RefusesWhatWouldLoseOrMixData) {
  TargetPlan plan;
  // Two sources, one output file.
  EXPECT_FALSE(plan.Build(Options({"x/dem.tif", "y/dem.tif"}, "out/")));
  EXPECT_NE(plan.error().find("would both write out/dem.dem"), std::string::npos);
  EXPECT_FALSE(plan.Build(Options({"x/DEM.tif", "y/dem.img"}, "out/", true)));
  EXPECT_FALSE(plan.Build(Options({"x/a.tif", "y/a.tif"}, "out/m.dem", true)));
  // One source given twice, in two letter cases.
  EXPECT_FALSE(plan.Build(Options({"x/a.tif", "X/A.TIF"}, "out/m.dem")));
  // The output over a source.
  EXPECT_FALSE(plan.Build(Options({"out/a.dem"}, "out/")));
  EXPECT_FALSE(plan.Build(Options({"a.dem"}, "A.DEM")));
  // Several sources into one file that is not a grid file.
  EXPECT_FALSE(plan.Build(Options({"a.tif", "b.tif"}, "out.txt")));
  // Names the writer cannot hold.
  EXPECT_FALSE(plan.Build(Options({"a\xF0\x9F\x98\x80.tif"}, "out.dem")));
  EXPECT_FALSE(plan.Build(Options({"a\xFF.tif"}, "out.dem")));
  EXPECT_FALSE(plan.Build(Options({"a%HVX_MAPCODE.tif"}, "out.dem")));
  EXPECT_FALSE(plan.Build(Options({"a.tif"}, "")));
  // Chinese names have a GBK form.
  EXPECT_TRUE(plan.Build(Options({"数据/高程.tif"}, "输出/"))) << plan.error();
  EXPECT_EQ(Outputs(plan), std::vector<std::string>{"输出/高程.dem"});
}

}  // namespace
