#include <gtest/gtest.h>

#include <sstream>

#include "apps/geodem/CommandLine.h"

namespace {

struct Parsed {
  CommandLine line;
  std::string out, err;
};

Parsed Parse(std::vector<std::string> args) {
  args.insert(args.begin(), "geodem");
  std::vector<const char*> argv;
  for (const auto& a : args) argv.push_back(a.c_str());
  std::ostringstream out, err;
  Parsed p;
  p.line.Parse(static_cast<int>(argv.size()), argv.data(), out, err);
  p.out = out.str();
  p.err = err.str();
  return p;
}

TEST(CommandLine, ConvertSplitsSourcesFromTheDestinationAndKeepsOnlyGivenParameters) {
  Parsed p = Parse({"convert", "a.tif", "b.tif", "out.dem", "--zoom", "10", "-p", "A=1", "-p",
                    "B=x=y", "--block-size", "64", "--overlap", "8", "-q"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kConvert) << p.err;
  const ConvertOptions& o = p.line.options();
  EXPECT_EQ(o.sources, (std::vector<std::string>{"a.tif", "b.tif"}));
  EXPECT_EQ(o.destination, "out.dem");
  EXPECT_EQ(o.zoom, "10");
  EXPECT_FALSE(o.noData);
  EXPECT_FALSE(o.formatVersion);
  EXPECT_FALSE(o.overwrite);
  EXPECT_FALSE(o.mappingFile);
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(o.parameters, (Pairs{{"A", "1"}, {"B", "x=y"}}));
  EXPECT_EQ(o.blockSize, 64);
  EXPECT_EQ(o.overlap, 8);
  EXPECT_TRUE(o.quiet);

  p = Parse({"convert", "--format-version", "grd_2007", "--nodata", "-2147483648", "--overwrite",
             "--separate", "--mapping", "job.xml", "a.tif", "out/"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kConvert) << p.err;
  EXPECT_EQ(p.line.options().formatVersion, "grd_2007");  // verbatim
  EXPECT_EQ(p.line.options().noData, "-2147483648");
  EXPECT_TRUE(p.line.options().overwrite);
  EXPECT_TRUE(p.line.options().separate);
  EXPECT_EQ(p.line.options().mappingFile, "job.xml");
  EXPECT_EQ(p.line.options().blockSize, 512);
  EXPECT_EQ(p.line.options().overlap, 0);
}

TEST(CommandLine, InfoTakesOneFileAndPrjIsAConvertFlag) {
  Parsed p = Parse({"info", "a.dem"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kInfo) << p.err;
  EXPECT_EQ(p.line.infoOptions().path, "a.dem");
  EXPECT_FALSE(p.line.infoOptions().noData);
  EXPECT_FALSE(p.line.infoOptions().json);

  p = Parse({"info", "--json", "--nodata", "-9999", "a.dem"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kInfo) << p.err;
  EXPECT_EQ(p.line.infoOptions().noData, "-9999");
  EXPECT_TRUE(p.line.infoOptions().json);

  for (const auto& bad : std::vector<std::vector<std::string>>{
           {"info"}, {"info", "a.dem", "b.dem"}, {"info", "--nodata", "none", "a.dem"}}) {
    p = Parse(bad);
    EXPECT_EQ(p.line.action(), CommandLine::Action::kExit);
    EXPECT_EQ(p.line.exitCode(), CommandLine::kUsageError);
  }

  p = Parse({"convert", "a.tif", "a.dem"});
  EXPECT_FALSE(p.line.options().prj);
  p = Parse({"convert", "--prj", "a.tif", "a.dem"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kConvert) << p.err;
  EXPECT_TRUE(p.line.options().prj);
}

// Both ends of every range that --help states are accepted, and the value just outside refused.
TEST(CommandLine, RangesHoldAtBothEnds) {
  const std::vector<std::pair<std::vector<std::string>, bool>> cases = {
      {{"--block-size", "1"}, true},
      {{"--block-size", "8192"}, true},
      {{"--block-size", "8193"}, false},
      {{"--block-size", "64", "--overlap", "0"}, true},
      {{"--block-size", "64", "--overlap", "64"}, true},
      {{"--block-size", "8192", "--overlap", "8192"}, true},
      {{"--zoom", "1"}, true},
      {{"--zoom", "2147483647"}, true},
      {{"--zoom", "0"}, false},
      {{"--zoom", "2147483648"}, false},
      {{"--nodata", "-2147483648"}, true},
      {{"--nodata", "2147483647"}, true},
      {{"--nodata", "-2147483649"}, false},
      {{"--nodata", "2147483648"}, false},
  };
  for (const auto& [options, accepted] : cases) {
    std::vector<std::string> args = {"convert", "a.tif", "b.dem"};
    args.insert(args.end(), options.begin(), options.end());
    Parsed p = Parse(args);
    std::string joined;
    for (const auto& a : options) joined += a + " ";
    EXPECT_EQ(p.line.action() == CommandLine::Action::kConvert, accepted) << joined << p.err;
  }
}

TEST(CommandLine, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"frobnicate"},
      {"convert"},
      {"convert", "only.tif"},
      {"convert", "a.tif", "b.dem", "--unknown"},
      {"convert", "a.tif", "b.dem", "--zoom", "ten"},
      {"convert", "a.tif", "b.dem", "--zoom", "99999999999"},
      {"convert", "a.tif", "b.dem", "--nodata", "nan"},
      {"convert", "a.tif", "b.dem", "--nodata", "1e12"},
      {"convert", "a.tif", "b.dem", "--format-version", "GRD2007"},
      {"convert", "a.tif", "b.dem", "-p", "NOEQUALS"},
      {"convert", "a.tif", "b.dem", "-p", "=value"},
      {"convert", "a.tif", "b.dem", "-p", "KEY=a\x01"},
      {"convert", "a.tif", "b.dem", "--zoom", "5", "-p", "dem_zoom=6"},
      {"convert", "a.tif", "b.dem", "--overwrite", "-p", "OVERWRITE=NO"},
      {"convert", "a.tif", "b.dem", "--block-size", "0"},
      {"convert", "a.tif", "b.dem", "--block-size", "64", "--overlap", "65"},
      {"convert", "a.tif", "b.dem", "--overlap", "-1"},
      {"batch"},
      {"batch", "a.tif"},
      {"batch", "--out-dir", "o"},
      {"batch", "--manifest", "m.txt", "a.tif"},
      {"batch", "--manifest", "m.txt", "--separate"},
      {"batch", "--manifest", "m.txt", "--json"},
      {"batch", "--manifest", "m.txt", "-p", "OVERWRITE=NO"},
      {"batch", "--manifest", "m.txt", "--zoom", "x"},
      {"batch", "--manifest", "m.txt", "--shard", "4/4"},
      {"batch", "--manifest", "m.txt", "-j", "0"},
      {"batch", "--manifest", "m.txt", "--force", "--retry-failed"},
      {"batch", "--report", "out", "--manifest", "m.txt"},
  };
  for (const auto& args : bad) {
    Parsed p = Parse(args);
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    EXPECT_EQ(p.line.action(), CommandLine::Action::kExit) << joined;
    EXPECT_EQ(p.line.exitCode(), CommandLine::kUsageError) << joined;
    EXPECT_FALSE(p.err.empty()) << joined;
  }
}

// The batch hands each tile's geodem convert the conversion options exactly as given.
TEST(CommandLine, BatchPassesTheConversionOptionsThrough) {
  Parsed p = Parse({"batch", "--out-dir", "out", "a.tif", "b.tif", "--prj", "-p", "A=1", "--zoom",
                    "10", "-j", "3", "-p", "B=x y", "--shard", "1/4", "--timeout", "60", "-q"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kBatch) << p.err;
  const BatchOptions& b = p.line.batchOptions();
  EXPECT_EQ(b.sources, (std::vector<std::string>{"a.tif", "b.tif"}));
  EXPECT_EQ(b.outDir, "out");
  EXPECT_EQ(b.convertArguments,
            (std::vector<std::string>{"--zoom", "10", "-p", "A=1", "-p", "B=x y", "--prj"}));
  EXPECT_EQ(b.convert.zoom, "10");
  EXPECT_TRUE(b.convert.prj);
  EXPECT_EQ(b.jobs, 3);
  EXPECT_EQ(b.timeout, 60);
  ASSERT_TRUE(b.shard);
  EXPECT_EQ(b.shard->index, 1);
  EXPECT_EQ(b.shard->count, 4);
  EXPECT_TRUE(b.quiet);
  EXPECT_FALSE(b.force);

  p = Parse({"batch", "--manifest", "m.txt", "--overwrite", "--verbose", "--mapping", "job.xml",
             "--no-space-check"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kBatch) << p.err;
  EXPECT_TRUE(p.line.batchOptions().force);
  EXPECT_FALSE(p.line.batchOptions().shard);
  EXPECT_EQ(p.line.batchOptions().convertArguments,
            (std::vector<std::string>{"--mapping", "job.xml", "--no-space-check", "--verbose"}));

  p = Parse({"batch", "--report", "out", "--json"});
  ASSERT_EQ(p.line.action(), CommandLine::Action::kBatch) << p.err;
  EXPECT_EQ(p.line.batchOptions().reportDir, "out");
  EXPECT_TRUE(p.line.batchOptions().json);
}

TEST(CommandLine, HelpVersionAndRegistration) {
  Parsed p = Parse({"--help"});
  EXPECT_EQ(p.line.action(), CommandLine::Action::kExit);
  EXPECT_EQ(p.line.exitCode(), 0);
  EXPECT_NE(p.out.find("convert"), std::string::npos);
  EXPECT_NE(p.out.find("register"), std::string::npos);

  p = Parse({"convert", "--help"});
  EXPECT_EQ(p.line.exitCode(), 0);
  EXPECT_NE(p.out.find("--format-version"), std::string::npos);

  p = Parse({"--version"});
  EXPECT_EQ(p.line.exitCode(), 0);
  EXPECT_EQ(p.out.rfind("geodem ", 0), 0u) << p.out;

  EXPECT_EQ(Parse({"register"}).line.action(), CommandLine::Action::kRegister);
  EXPECT_EQ(Parse({"unregister"}).line.action(), CommandLine::Action::kUnregister);
}

}  // namespace
