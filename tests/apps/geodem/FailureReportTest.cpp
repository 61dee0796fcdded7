// What geodem tells a user when an output cannot be written, and the space check before a run:
// the built program on real folders, a real tmpfs in a mount namespace of its own, and /proc.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>
#include <sstream>

#include "GeodemEndToEnd.h"
#include "apps/geodem/convert/SpaceCheck.h"

namespace fs = std::filesystem;
using testing::HasSubstr;
using testing::Not;

namespace {

// 300 x 300 cells of Float32 heights between 1000 and 1300 m: 407 KiB of temporary raster and 897
// KiB of grid text at zoom 100 (10 characters a cell).
TestRaster Surface() {
  TestRaster r;
  r.width = r.height = 300;
  r.epsg = 32650;
  r.geoTransform = {500000, 30, 0, 4000000, 0, -30};
  r.cell = [](int, int x, int y) { return 1000.0 + x * 0.5 + y * 0.5; };
  return r;
}

// The error line of geodem that holds `text`, or "" when there is none.
std::string ErrorLine(const std::string& err, const std::string& text) {
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("error: ", 0) == 0 && line.find(text) != std::string::npos) return line;
  return {};
}

// Every log line starts a line of its own, and no progress display began before the failure
// showed: a lone "0" or a mark in the middle of a line would be one.
void ExpectCleanLines(const std::string& err) {
  std::istringstream lines(err);
  for (std::string line; std::getline(lines, line);) {
    EXPECT_NE(line, "0") << err;
    const std::size_t mark = line.find("error:");
    EXPECT_TRUE(mark == std::string::npos || mark == 0) << line;
  }
}

struct Outcome {
  ProcessResult result;
  std::string skip;  // why the case cannot run here
};

class FailureReport : public GeodemEndToEnd {
 public:
  using GeodemEndToEnd::Convert;
  const TempDir& Dir() const { return dir_; }

  // geodem convert as the user nobody when the test runs as root, in a folder it may read.
  Outcome ConvertUnprivileged(const std::vector<std::string>& args) {
    if (::geteuid() != 0) return {Convert(args), {}};
    if (std::string why = GeodemProcess::NobodyCannotRunGeodem(); !why.empty()) return {{}, why};
    for (const fs::path& p : {dir_.Path(), registry_->Path()})
      fs::permissions(p, fs::perms::others_read | fs::perms::others_exec, fs::perm_options::add);
    std::vector<std::string> argv = {"setpriv", "--reuid=nobody", "--regid=nogroup",
                                     "--clear-groups", GeodemProcess::Binary(), "convert"};
    argv.insert(argv.end(), args.begin(), args.end());
    ProcessResult r = GeodemProcess::Run(argv);
    if (r.status == -1 || r.err.find("setpriv:") == 0) return {r, "cannot run as nobody: " + r.err};
    return {r, {}};
  }
  Outcome OnSmallDisk(const std::string& size, std::vector<std::string> args) {
    fs::create_directories(dir_ / "small");
    args.insert(args.begin(), "convert");
    Outcome run;
    run.result = GeodemProcess::OnSmallDisk(dir_ / "small", size, args, run.skip);
    return run;
  }
};

struct FailureCase {
  const char* name;
  // Sets the case up and runs geodem convert SOURCE DST; DST is returned in `output`.
  std::function<Outcome(FailureReport&, const std::string& source, std::string& output)> run;
  // The file geodem's line names, relative to the test folder (absolute when it starts with '/'),
  // and the reason it gives.
  std::string file;
  std::function<std::string()> reason;
};
void PrintTo(const FailureCase& c, std::ostream* out) { *out << c.name; }

// The system's reason for creating a file in /proc.
std::string ProcReason() {
  const int fd = ::open("/proc/geodem-probe", O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd >= 0) ::close(fd);
  return std::strerror(errno);
}

const FailureCase kFailures[] = {
    {"under_a_regular_file",
     [](FailureReport& t, const std::string& source, std::string& output) {
       TempDir::WriteFile(t.Dir() / "afile", "a file");
       output = t.Dir() / "afile/x.dem";
       return Outcome{t.Convert({source, output}), {}};
     },
     "afile", [] { return std::string("Not a directory"); }},
    {"folder_without_write_permission",
     [](FailureReport& t, const std::string& source, std::string& output) {
       fs::create_directory(t.Dir() / "locked");
       fs::permissions(t.Dir() / "locked", fs::perms::owner_read | fs::perms::owner_exec |
                                               fs::perms::others_read | fs::perms::others_exec);
       output = t.Dir() / "locked/x.dem";
       return t.ConvertUnprivileged({source, output});
     },
     "locked", [] { return std::string("Permission denied"); }},
    {"in_proc",
     [](FailureReport& t, const std::string& source, std::string& output) {
       output = "/proc/geodem-test.dem";
       return Outcome{t.Convert({source, output}), {}};
     },
     "/proc", ProcReason},
    {"full_disk_at_the_temporary_raster",
     [](FailureReport& t, const std::string& source, std::string& output) {
       output = t.Dir() / "small/x.dem";
       return t.OnSmallDisk("256k", {"--no-space-check", source, output});
     },
     "small/x.dem.tmp", [] { return std::string(std::strerror(ENOSPC)); }},
    {"full_disk_at_the_grid_file",
     [](FailureReport& t, const std::string& source, std::string& output) {
       output = t.Dir() / "small/x.dem";
       return t.OnSmallDisk("600k", {"--no-space-check", source, output});
     },
     "small/x.dem", [] { return std::string(std::strerror(ENOSPC)); }},
};

class FailedOutput : public FailureReport, public testing::WithParamInterface<FailureCase> {};

TEST_P(FailedOutput, NamesTheFileAndTheSystemsReason) {
  const FailureCase& c = GetParam();
  const std::string source = Write(Surface(), "dem.tif");
  std::string output;
  const Outcome run = c.run(*this, source, output);
  if (!run.skip.empty()) GTEST_SKIP() << run.skip;
  const std::string& err = run.result.err;
  EXPECT_EQ(run.result.status, 1) << err;
  const std::string file = c.file.front() == '/' ? c.file : dir_ / c.file;
  const std::string line = ErrorLine(err, "the grid file " + output + " was not written");
  EXPECT_THAT(line, HasSubstr(": " + file + ": " + c.reason() + "; ")) << err;
  // "No space" only where the system said so; status codes only with --verbose.
  if (c.reason() != std::strerror(ENOSPC)) {
    EXPECT_THAT(err, Not(HasSubstr("space"))) << err;
  } else {
    // The writer's table counts the blocks of the grid file that failed as not written.
    const std::size_t totals = err.find("输出对象总数");
    ASSERT_NE(totals, std::string::npos) << err;
    long received = -1, written = -1, notWritten = -1;
    std::istringstream(err.substr(totals + std::string("输出对象总数").size())) >> received >>
        written >> notWritten;
    EXPECT_GT(received, 0) << err;
    EXPECT_EQ(written, 0) << err;
    EXPECT_EQ(notWritten, received) << err;
  }
  EXPECT_THAT(err, Not(HasSubstr("status 0x")));
  ExpectCleanLines(err);
  EXPECT_FALSE(fs::exists(output));
  EXPECT_EQ(run.result.out, "");  // nothing left on a small disk
}

INSTANTIATE_TEST_SUITE_P(Geodem, FailedOutput, testing::ValuesIn(kFailures),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(FailureReport, VerboseShowsTheStatusCodes) {
  const std::string source = Write(Surface(), "dem.tif");
  TempDir::WriteFile(dir_ / "afile", "a file");
  ProcessResult r = Convert({"--verbose", source, dir_ / "afile/x.dem"});
  EXPECT_EQ(r.status, 1);
  EXPECT_THAT(ErrorLine(r.err, "Not a directory"), HasSubstr("(status 0x80004005)")) << r.err;
  EXPECT_EQ(Convert({"--verbose", "-q", source, dir_ / "x.dem"}).status, 2);
}

// The space check on a tmpfs of a given size: refused before anything is written, with the
// figures; passed when the disk is large enough; skipped with --no-space-check.
struct SpaceCase {
  const char* name;
  const char* size;
  std::vector<std::string> options;
  int status;
  // What one error line says, in parts; SMALL stands for the tmpfs's folder.
  std::vector<std::string> says;
  std::string left;  // what the tmpfs holds afterwards ("ls -A")
};
void PrintTo(const SpaceCase& c, std::ostream* out) { *out << c.name; }

class SpaceOnTheDisk : public FailureReport, public testing::WithParamInterface<SpaceCase> {};

TEST_P(SpaceOnTheDisk, IsCheckedBeforeWriting) {
  const SpaceCase& c = GetParam();
  const std::string source = Write(Surface(), "dem.tif");
  std::vector<std::string> args = c.options;
  args.insert(args.end(), {source, dir_ / "small/x.dem"});
  const Outcome run = OnSmallDisk(c.size, args);
  if (!run.skip.empty()) GTEST_SKIP() << run.skip;
  EXPECT_EQ(run.result.status, c.status) << run.result.err;
  if (!c.says.empty()) {
    auto placed = [&](std::string text) {
      for (std::size_t at; (at = text.find("SMALL")) != std::string::npos;)
        text.replace(at, 5, dir_ / "small");
      return text;
    };
    const std::string line = ErrorLine(run.result.err, placed(c.says.front()));
    for (const std::string& part : c.says) EXPECT_THAT(line, HasSubstr(placed(part))) << run.result.err;
  }
  EXPECT_EQ(run.result.out, c.left);
}

INSTANTIATE_TEST_SUITE_P(
    Geodem, SpaceOnTheDisk,
    testing::Values(
        SpaceCase{"refused_with_the_figures",
                  "300k",
                  {},
                  1,
                  {"not enough disk space for SMALL/x.dem: it needs up to 1.3 MiB (899.1 KiB grid "
                   "file, 416.4 KiB temporary raster), and the file system of SMALL has 300.0 KiB "
                   "free; free some space or choose another output folder"},
                  ""},
        SpaceCase{"written_without_the_check",
                  "300k",
                  {"--no-space-check"},
                  1,
                  {"the grid file SMALL/x.dem was not written", std::strerror(ENOSPC)},
                  ""},
        SpaceCase{"enough_room", "1400k", {}, 0, {}, "x.dem\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The estimate against what the writer makes: never less, and not much more.
TEST_F(FailureReport, EstimateBoundsTheFilesTheWriterMakes) {
  struct Source {
    const char* name;
    TestRaster raster;
    double lowest, highest;
  };
  TestRaster int16 = Surface();
  int16.type = GDT_Int16;
  int16.cell = [](int, int x, int y) { return 1000 + (x * 7 + y * 3) % 8000; };
  TestRaster narrow = Surface();
  narrow.width = 7;  // rows shorter than a line of ten cells
  for (const Source& s : {Source{"float32", Surface(), 1000, 1299}, Source{"int16", int16, 1000, 3990},
                          Source{"narrow", narrow, 1000, 1153}}) {
    SCOPED_TRACE(s.name);
    const std::string source = Write(s.raster, std::string(s.name) + ".tif");
    const std::string output = dir_ / (std::string(s.name) + ".dem");
    ASSERT_EQ(Convert({"-q", source, output}).status, 0);
    const double grid = fs::file_size(output);
    const double estimate = SpaceCheck::GridFileBytes(
        s.raster.width, s.raster.height,
        SpaceCheck::CellChars(SourceReader::HeightRange{true, s.lowest, s.highest}, 100, -99999));
    EXPECT_GE(estimate, grid);
    EXPECT_LE(estimate, grid * 1.02 + 4096);
  }
  // The temporary raster as the writer creates it, made with GDAL the same way.
  for (GDALDataType type : {GDT_Byte, GDT_Int16, GDT_Float32, GDT_Float64}) {
    for (int side : {1, 300, 1000}) {
      const std::string path = dir_ / "t.img";
      GDALDatasetH raster = GDALCreate(GDALGetDriverByName("HFA"), path.c_str(), side, side + 5, 1,
                                       type, nullptr);
      ASSERT_NE(raster, nullptr);
      GDALFillRaster(GDALGetRasterBand(raster, 1), 1, 0);
      GDALClose(raster);
      const double size = fs::file_size(path);
      const double estimate =
          SpaceCheck::TemporaryRasterBytes(side, side + 5, GDALGetDataTypeSizeBytes(type));
      EXPECT_GE(estimate, size) << side;
      EXPECT_LE(estimate, size * 1.05 + 16384) << side;
      GDALDeleteDataset(GDALGetDriverByName("HFA"), path.c_str());
    }
  }
}

}  // namespace
