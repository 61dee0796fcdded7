// `geodem info` on grid files written here.
#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_json.h>
#include <gdal.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <fstream>

#include "GeodemProcess.h"
#include "support/TempDir.h"

namespace {

const std::string kGrid2007 =
    "DataMark: CNSDTF-DEM\r\nVersion: GB/T17798-2007\r\nAlpha: 0.000000\r\nCompress: 0\r\n"
    "X0: 100.000000\r\nY0: 900.000000\r\nDX: 25.000000\r\nDY: 25.000000\r\nRow: 2\r\nCol: 3\r\n"
    "ValueType: Integer\r\nHzoom: 100\r\nXYUnit: M\r\nZUnit: M\r\n\r\n"
    "   150    225    -300 \r\n\r\n   0    1000    -99999 \r\n\r\n";

ProcessResult Info(std::vector<std::string> args) {
  args.insert(args.begin(), "info");
  return GeodemProcess::Geodem(args);
}

TEST(GeodemInfo, DescribesHeaderExtentAndCells) {
  TempDir dir;
  const std::string path = dir / "a.dem";
  TempDir::WriteFile(path, kGrid2007);
  ProcessResult r = Info({path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, "File:       " + path +
                       "\n"
                       "Layout:     GRD_2007 (keyed header, Version GB/T17798-2007)\n"
                       "Header:\n"
                       "  DataMark: CNSDTF-DEM\n  Version: GB/T17798-2007\n  Alpha: 0.000000\n"
                       "  Compress: 0\n  X0: 100.000000\n  Y0: 900.000000\n  DX: 25.000000\n"
                       "  DY: 25.000000\n  Row: 2\n  Col: 3\n  ValueType: Integer\n  Hzoom: 100\n"
                       "  XYUnit: M\n  ZUnit: M\n"
                       "Size:       2 rows x 3 columns\n"
                       "Cell size:  25.000000 x 25.000000\n"
                       "Extent:     X 100.000000 to 175.000000, Y 850.000000 to 900.000000\n"
                       "Unit:       M (metres)\n"
                       "Zoom:       100 (a height of 1 m is stored as 100)\n"
                       "No data:    -99999 in 1 of 6 cells\n"
                       "Minimum:    -300 (-3 m)\n"
                       "Maximum:    1000 (10 m)\n");
}

// A negative zoom stores the lowest height as the largest value: the report keeps the heights in
// order and says what it read.
TEST(GeodemInfo, NegativeZoomKeepsMinimumBelowMaximum) {
  TempDir dir;
  const std::string path = dir / "a.dem";
  std::string text = kGrid2007;
  text.replace(text.find("Hzoom: 100"), 10, "Hzoom: -100");
  TempDir::WriteFile(path, text);
  ProcessResult r = Info({path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("Minimum:    1000 (-10 m)\nMaximum:    -300 (3 m)\n"), std::string::npos)
      << r.out;
  EXPECT_EQ(r.err, "warning: " + path +
                       ": the header's Hzoom is -100, below 1: the heights are stored negated\n");
}

TEST(GeodemInfo, JsonForScripts) {
  TempDir dir;
  const std::string path = dir / "a.dem";
  // The positional layout in degrees, with a Chinese remark no other layout has a place for.
  TempDir::WriteFile(path,
                     "NSDTF-DEM\n1.0\nD\n0.0\n0.0\n116.5000000000\n40.2500000000\n0.0025000000\n"
                     "0.0025000000\n2\n2\n10\n\n12345 -7\n-99999 -99999\n");
  ProcessResult r = Info({"--json", path});
  ASSERT_EQ(r.status, 0) << r.err;
  CPLJSONDocument json;
  ASSERT_TRUE(json.LoadMemory(r.out)) << r.out;
  const CPLJSONObject root = json.GetRoot();
  EXPECT_EQ(root.GetString("file"), path);
  EXPECT_EQ(root.GetString("layout"), "GEODEM");
  EXPECT_EQ(root.GetString("header/Unit"), "D");
  EXPECT_EQ(root.GetString("header/Hzoom"), "10");
  EXPECT_EQ(root.GetInteger("rows"), 2);
  EXPECT_EQ(root.GetInteger("columns"), 2);
  EXPECT_DOUBLE_EQ(root.GetDouble("extent/xmax"), 116.505);
  EXPECT_DOUBLE_EQ(root.GetDouble("extent/ymin"), 40.245);
  EXPECT_EQ(root.GetString("unit"), "D");
  EXPECT_EQ(root.GetInteger("zoom"), 10);
  EXPECT_EQ(root.GetInteger("nodata"), -99999);
  EXPECT_EQ(root.GetInteger("cells"), 4);
  EXPECT_EQ(root.GetInteger("nodata_cells"), 2);
  EXPECT_DOUBLE_EQ(root.GetDouble("nodata_share"), 0.5);
  EXPECT_EQ(root.GetInteger("min_stored"), -7);
  EXPECT_EQ(root.GetInteger("max_stored"), 12345);
  EXPECT_DOUBLE_EQ(root.GetDouble("min_m"), -0.7);
  EXPECT_DOUBLE_EQ(root.GetDouble("max_m"), 1234.5);
}

TEST(GeodemInfo, NoDataValueFromTheOptionOrTheHeader) {
  TempDir dir;
  const std::string path = dir / "a.dem";
  TempDir::WriteFile(path, kGrid2007);
  ProcessResult r = Info({"--nodata", "-300", path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("No data:    -300 in 1 of 6 cells\nMinimum:    -99999 (-999.99 m)\n"),
            std::string::npos)
      << r.out;

  std::string text = kGrid2007;
  text.replace(text.find("ZUnit: M\r\n"), 10, "ZUnit: M\r\nNoData: 0\r\n");
  TempDir::WriteFile(path, text);
  r = Info({path});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("No data:    0 in 1 of 6 cells\n"), std::string::npos) << r.out;

  r = Info({"--nodata", "1e10", path});
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.err.find("--nodata"), std::string::npos) << r.err;
}

TEST(GeodemInfo, DamagedFilesAreReportedWithExitOne) {
  TempDir dir;
  const std::string noCol = dir / "nocol.dem", cut = dir / "cut.dem";
  std::string text = kGrid2007;
  text.erase(text.find("Col: 3\r\n"), 8);
  TempDir::WriteFile(noCol, text);
  ProcessResult r = Info({noCol});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");
  EXPECT_EQ(r.err, "error: " + noCol + ": the header lacks the key \"Col\"\n");

  TempDir::WriteFile(cut, kGrid2007.substr(0, kGrid2007.size() - 12));
  r = Info({cut});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("Size:       2 rows x 3 columns\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Minimum"), std::string::npos) << r.out;
  EXPECT_EQ(r.err,
            "error: " + cut + ": the data section ends early: row 2 of 2 holds 2 of 3 values\n");
  r = Info({"--json", cut});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, "");

  r = Info({dir / "missing.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("cannot be opened"), std::string::npos) << r.err;
}

// Values past Row x Col (a grid cut or edited by hand) are not read, and info says so; the GDAL
// driver warns alike, so a GDAL program (and geodem convert) reading such a grid says it too.
TEST(GeodemInfo, ValuesPastTheGridAreNamed) {
  TempDir dir;
  const std::string extra = dir / "extra.dem";
  TempDir::WriteFile(extra, kGrid2007 + "   7    8 \r\n");
  const std::string warning =
      "the data section holds more values than Row x Col (2 x 3): those past the last row are "
      "not read";
  ProcessResult r = Info({extra});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "warning: " + extra + ": " + warning + "\n");
  EXPECT_EQ(Info({dir / "ok.dem"}).status, 1);
  TempDir::WriteFile(dir / "ok.dem", kGrid2007);
  EXPECT_EQ(Info({dir / "ok.dem"}).err, "");
  if (!GDALGetDriverByName("GEODEM")) {
    CPLSetConfigOption("GDAL_DRIVER_PATH", GEODEM_GDAL_PLUGIN_DIR);
    GDALAllRegister();
    CPLSetConfigOption("GDAL_DRIVER_PATH", nullptr);
  }
  std::vector<std::string> warnings;
  CPLPushErrorHandlerEx(
      [](CPLErr level, CPLErrorNum, const char* text) {
        if (level == CE_Warning)
          static_cast<std::vector<std::string>*>(CPLGetErrorHandlerUserData())->push_back(text);
      },
      &warnings);
  GDALDatasetH ds = GDALOpen(extra.c_str(), GA_ReadOnly);
  ASSERT_NE(ds, nullptr);
  std::vector<float> row(3);
  for (int y : {1, 1, 0, 1})  // the last row again and again: said once
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, y, 3, 1, row.data(), 3, 1,
                           GDT_Float32, 0, 0),
              CE_None);
  GDALClose(ds);
  CPLPopErrorHandler();
  EXPECT_EQ(warnings, std::vector<std::string>{extra + ": " + warning});
}

// A 150-byte file whose header claims two billion columns, under a 2 GiB address-space limit: the
// claim is refused with a message, instead of an allocation of many gigabytes that ends geodem.
TEST(GeodemInfo, HostileHeaderIsRefusedWithinAMemoryLimit) {
#if defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "AddressSanitizer reserves more address space than the limit allows";
#endif
  TempDir dir;
  const std::string path = dir / "hostile.dem";
  std::string text = kGrid2007;
  text.replace(text.find("Col: 3"), 6, "Col: 2000000000");
  TempDir::WriteFile(path, text);
  ProcessResult r = GeodemProcess::Run(
      {"sh", "-c", "ulimit -v 2097152 && exec \"$0\" info \"$1\"", GeodemProcess::Binary(), path});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "error: " + path +
                       ": the header's 2 rows of 2000000000 values need at least 7999999999 bytes "
                       "of data, but the file holds " +
                       std::to_string(text.size() - text.find("\r\n\r\n") - 4) +
                       " after its header\n");
}

// A grid of size x size cells in the writer's positional layout, written straight to disk.
void WriteSquareGrid(const std::string& path, int size) {
  std::ofstream out(path, std::ios::binary);
  out << "NSDTF-DEM\r\n1.0\r\nM\r\n0.0\r\n0.0\r\n0.000000\r\n"
      << size << ".000000\r\n"
      << "1.000000\r\n1.000000\r\n"
      << size << "\r\n"
      << size << "\r\n100\r\n\r\n";
  std::string row;
  for (int y = 0; y < size; ++y) {
    row.clear();
    for (int x = 0; x < size; ++x) {
      row += "   " + std::to_string(100000 + (x * 7 + y * 13) % 90000) + " ";
      if (x % 10 == 9 || x + 1 == size) row += "\r\n";
    }
    out << row;
  }
}

// Peak resident size of `geodem info path`, in KiB, or -1.
long InfoPeakKiB(const std::string& path) {
  std::vector<std::string> argv = {GeodemProcess::Binary(), "info", path};
  std::vector<char*> args;
  for (std::string& a : argv) args.push_back(a.data());
  args.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  long peak = -1;
  if (posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      peak = usage.ru_maxrss;
    }
  }
  posix_spawn_file_actions_destroy(&actions);
  return peak;
}

TEST(GeodemInfo, MemoryStaysFlatWhateverTheFileSize) {
  TempDir dir;
  WriteSquareGrid(dir / "small.dem", 300);
  WriteSquareGrid(dir / "large.dem", 3000);  // about 90 MB of text
  const long small = InfoPeakKiB(dir / "small.dem"), large = InfoPeakKiB(dir / "large.dem");
  ASSERT_GT(small, 0);
  ASSERT_GT(large, 0);
  EXPECT_LT(large - small, 8 * 1024) << "peak KiB: " << small << " and " << large;
}

}  // namespace
