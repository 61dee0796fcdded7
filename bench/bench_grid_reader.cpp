// Reading grid files back: the grid reader against the grid writer on the same 4000 x 4000 grid,
// the GDAL plug-in over it, and the reader's peak memory at three grid sizes. Prints
//   grid reader vs grid writer: X (...)
// and the figures behind it. The reader must go at least as fast as the writer writes (a ratio of
// at most 1.0), and its peak memory must not grow with the grid.
#include <cpl_conv.h>
#include <gdal.h>
#include <gdal_priv.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"
#include "bench/BenchSupport.h"
#include "gridfile/CnsdtfGridReader.h"

namespace fs = std::filesystem;
using namespace bench_support;

namespace {

constexpr int kRuns = 5;

int RunWriter(const std::string& final, const std::string& temporary) {
  DemWriterParameters params;
  params.version = "GRD_2007";
  return DemGridWriter(params, {-3.402823466e38}, false, false).Write(final, temporary);
}

// Every row, in order, as `geodem info` reads them; the sum keeps the work from being skipped.
bool RunReader(const std::string& path, std::int64_t& sum) {
  CnsdtfGridReader reader;
  if (!reader.Open(path)) return false;
  std::vector<std::int32_t> row(static_cast<std::size_t>(reader.Header().cols));
  for (int r = 0; r < reader.Header().rows; ++r) {
    if (!reader.ReadRow(r, row.data())) return false;
    for (std::int32_t v : row) sum += v;
  }
  return true;
}

// Every row through GDAL and the plug-in, as gdal_translate reads them.
bool RunGdal(const std::string& path) {
  const char* drivers[] = {"GEODEM", nullptr};
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER, drivers, nullptr, nullptr);
  if (!ds) return false;
  const int cols = GDALGetRasterXSize(ds), rows = GDALGetRasterYSize(ds);
  std::vector<std::int32_t> row(static_cast<std::size_t>(cols));
  bool ok = true;
  for (int r = 0; r < rows && ok; ++r) {
    ok = GDALRasterIO(GDALGetRasterBand(ds, 1), GF_Read, 0, r, cols, 1, row.data(), cols, 1,
                      GDT_Int32, 0, 0) == CE_None;
  }
  GDALClose(ds);
  return ok;
}

// The plug-in as built beside this program: bin/../lib/gdalplugins.
bool LoadPlugin() {
  const fs::path folder =
      fs::read_symlink("/proc/self/exe").parent_path().parent_path() / "lib" / "gdalplugins";
  CPLSetConfigOption("GDAL_DRIVER_PATH", folder.c_str());
  GetGDALDriverManager()->AutoLoadDrivers();
  return GDALGetDriverByName("GEODEM") != nullptr;
}

bool MeasureSpeed(const fs::path& dir) {
  const std::string master = (dir / "master.img").string();
  const std::string grid = (dir / "speed.dem").string();
  if (!CreateRaster(master, 4000)) return false;
  Timing writer, reader, gdal;
  std::int64_t sum = 0;
  // Alternating runs, so that both see the same load on the machine.
  for (int run = 0; run < kRuns; ++run) {
    fs::copy_file(master, grid + ".tmp", fs::copy_options::overwrite_existing);
    if (!TimeBest(writer, [&] { return RunWriter(grid, grid + ".tmp") == 1; })) return false;
    if (!TimeBest(reader, [&] { return RunReader(grid, sum); })) return false;
  }
  const bool plugin = LoadPlugin();
  for (int run = 0; plugin && run < 3; ++run) {
    if (!TimeBest(gdal, [&] { return RunGdal(grid); })) return false;
  }
  const double megabytes = static_cast<double>(fs::file_size(grid)) / 1e6;
  std::printf("grid writer 4000x4000: %.3f s (best of %d, %.1f MB of text)\n", writer.wall, kRuns,
              megabytes);
  std::printf("grid reader 4000x4000: %.3f s (best of %d, every row in order)\n", reader.wall,
              kRuns);
  std::printf("grid reader throughput: %.0f MB/s (text parsed per second of wall-clock time)\n",
              megabytes / reader.wall);
  std::printf("grid reader vs grid writer: %.2f (wall-clock time ratio, at most 1.0)\n",
              reader.wall / writer.wall);
  std::printf(
      "grid reader vs grid writer, processor time: %.2f (the same ratio in processor time, "
      "which other load on the machine disturbs less)\n",
      reader.processor / writer.processor);
  if (plugin) {
    std::printf("GDAL plug-in 4000x4000: %.3f s (best of 3, GDALRasterIO row by row)\n", gdal.wall);
  } else {
    std::printf("GDAL plug-in 4000x4000: skipped (gdal_GEODEM.so not found beside the program)\n");
  }
  fs::remove(master);
  fs::remove(grid);
  return true;
}

bool MeasureMemory(const fs::path& dir) {
  // 200 x 200 shows the fixed part (the read chunk, GDAL's file layer).
  const int sizes[3] = {200, 2000, 8000};
  long growth[3] = {0, 0, 0};
  const std::string grid = (dir / "memory.dem").string();
  for (int i = 0; i < 3; ++i) {
    long figures[2];
    auto write = [&](long*) {
      return CreateRaster(grid + ".tmp", sizes[i]) && RunWriter(grid, grid + ".tmp") == 1;
    };
    if (!InChild(write, figures)) return false;
    std::int64_t sum = 0;
    if (!PeakGrowth([&] { return RunReader(grid, sum); }, figures)) return false;
    fs::remove(grid);
    growth[i] = figures[1] - figures[0];
    std::printf(
        "grid reader peak memory %dx%d: %.1f MiB (peak resident size above the %.1f MiB at the "
        "start)\n",
        sizes[i], sizes[i], growth[i] / 1024.0, figures[0] / 1024.0);
  }
  std::printf("grid reader peak memory 8000x8000 vs 2000x2000: %.2f (ratio; flat when near 1)\n",
              static_cast<double>(growth[2]) / growth[1]);
  return true;
}

}  // namespace

int main() {
  return RunInTemporaryFolder("bench_grid_reader", [](const fs::path& dir) {
    return MeasureMemory(dir) && MeasureSpeed(dir);
  });
}
