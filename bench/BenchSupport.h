#pragma once
// What the grid benchmarks share: a DEM-like test raster, best-of-several timing, and peak memory
// measured in a forked child.
#include <gdal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace bench_support {

// The host bounds GDAL's block cache so that memory stays flat; the benchmarks do the same.
constexpr GIntBig kGdalCache = GIntBig{64} << 20;

inline double Seconds(std::chrono::steady_clock::duration d) {
  return std::chrono::duration<double>(d).count();
}

// A DEM-like surface in metres with centimetre detail and a few no-data cells, written as the
// pipeline leaves a temporary raster: HFA, one 32-bit float band.
inline bool CreateRaster(const std::string& path, int size, GDALDataType type = GDT_Float32) {
  GDALDatasetH ds =
      GDALCreate(GDALGetDriverByName("HFA"), path.c_str(), size, size, 1, type, nullptr);
  if (!ds) return false;
  double transform[6] = {500000, 5, 0, 4400000, 0, -5};
  GDALSetGeoTransform(ds, transform);
  std::vector<float> row(static_cast<std::size_t>(size));
  GDALRasterBandH band = GDALGetRasterBand(ds, 1);
  bool ok = true;
  for (int y = 0; y < size && ok; ++y) {
    for (int x = 0; x < size; ++x) {
      double h = 1500 + 900 * std::sin(x / 310.0) * std::cos(y / 270.0) + ((x * 7 + y * 13) % 97);
      row[static_cast<std::size_t>(x)] =
          (x + y) % 1009 == 0 ? -3.402823466e38f : static_cast<float>(std::round(h * 100) / 100);
    }
    ok = GDALRasterIO(band, GF_Write, 0, y, size, 1, row.data(), size, 1, GDT_Float32, 0, 0) ==
         CE_None;
  }
  GDALClose(ds);
  return ok;
}

// Wall-clock and processor time of one piece of work, in seconds.
struct Timing {
  double wall = 1e9;
  double processor = 1e9;
};

inline double ProcessorSeconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Keeps the best of several runs of work (which gives false on failure).
template <class Work>
bool TimeBest(Timing& best, Work work) {
  const auto wall = std::chrono::steady_clock::now();
  const double processor = ProcessorSeconds();
  if (!work()) return false;
  best.wall = std::min(best.wall, Seconds(std::chrono::steady_clock::now() - wall));
  best.processor = std::min(best.processor, ProcessorSeconds() - processor);
  return true;
}

inline long StatusKiB(const char* key) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(key, 0) == 0) return std::atol(line.c_str() + std::strlen(key));
  }
  return -1;
}

// Runs work in a forked child and hands back the two figures it reports; false when the work or
// the child fails. Children keep the parent's heap lean, so that each measurement starts alike.
template <class Work>
bool InChild(Work work, long figures[2]) {
  int fds[2];
  if (::pipe(fds) != 0) return false;
  pid_t child = ::fork();
  if (child == 0) {
    ::close(fds[0]);
    long out[2] = {0, 0};
    bool ok = work(out);
    ok = ::write(fds[1], out, sizeof out) == sizeof out && ok;
    ::_exit(ok ? 0 : 1);
  }
  ::close(fds[1]);
  bool got = ::read(fds[0], figures, 2 * sizeof(long)) == 2 * sizeof(long);
  ::close(fds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  return got && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Peak resident size that work adds to the start of a fresh child, in KiB (figures[1] - [0]).
template <class Work>
bool PeakGrowth(Work work, long figures[2]) {
  return InChild(
      [&](long* out) {
        std::ofstream("/proc/self/clear_refs") << "5";
        out[0] = StatusKiB("VmRSS:");
        bool ok = work();
        out[1] = StatusKiB("VmHWM:");
        return ok;
      },
      figures);
}

// A benchmark's main: GDAL with a bounded cache, a temporary folder for work(folder), removed
// afterwards, and the exit status.
template <class Work>
int RunInTemporaryFolder(const char* name, Work work) {
  GDALAllRegister();
  GDALSetCacheMax64(kGdalCache);
  std::string pattern = (std::filesystem::temp_directory_path() / "bench-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) return 1;
  const std::filesystem::path folder = pattern;
  const bool ok = work(folder);
  std::filesystem::remove_all(folder);
  if (!ok) std::fprintf(stderr, "%s: a run failed\n", name);
  return ok ? 0 : 1;
}

}  // namespace bench_support
