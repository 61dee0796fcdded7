#include "apps/geodem/ConvertOptionParser.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>

#include "apps/geodem/GbkText.h"
#include "host/CodePage.h"

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
    {"VERSION", CheckFormatVersion},
    {"DEM_ZOOM", CheckZoom},
    {"RASTER_NODATA", ConvertOptionParser::CheckNoData},
    {"OVERWRITE", CheckOverwrite},
    {"TRANSFORM_PROJECTION", nullptr},
    {"FEATURE_INTERVAL", nullptr},
    {"RASTER_RESAMPLE", nullptr},
    {"Multiple_Source_Option", nullptr},
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

// The word that names an option on the command line: its first long name, else its short one.
std::string OptionWord(const CLI::Option& option) {
  if (!option.get_lnames().empty()) return "--" + option.get_lnames().front();
  return "-" + option.get_snames().front();
}

}  // namespace

// The grid file holds the no-data value as a 32-bit integer.
std::string ConvertOptionParser::CheckNoData(const std::string& option, const std::string& v) {
  double value = 0;
  if (!ParseWholeDouble(v, value) || value <= -2147483649.0 || value >= 2147483648.0)
    return option + " must be a number in the range of a 32-bit integer, not '" + v + "'";
  return {};
}

bool ConvertOptionParser::IsWriterParameter(const std::string& key) {
  return FindParameter(key) != nullptr;
}

void ConvertOptionParser::Add(CLI::App& command) {
  command_ = &command;
  command.add_option("--format-version", formatVersion_,
                     "grid layout, the VERSION parameter: GRD_2007, GRD_1999 or GEODEM (default)")
      ->group(kGroup);
  command.add_option("--zoom", zoom_, "height zoom factor DEM_ZOOM (default 100)")->group(kGroup);
  command.add_option("--nodata", noData_, "value written for no-data cells (default -99999)")
      ->group(kGroup);
  command
      .add_option("--mapping", mapping_,
                  "use this mapping file instead of the one geodem writes for the job")
      ->group(kGroup);
  command.add_option("-p", parameters_, "a further writer parameter KEY=VALUE (repeatable)")
      ->allow_extra_args(false)
      ->type_name("KEY=VALUE")
      ->group(kGroup);
  command
      .add_option("--block-size", blockSize_,
                  "size of the raster blocks handed to the writer (default 512)")
      ->check(CLI::Range(1, kMaxBlockSize))
      ->group(kGroup);
  command
      .add_option("--overlap", overlap_,
                  "overlap window of interior blocks, at most the block size (default 0)")
      ->check(CLI::NonNegativeNumber)
      ->group(kGroup);
  command.add_option("--band", band_, "the band that holds the heights (default 1)")
      ->check(CLI::PositiveNumber)
      ->group(kGroup);
  command
      .add_flag("--prj", prj_,
                "also write <grid file name>.prj beside each grid file: the source's "
                "coordinate system as ESRI WKT, as the ASCII grid tools keep it")
      ->group(kGroup);
  command
      .add_flag("--no-space-check", noSpaceCheck_,
                "write even when the disk seems to lack the space the grid files and their "
                "temporary rasters need")
      ->group(kGroup);
  command
      .add_flag("--verbose", verbose_,
                "also the writer's status codes with its failures, for a report to its developers")
      ->group(kGroup);
}

std::string ConvertOptionParser::Collect(ConvertOptions& o) const {
  auto given = [this](const char* name) { return command_->get_option(name)->count() > 0; };
  if (given("--format-version")) {
    if (auto e = CheckFormatVersion("--format-version", formatVersion_); !e.empty()) return e;
    o.formatVersion = formatVersion_;
  }
  if (given("--zoom")) {
    if (auto e = CheckZoom("--zoom", zoom_); !e.empty()) return e;
    o.zoom = zoom_;
  }
  if (given("--nodata")) {
    if (auto e = CheckNoData("--nodata", noData_); !e.empty()) return e;
    o.noData = noData_;
  }
  if (given("--mapping")) o.mappingFile = mapping_;
  o.blockSize = blockSize_;
  o.overlap = overlap_;
  o.band = band_;
  o.prj = prj_;
  o.verbose = verbose_;
  o.noSpaceCheck = noSpaceCheck_;
  if (o.overlap > o.blockSize) return "--overlap must not exceed --block-size";
  for (const std::string& p : parameters_) {
    std::size_t eq = p.find('=');
    if (eq == std::string::npos || eq == 0) return "-p expects KEY=VALUE, not '" + p + "'";
    o.parameters.emplace_back(p.substr(0, eq), p.substr(eq + 1));
  }
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
  const std::pair<const char*, bool> set[] = {{"VERSION", o.formatVersion.has_value()},
                                              {"DEM_ZOOM", o.zoom.has_value()},
                                              {"RASTER_NODATA", o.noData.has_value()},
                                              {"OVERWRITE", o.overwrite}};
  for (const auto& [key, value] : o.parameters)
    for (const auto& [name, isSet] : set)
      if (isSet && GbkEqualsNoCase(key, name))
        return "-p " + key + " repeats a parameter that an option already sets";
  return {};
}

std::vector<std::string> ConvertOptionParser::Arguments() const {
  std::vector<std::string> words;
  for (const CLI::Option* option : command_->get_options()) {
    if (option->get_group() != kGroup || option->count() == 0) continue;
    if (option->get_expected_max() == 0) {
      words.push_back(OptionWord(*option));  // a flag
      continue;
    }
    for (const std::string& value : option->results()) {
      words.push_back(OptionWord(*option));
      words.push_back(value);
    }
  }
  return words;
}
