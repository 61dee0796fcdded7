// The grid writer against the physical floor of its output, and its peak memory at two raster
// sizes. Prints
//   grid writer vs raw write: X (...)
// and the figures behind it, for a Float32 raster and (marked ", Float64") a Float64 one. The
// writer must stay within 3x of writing the same bytes from memory, and its peak memory must not
// grow with the raster.
#include <cpl_conv.h>
#include <fcntl.h>
#include <gdal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "HVXOWRITER/HVXOGEODEMWriter/DemGridWriter.h"
#include "bench/BenchSupport.h"

namespace fs = std::filesystem;
using namespace bench_support;

namespace {

constexpr int kRuns = 7;
constexpr std::size_t kChunk = std::size_t{4} << 20;

int RunWriter(const std::string& final, const std::string& temporary) {
  DemWriterParameters params;
  params.version = "GRD_2007";
  // The no-data cells' value as the float they hold, the way hosts announce it.
  return DemGridWriter(params, {-3.402823466e38f}, false, true).Write(final, temporary);
}

// The floor: the same number of bytes from memory to a file in 4 MiB write calls.
bool RawWrite(const std::string& path, std::size_t bytes, const std::vector<char>& chunk) {
  int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return false;
  bool ok = true;
  for (std::size_t done = 0; done < bytes && ok;) {
    std::size_t n = std::min(chunk.size(), bytes - done);
    ok = ::write(fd, chunk.data(), n) == static_cast<ssize_t>(n);
    done += n;
  }
  return ::close(fd) == 0 && ok;
}

// A Float32 raster (the common case, read as floats) or a Float64 one (read as doubles).
bool MeasureSpeed(const fs::path& dir, GDALDataType type) {
  const std::string master = (dir / "master.img").string();
  const std::string final = (dir / "speed.dem").string();
  const std::string temporary = final + ".tmp";
  const std::string raw = (dir / "raw.txt").string();
  if (!CreateRaster(master, 4000, type)) return false;
  const bool wide = type == GDT_Float64;

  Timing writer, floor;
  std::uintmax_t bytes = 0;
  std::vector<char> chunk(kChunk);
  for (std::size_t i = 0; i < chunk.size(); ++i) chunk[i] = "   123456 \r\n"[i % 12];
  // Alternating runs, each on a fresh file, so that both see the same state of the page cache.
  for (int run = 0; run < kRuns; ++run) {
    fs::remove(final);
    fs::copy_file(master, temporary, fs::copy_options::overwrite_existing);
    if (!TimeBest(writer, [&] { return RunWriter(final, temporary) == 1; })) return false;
    bytes = fs::file_size(final);
    fs::remove(raw);
    if (!TimeBest(floor, [&] { return RawWrite(raw, bytes, chunk); })) return false;
  }
  fs::remove(raw);
  fs::remove(final);
  const char* of = wide ? ", Float64" : "";
  std::printf("grid writer 4000x4000%s: %.3f s (best of %d, %.1f MB of text)\n", of, writer.wall,
              kRuns, bytes / 1e6);
  std::printf("raw write of the same bytes%s: %.3f s (best of %d, 4 MiB write calls)\n", of,
              floor.wall, kRuns);
  std::printf("grid writer vs raw write%s: %.2f (wall-clock time ratio, at most 3.0)\n", of,
              writer.wall / floor.wall);
  std::printf(
      "grid writer vs raw write%s, processor time: %.2f (the same ratio in processor time, "
      "which other load on the machine disturbs less)\n",
      of, writer.processor / floor.processor);
  return true;
}

bool MeasureMemory(const fs::path& dir) {
  // 200 x 200 shows the fixed part (GDAL's driver and dataset, code pages, the output buffer).
  const int sizes[3] = {200, 2000, 8000};
  long growth[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i) {
    const std::string final = (dir / "memory.dem").string();
    long figures[2];
    if (!InChild([&](long*) { return CreateRaster(final + ".tmp", sizes[i]); }, figures)) {
      return false;
    }
    // The peak resident size is reset first; the writer's share is what it adds to the start.
    if (!PeakGrowth([&] { return RunWriter(final, final + ".tmp") == 1; }, figures)) return false;
    fs::remove(final);
    growth[i] = figures[1] - figures[0];
    std::printf(
        "grid writer peak memory %dx%d: %.1f MiB (peak resident size above the %.1f MiB "
        "at the start, GDAL cache bounded to %lld MiB)\n",
        sizes[i], sizes[i], growth[i] / 1024.0, figures[0] / 1024.0,
        static_cast<long long>(kGdalCache >> 20));
  }
  std::printf("grid writer peak memory 8000x8000 vs 2000x2000: %.2f (ratio; flat when near 1)\n",
              static_cast<double>(growth[2]) / growth[1]);
  return true;
}

}  // namespace

int main() {
  return RunInTemporaryFolder("bench_grid_writer", [](const fs::path& dir) {
    return MeasureMemory(dir) && MeasureSpeed(dir, GDT_Float32) && MeasureSpeed(dir, GDT_Float64);
  });
}
