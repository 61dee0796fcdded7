// The plan of a batch: the manifest reader, the checks of the whole plan and the shard split.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "apps/geodem/batch/BatchManifest.h"
#include "apps/geodem/batch/BatchPlan.h"
#include "apps/geodem/batch/ShardSplit.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

bool Mentions(const std::vector<std::string>& problems, const std::string& text) {
  for (const std::string& p : problems)
    if (p.find(text) != std::string::npos) return true;
  return false;
}

std::string Joined(const std::vector<std::string>& problems) {
  std::string all;
  for (const std::string& p : problems) all += p + "\n";
  return all;
}

TEST(BatchManifest, ReadsTilesAndNamesEveryBadLine) {
  TempDir dir;
  const std::string manifest = dir / "set.txt";
  TempDir::WriteFile(manifest,
                     "# tiles of the north\n"
                     "\n"
                     "a.tif\r\n"
                     "   # an indented comment\n"
                     "sub/b.tif\tout/b.dem\n"
                     "/abs/c.tif\tfolder/\n"
                     "d.tif\te.dem\textra\n"
                     "\tnothing.dem\n"
                     "bad\xff.tif\n"
                     "f.tif\t\n"
                     "\xe5\x8c\x97\xe4\xba\xac.tif\n"
                     " padded.tif\n"
                     "g.tif\tout/g.dem \r\n");
  std::vector<ManifestLine> lines;
  std::vector<std::string> problems;
  EXPECT_FALSE(BatchManifest::Read(manifest, lines, problems));

  const std::string folder = dir.Path().string() + "/";
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0].number, 3);
  EXPECT_EQ(lines[0].source, folder + "a.tif");
  EXPECT_FALSE(lines[0].destination);
  EXPECT_EQ(lines[1].number, 5);
  EXPECT_EQ(lines[1].source, folder + "sub/b.tif");
  EXPECT_EQ(lines[1].destination, folder + "out/b.dem");
  EXPECT_EQ(lines[2].source, "/abs/c.tif");
  EXPECT_EQ(lines[2].destination, folder + "folder/");
  EXPECT_EQ(lines[3].number, 11);
  EXPECT_EQ(lines[3].source, folder + "\xe5\x8c\x97\xe4\xba\xac.tif");

  ASSERT_EQ(problems.size(), 6u) << Joined(problems);
  EXPECT_NE(problems[0].find(manifest + ":7: more than one tab"), std::string::npos);
  EXPECT_NE(problems[1].find(":8: an empty SRC"), std::string::npos);
  EXPECT_NE(problems[2].find(":9: not UTF-8"), std::string::npos);
  EXPECT_NE(problems[3].find(":10: an empty DST"), std::string::npos);
  EXPECT_NE(problems[4].find(":12: the SRC ' padded.tif' begins or ends with a blank"),
            std::string::npos);
  EXPECT_NE(problems[5].find(":13: the DST 'out/g.dem ' begins"), std::string::npos);

  lines.clear();
  problems.clear();
  EXPECT_FALSE(BatchManifest::Read(dir / "missing.txt", lines, problems));
  EXPECT_TRUE(Mentions(problems, "cannot read the manifest"));
}

struct PlanCase {
  const char* what;
  std::string manifest;  // its text; the tiles need not exist
  bool outDir;
  bool prj;
  std::vector<std::string> problems;  // each mentioned by some problem; none: the plan holds
};

TEST(BatchPlan, RefusesPlansThatCannotWork) {
  const std::vector<PlanCase> cases = {
      {"tiles into a folder and to named grid files", "a.tif\nb.tif\tx/b.dem\nc.tif\tx/\n", true,
       false, {}},
      {"two sources of one name in two folders", "n/t1.tif\ns/t1.tif\n", true, false,
       {"set.txt:2: the grid file", "also the output of", "set.txt:1"}},
      {"grid files that differ only in letter case", "a.tif\tT1.dem\nb.tif\tt1.DEM\n", false,
       false, {"set.txt:2:", "also the output of"}},
      {"a grid file that is a source", "a.tif\tb.tif\nb.tif\tb.dem\n", false, false,
       {"set.txt:1:", "written over the source of", "set.txt:2"}},
      {"a temporary file that is a source", "a.tif\nout/a.dem.tmp\tz.dem\n", true, false,
       {"a.dem.tmp would be written over"}},
      {"a .prj that is a source only with --prj", "a.tif\tp.dem\np.prj\tq.dem\n", false, true,
       {"p.prj would be written over"}},
      {"no destination and no --out-dir", "a.tif\n", false, false, {"no DST, and no --out-dir"}},
      {"a manifest of comments only", "# nothing\n\n", true, false, {"lists no tiles"}},
      {"a line the reader refuses", "a.tif\tb\tc\n", true, false, {"set.txt:1: more than one"}},
  };
  for (const PlanCase& c : cases) {
    TempDir dir;
    TempDir::WriteFile(dir / "set.txt", c.manifest);
    BatchOptions options;
    options.manifest = dir / "set.txt";
    if (c.outDir) options.outDir = dir / "out";
    options.convert.prj = c.prj;
    BatchPlan plan;
    EXPECT_EQ(plan.Build(options), c.problems.empty()) << c.what << "\n" << Joined(plan.problems());
    for (const std::string& text : c.problems)
      EXPECT_TRUE(Mentions(plan.problems(), text)) << c.what << ": no '" << text << "' in\n"
                                                   << Joined(plan.problems());
  }
}

TEST(BatchPlan, NamesTheGridFilesAndTheJournalFolder) {
  TempDir dir;
  ::mkdir((dir / "x").c_str(), 0755);
  TempDir::WriteFile(dir / "set.txt", "a.tif\nb.tif\tx/b.dem\nsub/c.tif\tx\n");
  BatchOptions options;
  options.manifest = dir / "set.txt";
  options.outDir = dir / "out";
  BatchPlan plan;
  ASSERT_TRUE(plan.Build(options)) << Joined(plan.problems());
  std::vector<std::string> outputs;
  for (const BatchTile& t : plan.tiles()) outputs.push_back(t.output);
  EXPECT_EQ(outputs, (std::vector<std::string>{dir / "out/a.dem", dir / "x/b.dem",
                                               dir / "x/c.dem"}));
  EXPECT_EQ(plan.journalDir(), dir / "out");

  options = {};
  options.sources = {"p/q.tif", "r.tif"};
  options.outDir = "o";
  ASSERT_TRUE(plan.Build(options)) << Joined(plan.problems());
  EXPECT_EQ(plan.tiles()[0].output, (fs::current_path() / "o/q.dem").string());
  EXPECT_EQ(plan.tiles()[1].origin, "SRC 2");
}

TEST(ShardSplit, EveryTileInExactlyOneShardOfNearlyEqualSize) {
  for (std::size_t tiles : {0, 1, 7, 23, 100}) {
    for (long long n = 1; n <= 9; ++n) {
      std::vector<int> owners(tiles, 0);
      std::set<std::size_t> sizes;
      for (long long k = 0; k < n; ++k) {
        std::size_t size = 0;
        for (std::size_t t = 0; t < tiles; ++t)
          if (ShardSplit::Takes({k, n}, t)) ++owners[t], ++size;
        sizes.insert(size);
      }
      for (std::size_t t = 0; t < tiles; ++t)
        EXPECT_EQ(owners[t], 1) << "tile " << t << " of " << tiles << ", " << n << " shards";
      EXPECT_LE(*sizes.rbegin() - *sizes.begin(), 1u) << tiles << " tiles, " << n << " shards";
    }
  }
}

TEST(ShardSplit, ParsesKOfNAndTheSlurmArray) {
  const std::map<std::string, std::optional<std::pair<long long, long long>>> texts = {
      {"0/1", {{0, 1}}}, {"2/3", {{2, 3}}}, {"3/3", {}},  {"-1/2", {}}, {"1/0", {}},
      {"1", {}},         {"a/b", {}},       {"1/2/3", {}}, {"+1/2", {}}, {"", {}}};
  for (const auto& [text, expected] : texts) {
    std::string error;
    auto shard = ShardSplit::Parse(text, error);
    ASSERT_EQ(shard.has_value(), expected.has_value()) << text;
    if (shard) {
      EXPECT_EQ(shard->index, expected->first) << text;
      EXPECT_EQ(shard->count, expected->second) << text;
    } else {
      EXPECT_NE(error.find("--shard"), std::string::npos) << text;
    }
  }

  using Env = std::map<std::string, std::string>;
  struct SlurmCase {
    Env env;
    std::optional<std::pair<long long, long long>> shard;
    bool error;
  };
  const std::vector<SlurmCase> cases = {
      {{}, {}, false},
      {{{"SLURM_ARRAY_TASK_ID", "5"}, {"SLURM_ARRAY_TASK_MIN", "3"},
        {"SLURM_ARRAY_TASK_MAX", "6"}, {"SLURM_ARRAY_TASK_COUNT", "4"}}, {{2, 4}}, false},
      {{{"SLURM_ARRAY_TASK_ID", "0"}, {"SLURM_ARRAY_TASK_MIN", "0"},
        {"SLURM_ARRAY_TASK_MAX", "0"}, {"SLURM_ARRAY_TASK_COUNT", "1"}}, {{0, 1}}, false},
      // --array=0,2,4: task 4 would take a shard 4 of 3 and shard 1 would be no task's.
      {{{"SLURM_ARRAY_TASK_ID", "2"}, {"SLURM_ARRAY_TASK_MIN", "0"},
        {"SLURM_ARRAY_TASK_MAX", "4"}, {"SLURM_ARRAY_TASK_COUNT", "3"}}, {}, true},
      {{{"SLURM_ARRAY_TASK_ID", "2"}}, {}, true},
  };
  for (const SlurmCase& c : cases) {
    std::string error;
    auto shard = ShardSplit::FromSlurm(
        [&](const char* name) -> const char* {
          auto it = c.env.find(name);
          return it == c.env.end() ? nullptr : it->second.c_str();
        },
        error);
    ASSERT_EQ(shard.has_value(), c.shard.has_value());
    if (shard) {
      EXPECT_EQ(std::make_pair(shard->index, shard->count), *c.shard);
    }
    EXPECT_EQ(!error.empty(), c.error) << error;
  }
}

}  // namespace
