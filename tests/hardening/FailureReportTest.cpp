// Failures that a host learns only from the writer's results and log: GDAL refusing a write for
// real (a raster made read-only, a disk that fills up, a projection it cannot read), a grid file
// that cannot be written, and names that have no GBK form. Each case runs with LOG_OUTPUT on and
// off: the results are the same, only the lines differ.
#include <gdal.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXOGEODEMWriter/HVXOGEODEMWriter.h"
#include "HVXOWRITER/HVXORasterWriterBase/RasterFixtures.h"
#include "host/CodePage.h"
#include "host/SpatialReference.h"
#include "support/EventCapture.h"
#include "support/SmallDisk.h"
#include "support/TempDir.h"

namespace fs = std::filesystem;

namespace {

// A writer whose target rasters are reopened read-only once they are set up, when asked: every
// write GDAL is then given fails in GDAL itself.
class Writer : public HVXOGEODEMWriter {
 public:
  std::int32_t CreateTargetDataset(SourceRecord& record, ISpatialReference* reference,
                                   const std::vector<double>& noData) override {
    std::int32_t created = HVXOGEODEMWriter::CreateTargetDataset(record, reference, noData);
    if (created == 1 && readOnly) {
      GDALClose(record.dataset);
      record.dataset = GDALOpen(OsPath(record.outputPath).c_str(), GA_ReadOnly);
    }
    return created;
  }
  bool readOnly = false;
};

// GDAL's block cache made small for a while, so that writes reach the disk as they are made.
class SmallCache {
 public:
  SmallCache() : previous_(GDALGetCacheMax64()) { GDALSetCacheMax64(256 * 1024); }
  ~SmallCache() { GDALSetCacheMax64(previous_); }

 private:
  GIntBig previous_;
};

// One conversion of a case: the writer, its folder, and the host's steps.
struct Conversion {
  TempDir dir;
  std::optional<SmallDisk> disk;  // mounted for the whole run when a case needs one
  Writer writer;
  std::string target;  // the grid file's path (UTF-8 = GBK here: ASCII)

  // side x side Float32 sources, the i-th one side columns east of the one before.
  HRESULT Open(const std::string& name, int sources, int side) {
    target = dir / name;
    std::vector<SourceSpec> specs;
    for (int i = 0; i < sources; ++i)
      specs.push_back({"s" + std::to_string(i), GDT_Float32, 1, side, side, double(i * side),
                       double(side), 1, -1});
    writer.SetMetadata(MakeMetadata(specs).Get());
    return writer.OpenTarget(Utf8ToUtf16(target).c_str(), nullptr);
  }
  // A block of source i at (x, y) of it, with the given properties (none when empty).
  ComPtr<RasterBlock> Block(int source, int side, int x, int y, int columns, int rows,
                            std::initializer_list<std::pair<std::string, std::string>> props) {
    TestBlock t =
        MakeFloatBlock("s" + std::to_string(source),
                       {columns, rows, 1, double(source * side + x), double(side - y), 1, -1},
                       [](int, int r, int c) { return r * 10.0 + c; });
    if (props.size()) t.block->SetProperties(MakeProperties(props));
    return t.block;
  }
  HRESULT Write(const ComPtr<RasterBlock>& block) {
    return writer.WriteRasterBlock(block.Get(), block.Get());
  }
};

// Where a case fails: writing a block (which is then not counted as output), creating the
// target's raster, or closing the target.
enum class FailingCall { kBlock, kCreation, kClose };

struct FailureCase {
  const char* name;
  // Drives the writer up to the call that must fail and returns that call's status (S_FALSE when
  // the case cannot be set up here).
  std::function<HRESULT(Conversion&)> drive;
  FailingCall call;
  std::uint32_t code;  // of the line that says so, which names the grid file
  const char* says;    // after the grid file's path in that line
};
void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

const FailureCase kFailures[] = {
    {"whole_block_into_a_read_only_raster",
     [](Conversion& run) {
       run.writer.readOnly = true;
       EXPECT_EQ(run.Open("a.dem", 1, 8), S_OK);
       return run.Write(run.Block(0, 8, 0, 0, 8, 8, {}));
     },
     FailingCall::kBlock, 0x2019a, "：写入数据集失败（写入数据块）"},
    {"trimmed_block_into_a_read_only_raster",
     [](Conversion& run) {
       run.writer.readOnly = true;
       EXPECT_EQ(run.Open("a.dem", 1, 8), S_OK);
       // Starts inside its source: its left margin goes, and it is written row by row.
       return run.Write(run.Block(0, 8, 4, 0, 4, 8, {{"BlocksNum", "2"}, {"WinSizeX", "2"}}));
     },
     FailingCall::kBlock, 0x2019a, "：写入数据集失败（写入数据块）"},
    {"no_data_pre_fill_of_a_mosaic_on_a_full_disk",
     [](Conversion& run) {
       if (!run.disk.emplace(run.dir / "small").Mounted()) return S_FALSE;
       SmallCache cache;  // the pre-fill of 512 KiB then goes to the disk as it is made
       EXPECT_EQ(run.Open("small/a.dem", 2, 256), S_OK);
       return run.Write(run.Block(0, 256, 0, 0, 8, 8, {{"BlocksNum", "1"}}));
     },
     FailingCall::kCreation, 0x2019a, "：写入数据集失败（填充无效值）"},
    {"projection_that_gdal_cannot_read",
     [](Conversion& run) {
       EXPECT_EQ(run.Open("a.dem", 1, 8), S_OK);
       auto block = run.Block(0, 8, 0, 0, 8, 8, {{"BlocksNum", "1"}});
       block->SetSpatialReference(ComPtr<ISpatialReference>::Attach(
           SpatialReference::Create(u"GEOGCS[\"broken\",DATUM[")));
       return run.Write(block);
     },
     FailingCall::kCreation, 0x2019a, "：写入数据集失败（设置投影）"},
    {"mosaic_grid_file_on_a_full_device",
     [](Conversion& run) {
       fs::create_symlink("/dev/full", run.dir / "a.dem");
       EXPECT_EQ(run.Open("a.dem", 2, 8), S_OK);
       EXPECT_EQ(run.Write(run.Block(0, 8, 0, 0, 8, 8, {{"BlocksNum", "1"}})), S_OK);
       EXPECT_EQ(run.Write(run.Block(1, 8, 0, 0, 8, 8, {{"BlocksNum", "1"}})), S_OK);
       return run.writer.CloseTarget();
     },
     FailingCall::kClose, 0x20198, "失败"},
};

class FailedWrite : public testing::TestWithParam<FailureCase> {};

TEST_P(FailedWrite, FailsTheCallAndTheTargetAndLeavesNoGridFile) {
  const FailureCase& c = GetParam();
  for (bool logOn : {true, false}) {
    SCOPED_TRACE(logOn ? "LOG_OUTPUT YES" : "LOG_OUTPUT NO");
    Conversion run;
    EventCapture events;
    run.writer.SetParameters(MakeProperties({{"LOG_OUTPUT", logOn ? "YES" : "NO"}}).Get());
    const HRESULT failed = c.drive(run);
    if (failed == S_FALSE) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
    EXPECT_EQ(failed, E_FAIL);
    if (c.call == FailingCall::kBlock) {
      EXPECT_EQ(run.writer.currentOutput, 0);
    }
    // Closing says so again: the target failed (a raster that was never made wrote nothing).
    if (c.call != FailingCall::kClose) {
      EXPECT_NE(run.writer.CloseTarget(), S_OK);
    }

    std::vector<std::string> errors;
    for (const CapturedLog& log : events.logs)
      if (log.level >= 2) errors.push_back(log.Utf8());
    if (logOn) {
      const std::string line = (c.code == 0x20198 ? "输出目标数据集" : "") + run.target + c.says;
      bool said = false;
      for (const CapturedLog& log : events.logs)
        said = said || (log.code == c.code && log.Utf8().starts_with(line));
      EXPECT_TRUE(said) << line << "\n" << testing::PrintToString(errors);
    } else {
      EXPECT_TRUE(errors.empty()) << testing::PrintToString(errors);
    }
    // No grid file appears, and a raster that missed a write is gone.
    EXPECT_TRUE(fs::is_symlink(run.target) || !fs::exists(run.target));
    if (c.code == 0x2019a) {
      EXPECT_FALSE(fs::exists(run.target + ".tmp"));
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Writer, FailedWrite, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

// A character that GBK cannot hold: with a '?' in its place, "a😀.dem" and "a😃.dem" would be
// one file.
const std::string kNoGbk = "\xF0\x9F\x98\x80";

struct NameCase {
  const char* name;
  const char* target;  // names in UTF-8
  const char* source;
};
void PrintTo(const NameCase& c, std::ostream* out) { *out << c.name; }

class NameWithoutGbkForm : public testing::TestWithParam<NameCase> {};

TEST_P(NameWithoutGbkForm, IsRefusedAndSaid) {
  for (bool logOn : {true, false}) {
    SCOPED_TRACE(logOn ? "LOG_OUTPUT YES" : "LOG_OUTPUT NO");
    TempDir dir;
    Writer writer;
    EventCapture events;
    writer.SetParameters(MakeProperties({{"LOG_OUTPUT", logOn ? "YES" : "NO"}}).Get());
    const std::string target = dir / GetParam().target;
    writer.SetMetadata(MakeMetadata({{GetParam().source}}).Get());
    EXPECT_EQ(writer.OpenTarget(Utf8ToUtf16(target).c_str(), nullptr), E_FAIL);
    ASSERT_EQ(events.logs.size(), logOn ? 1u : 0u);
    if (logOn) {
      EXPECT_EQ(events.logs[0].code, 0x2019bu);
      EXPECT_NE(events.logs[0].Utf8().find("名称含有GBK无法表示的字符"), std::string::npos);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Writer, NameWithoutGbkForm,
                         testing::Values(NameCase{"target", "a\xF0\x9F\x98\x80.dem", "src"},
                                         NameCase{"source", "a.dem", "s\xF0\x9F\x98\x80"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(NameWithoutGbkForm, BlockNamedSoMatchesNoTarget) {
  TempDir dir;
  Writer writer;
  // A source whose name holds the '?' that a lossy conversion would put in the block's name.
  writer.SetMetadata(MakeMetadata({{"s?"}}).Get());
  ASSERT_EQ(writer.OpenTarget(Utf8ToUtf16(dir / "a.dem").c_str(), nullptr), S_OK);
  TestBlock t =
      MakeFloatBlock("s" + kNoGbk, {8, 8, 1, 0, 1000, 1, -1}, [](int, int, int) { return 1.0; });
  EXPECT_EQ(writer.WriteRasterBlock(t.block.Get(), t.block.Get()), 1);
  EXPECT_FALSE(fs::exists(dir / "a.dem.tmp"));
}

}  // namespace
