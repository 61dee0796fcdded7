#include "apps/geodem/CommandLine.h"

#include <gdal.h>

#include <CLI/CLI.hpp>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "apps/geodem/GbkText.h"
#include "host/CodePage.h"

#ifndef GEODEM_VERSION
#define GEODEM_VERSION "unknown"
#endif

namespace {

constexpr int kMaxBlockSize = 8192;  // a block of all bands must stay a few hundred MiB at most

bool ParseWholeLong(const std::string& text, long long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end && *end == '\0';
}

bool ParseWholeDouble(const std::string& text, double& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return errno == 0 && end && *end == '\0' && std::isfinite(value);
}

const char* const kFormatVersions[] = {"GRD_2007", "GRD_1999", "GEODEM"};

// Each check names the option as the user gave it ("--zoom", "-p DEM_ZOOM").
std::string CheckFormatVersion(const std::string& option, const std::string& v) {
  for (const char* known : kFormatVersions)
    if (GbkEqualsNoCase(v, known)) return {};
  return option + " must be GRD_2007, GRD_1999 or GEODEM, not '" + v + "'";
}

// Zero writes every cell as 0 and a negative zoom turns the surface upside down.
std::string CheckZoom(const std::string& option, const std::string& v) {
  long long zoom = 0;
  if (!ParseWholeLong(v, zoom) || zoom < 1 || zoom > std::numeric_limits<std::int32_t>::max())
    return option + " must be a whole number of at least 1, not '" + v + "'";
  return {};
}

// The grid file holds the no-data value as a 32-bit integer.
std::string CheckNoData(const std::string& option, const std::string& v) {
  double value = 0;
  if (!ParseWholeDouble(v, value) || value <= -2147483649.0 || value >= 2147483648.0)
    return option + " must be a number in the range of a 32-bit integer, not '" + v + "'";
  return {};
}

std::string CheckOverwrite(const std::string& option, const std::string& v) {
  for (const char* known : {"YES", "NO", "TRUE", "FALSE", "1", "0"})
    if (GbkEqualsNoCase(v, known)) return {};
  return option + " must be YES or NO, not '" + v + "'";
}

// The writer's parameters that -p may set, with the check of their values; the writer takes the
// others as they come.
struct KnownParameter {
  const char* key;
  std::string (*check)(const std::string& option, const std::string& value);
};
const KnownParameter kWriterParameters[] = {
    {"VERSION", CheckFormatVersion},    {"DEM_ZOOM", CheckZoom},
    {"RASTER_NODATA", CheckNoData},     {"OVERWRITE", CheckOverwrite},
    {"TRANSFORM_PROJECTION", nullptr},  {"FEATURE_INTERVAL", nullptr},
    {"RASTER_RESAMPLE", nullptr},       {"Multiple_Source_Option", nullptr},
    {"DESTINATION_DATASET_FOLDER", nullptr}};

const KnownParameter* FindParameter(const std::string& key) {
  for (const KnownParameter& p : kWriterParameters)
    if (GbkEqualsNoCase(key, p.key)) return &p;
  return nullptr;
}

// The writer keeps parameters in GBK, and an XML document cannot carry most control characters.
bool IsWriterText(const std::string& text) {
  for (unsigned char c : text)
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
  return FitsGbk(text);
}

// The sources and the destination are one list on the command line; the usage line names them.
class ConvertUsage : public CLI::Formatter {
 public:
  std::string make_usage(const CLI::App*, std::string name) const override {
    return "Usage: " + name + " [OPTIONS] SRC... DST\n";
  }
};

}  // namespace

std::string CommandLine::VersionText() {
  return std::string("geodem ") + GEODEM_VERSION + " (GDAL " + GDALVersionInfo("RELEASE_NAME") +
         ")";
}

void CommandLine::Parse(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  CLI::App app{
      "Converts digital elevation models that GDAL reads into CNSDTF-DEM grid files "
      "(GB/T 17798), and describes such files.",
      "geodem"};
  app.set_version_flag("--version", VersionText());
  app.require_subcommand(1);

  ConvertOptions o;
  std::vector<std::string> paths;
  std::string formatVersion, zoom, noData, mapping;
  std::vector<std::string> parameters;

  CLI::App* convert = app.add_subcommand(
      "convert",
      "Convert SRC... into DST: one SRC and DST ending in .dem gives one grid file; "
      "several SRC and DST ending in .dem give one mosaic over their joint extent; DST "
      "an existing folder or ending in '/' gives one <source name>.dem per source.");
  convert
      ->add_option("SRC", paths,
                   "source rasters (any raster GDAL reads), then DST: a .dem file "
                   "or a folder")
      ->required();
  convert->formatter(std::make_shared<ConvertUsage>());
  auto* versionOpt = convert->add_option("--format-version", formatVersion,
                                         "grid layout, the VERSION parameter: GRD_2007, GRD_1999 "
                                         "or GEODEM (default)");
  auto* zoomOpt = convert->add_option("--zoom", zoom, "height zoom factor DEM_ZOOM (default 100)");
  auto* noDataOpt =
      convert->add_option("--nodata", noData, "value written for no-data cells (default -99999)");
  convert->add_flag("--overwrite", o.overwrite,
                    "replace existing outputs (default: keep them and fail)");
  convert->add_flag("--separate", o.separate,
                    "one grid file per source even when DST names a .dem file "
                    "(<DST name>_<source name>.dem)");
  auto* mappingOpt = convert->add_option(
      "--mapping", mapping, "use this mapping file instead of the one geodem writes for the job");
  convert->add_option("-p", parameters, "a further writer parameter KEY=VALUE (repeatable)")
      ->allow_extra_args(false)
      ->type_name("KEY=VALUE");
  convert
      ->add_option("--block-size", o.blockSize,
                   "size of the raster blocks handed to the writer (default 512)")
      ->check(CLI::Range(1, kMaxBlockSize));
  convert
      ->add_option("--overlap", o.overlap,
                   "overlap window of interior blocks, at most the block size (default 0)")
      ->check(CLI::NonNegativeNumber);
  convert->add_option("--band", o.band, "the band that holds the heights (default 1)")
      ->check(CLI::PositiveNumber);
  convert->add_flag("-q,--quiet", o.quiet, "no progress display (log lines still go to stderr)");
  convert->add_flag("--prj", o.prj,
                    "also write <grid file name>.prj beside each grid file: the source's "
                    "coordinate system as ESRI WKT, as the ASCII grid tools keep it");

  InfoOptions info;
  std::string infoNoData;
  CLI::App* infoCommand = app.add_subcommand(
      "info",
      "Describe a CNSDTF-DEM grid file: its layout and header, rows x columns, extent, zoom "
      "factor, unit, and the minimum, maximum and no-data cells of its data.");
  infoCommand->add_option("FILE", info.path, "the grid file")->required();
  auto* infoNoDataOpt = infoCommand->add_option(
      "--nodata", infoNoData,
      "the value that stands for no data (default: the header's no-data key, else -99999)");
  infoCommand->add_flag("--json", info.json, "one JSON object on stdout, for scripts");

  CLI::App* reg = app.add_subcommand(
      "register", "register the GEODEM writer module in the registry the host runtime uses");
  CLI::App* unreg = app.add_subcommand("unregister", "remove the GEODEM writer's registration");
  for (CLI::App* command : {reg, unreg})
    command->add_flag("--system", systemRegistry_,
                      "the system-wide registry for every user (root only) instead of your own");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app.exit(e, out, err);
    action_ = Action::kExit;
    exitCode_ = code == 0 ? 0 : kUsageError;
    return;
  }

  if (infoCommand->parsed()) {
    if (infoNoDataOpt->count()) {
      if (std::string problem = CheckNoData("--nodata", infoNoData); !problem.empty()) {
        err << "error: " << problem << "\nRun with --help for more information.\n";
        action_ = Action::kExit;
        exitCode_ = kUsageError;
        return;
      }
      info.noData = infoNoData;
    }
    infoOptions_ = std::move(info);
    action_ = Action::kInfo;
    return;
  }
  if (reg->parsed()) {
    action_ = Action::kRegister;
    return;
  }
  if (unreg->parsed()) {
    action_ = Action::kUnregister;
    return;
  }
  if (versionOpt->count()) o.formatVersion = formatVersion;
  if (zoomOpt->count()) o.zoom = zoom;
  if (noDataOpt->count()) o.noData = noData;
  if (mappingOpt->count()) o.mappingFile = mapping;
  if (paths.size() >= 2) {
    o.destination = paths.back();
    paths.pop_back();
    o.sources = std::move(paths);
  }
  for (const std::string& p : parameters) {
    std::size_t eq = p.find('=');
    if (eq == std::string::npos || eq == 0) {
      err << "error: -p expects KEY=VALUE, not '" << p << "'\n";
      action_ = Action::kExit;
      exitCode_ = kUsageError;
      return;
    }
    o.parameters.emplace_back(p.substr(0, eq), p.substr(eq + 1));
  }
  options_ = std::move(o);
  if (std::string problem = Validate(); !problem.empty()) {
    err << "error: " << problem << "\nRun with --help for more information.\n";
    action_ = Action::kExit;
    exitCode_ = kUsageError;
    return;
  }
  // A typo such as DEM_ZOM reaches the writer, which ignores it: say so.
  for (const auto& [key, value] : options_.parameters)
    if (!FindParameter(key))
      err << "warning: -p " << key << " is not a parameter the GEODEM writer knows (a typo?); "
          << "it is passed on as given\n";
  action_ = Action::kConvert;
}

std::string CommandLine::Validate() {
  const ConvertOptions& o = options_;
  if (o.sources.empty()) return "convert needs at least one SRC and the DST";
  if (o.formatVersion)
    if (auto e = CheckFormatVersion("--format-version", *o.formatVersion); !e.empty()) return e;
  if (o.zoom)
    if (auto e = CheckZoom("--zoom", *o.zoom); !e.empty()) return e;
  if (o.noData)
    if (auto e = CheckNoData("--nodata", *o.noData); !e.empty()) return e;
  if (o.overlap > o.blockSize) return "--overlap must not exceed --block-size";
  for (const auto& [key, value] : o.parameters) {
    if (!IsWriterText(key) || !IsWriterText(value))
      return "-p " + key +
             ": keys and values must be UTF-8 text with a GBK form and no control "
             "characters";
    const KnownParameter* known = FindParameter(key);
    if (known && known->check)
      if (auto e = known->check("-p " + key, value); !e.empty()) return e;
  }
  // An option and a -p pair for the same parameter: which one wins would be a guess.
  const std::pair<const char*, bool> given[] = {{"VERSION", o.formatVersion.has_value()},
                                                {"DEM_ZOOM", o.zoom.has_value()},
                                                {"RASTER_NODATA", o.noData.has_value()},
                                                {"OVERWRITE", o.overwrite}};
  for (const auto& [key, value] : o.parameters)
    for (const auto& [name, isGiven] : given)
      if (isGiven && GbkEqualsNoCase(key, name))
        return "-p " + key + " repeats a parameter that an option already sets";
  return {};
}
