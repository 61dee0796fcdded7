#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cfloat>
#include <filesystem>

#include "HVXOWRITER/HVXORasterWriterBase/HVXORasterWriterBase.h"
#include "RasterFixtures.h"
#include "RecordingWriter.h"
#include "host/HVXRasterBase.h"
#include "host/SpatialReference.h"
#include "support/EventCapture.h"
#include "support/TempDir.h"

namespace {

SourceRecord Record(const std::string& outputPath, int bands = 1, int type = GDT_Float32) {
  SourceRecord r;
  r.outputPath = outputPath;
  r.dataType = type;
  r.originX = 100;
  r.originY = 900;
  r.pixelWidth = 30;
  r.pixelHeight = 30;
  r.width = 4;
  r.height = 3;
  r.bandCount = bands;
  return r;
}

class TargetCreation : public testing::Test {
 protected:
  void SetUp() override { writer.driverName = "HFA"; }
  void TearDown() override { writer.CloseDataset(std::exchange(record.dataset, nullptr)); }
  std::int32_t Create(const std::string& path, int bands = 1,
                      const std::vector<double>& noData = {}) {
    record = Record(path, bands);
    return writer.CreateTargetDataset(record, nullptr, noData);
  }
  RecordingWriter writer;
  SourceRecord record;
  TempDir dir;
  EventCapture events;
};

TEST_F(TargetCreation, ExistingFinalFileIsKeptUnlessOverwriteIsOn) {
  std::string final = dir / "a.dem";
  TempDir::WriteFile(final, "keep");
  EXPECT_EQ(Create(final + ".tmp"), E_FAIL);
  EXPECT_EQ(record.dataset, nullptr);
  EXPECT_FALSE(std::filesystem::exists(final + ".tmp"));
  EXPECT_EQ(events.LogTexts(),
            std::vector<std::string>{"文件: " + final + " 已经存在，且设置为不覆盖"});
  EXPECT_EQ(events.logs[0].code, 0x200a0u);

  writer.overwrite = 1;
  EXPECT_EQ(Create(final + ".tmp"), 1);
  EXPECT_NE(record.dataset, nullptr);
  EXPECT_TRUE(std::filesystem::exists(final + ".tmp"));
  EXPECT_EQ(TempDir::ReadFile(final), "keep");  // the format writer replaces it later
}

// GDAL would write the raster through whatever stands at its name: another user's link in a shared
// folder is refused, and the file it names stays as it was.
TEST_F(TargetCreation, StrangersLinkAtTheTemporaryRasterIsRefused) {
  const passwd* nobody = ::getpwnam("nobody");
  if (::geteuid() != 0 || !nobody) GTEST_SKIP() << "needs root and user nobody to plant a link";
  const std::string share = dir / "share", victim = dir / "victim";
  std::filesystem::create_directory(share);
  ::chmod(share.c_str(), 01777);
  TempDir::WriteFile(victim, "root data");
  std::filesystem::create_symlink(victim, share + "/a.dem.tmp");
  ASSERT_EQ(::lchown((share + "/a.dem.tmp").c_str(), nobody->pw_uid, nobody->pw_gid), 0);
  writer.overwrite = 1;
  EXPECT_EQ(Create(share + "/a.dem.tmp"), E_FAIL);
  EXPECT_EQ(record.dataset, nullptr);
  EXPECT_EQ(TempDir::ReadFile(victim), "root data");
  ASSERT_EQ(events.LogTexts().size(), 1u);
  EXPECT_NE(events.LogTexts()[0].find("symbolic link of user nobody"), std::string::npos);
}

TEST_F(TargetCreation, MissingFoldersAreMadeAndFailuresReported) {
  std::string final = dir / "new/sub/a.dem";
  EXPECT_EQ(Create(final + ".tmp"), 1);
  EXPECT_TRUE(std::filesystem::is_regular_file(final + ".tmp"));

  TempDir::WriteFile(dir / "file", "");  // a file where a folder should be
  std::string blocked = dir / "file/sub/a.dem";
  events.Clear();
  EXPECT_EQ(Create(blocked + ".tmp"), E_FAIL);
  EXPECT_EQ(events.LogTexts(),
            std::vector<std::string>{"创建目标路径 " + dir / "file/sub" + " 失败"});
  EXPECT_EQ(events.logs[0].code, 0x20092u);

  writer.logOutput = 0;
  events.Clear();
  EXPECT_EQ(Create(blocked + ".tmp"), E_FAIL);
  EXPECT_TRUE(events.logs.empty());
}

TEST_F(TargetCreation, ChineseFolderAndNameReachTheFileSystem) {
  std::string final = dir.Path().string() + "/" + Utf8ToGbk("高程/数据.dem");
  EXPECT_EQ(Create(final + ".tmp"), 1);
  EXPECT_TRUE(std::filesystem::is_regular_file(dir.Path() / "高程" / "数据.dem.tmp"));
}

TEST_F(TargetCreation, DriverOrCreationFailureGivesZero) {
  writer.driverName = "NO_SUCH_DRIVER";
  EXPECT_EQ(Create(dir / "a.dem.tmp"), 0);
  writer.driverName = "HFA";
  SourceRecord bad = Record(dir / "b.dem.tmp");
  bad.width = 0;
  EXPECT_EQ(writer.CreateTargetDataset(bad, nullptr, {}), 0);
  EXPECT_EQ(bad.dataset, nullptr);
}

TEST_F(TargetCreation, GeoreferencingAndProjection) {
  record = Record(dir / "a.dem.tmp");
  auto srs = ComPtr<SpatialReference>::Attach(SpatialReference::Create(Utf8ToUtf16(
      R"(GEOGCS["WGS 84",DATUM["WGS_1984",SPHEROID["WGS 84",6378137,298.257223563]],PRIMEM["Greenwich",0],UNIT["degree",0.0174532925199433]])")));
  ASSERT_EQ(writer.CreateTargetDataset(record, srs.Get(), {}), 1);
  double gt[6];
  GDALGetGeoTransform(record.dataset, gt);
  EXPECT_EQ(std::vector<double>(gt, gt + 6), (std::vector<double>{100, 30, 0, 900, 0, -30}));
  EXPECT_NE(std::string(GDALGetProjectionRef(record.dataset)).find("WGS"), std::string::npos);
  EXPECT_EQ(GDALGetRasterXSize(record.dataset), 4);
  EXPECT_EQ(GDALGetRasterYSize(record.dataset), 3);
}

double NoData(GDALDatasetH dataset, int band, int* has) {
  return GDALGetRasterNoDataValue(GDALGetRasterBand(dataset, band), has);
}

TEST_F(TargetCreation, NoDataOnlyForSeveralBandsAndANonZeroFirstValue) {
  ASSERT_EQ(Create(dir / "three.dem.tmp", 3, {-9999, -9999, -9999}), 1);
  for (int b = 1; b <= 3; ++b) {
    int has = 0;
    EXPECT_EQ(NoData(record.dataset, b, &has), -9999);
    EXPECT_TRUE(has);
  }
  writer.CloseDataset(std::exchange(record.dataset, nullptr));

  int has = 0;
  ASSERT_EQ(Create(dir / "one.dem.tmp", 1, {-9999}), 1);
  NoData(record.dataset, 1, &has);
  EXPECT_FALSE(has);
  writer.CloseDataset(std::exchange(record.dataset, nullptr));

  ASSERT_EQ(Create(dir / "zero.dem.tmp", 2, {0.0, -9999}), 1);
  NoData(record.dataset, 2, &has);
  EXPECT_FALSE(has);
}

TEST_F(TargetCreation, BandsTheListDoesNotCoverGetTheInvalidValueOfTheType) {
  ASSERT_EQ(Create(dir / "short.dem.tmp", 3, {-9999}), 1);
  int has = 0;
  EXPECT_EQ(NoData(record.dataset, 1, &has), -9999);
  EXPECT_EQ(NoData(record.dataset, 3, &has), GetInvalid(GDT_Float32));
  EXPECT_TRUE(has);
}

TEST_F(TargetCreation, MosaicTargetIsPrefilledWithEachBandsValue) {
  writer.mosaicMode = 1;
  writer.driverName = "MEM";
  ASSERT_EQ(Create("mosaic.dem.tmp", 2, {-9999}), 1);
  std::vector<float> first = ReadBand(record.dataset, 1);
  ASSERT_EQ(first.size(), 12u);
  for (float c : first) EXPECT_EQ(c, -9999.0f);
  std::vector<float> second = ReadBand(record.dataset, 2);
  ASSERT_EQ(second.size(), 12u);
  for (float c : second) EXPECT_EQ(c, -FLT_MAX);
}

TEST(InvalidFill, LargeFloatTargetInStepsOf524RowsAndALastOf44) {
  RecordingWriter writer;
  writer.passThrough = false;  // the steps are what matters; 400 MB need not be written
  SourceRecord record;
  record.dataType = GDT_Float32;
  record.width = 10000;
  record.height = 10000;
  record.bandCount = 1;
  EXPECT_EQ(writer.FillWithInvalid(record, {-9999}), 0);
  ASSERT_EQ(writer.datasetWrites.size(), 20u);
  for (std::size_t i = 0; i < 19; ++i) {
    EXPECT_EQ(writer.datasetWrites[i].y, static_cast<int>(i) * 524);
    EXPECT_EQ(writer.datasetWrites[i].rows, 524);
  }
  EXPECT_EQ(writer.datasetWrites[19].y, 9956);
  EXPECT_EQ(writer.datasetWrites[19].rows, 44);
  EXPECT_EQ(writer.datasetWrites[19].columns, 10000);
  EXPECT_EQ(writer.datasetWrites[19].bands, 1);
}

TEST(InvalidFill, RowsPerStep) {
  EXPECT_EQ(HVXORasterWriterBase::FillRowsPerStep(10000, 10000, 1, 4), 524);
  EXPECT_EQ(HVXORasterWriterBase::FillRowsPerStep(100, 100, 3, 8), 100);  // fits: one step
  // A single row above 20 MiB still advances one row at a time.
  EXPECT_EQ(HVXORasterWriterBase::FillRowsPerStep(6000000, 3, 1, 8), 1);
}

}  // namespace
