#include "apps/geodem/convert/ConvertOptionParser.h"

#include <cpl_conv.h>
#include <ogr_spatialref.h>

#include <cstdint>
#include <limits>
#include <type_traits>

#include "apps/geodem/GbkText.h"
#include "host/CodePage.h"

namespace {

constexpr int kMaxBlockSize = 8192;  // a block of all bands must stay a few hundred MiB at most

// Zero writes every cell as 0 and a negative zoom turns the surface upside down.
constexpr WholeNumberRange kZoom{1, std::numeric_limits<std::int32_t>::max()};
constexpr WholeNumberRange kBlockSize{1, kMaxBlockSize};
constexpr WholeNumberRange kOverlap{0, kMaxBlockSize};
constexpr WholeNumberRange kBand{1, std::numeric_limits<int>::max()};

const char* const kFormatVersions[] = {"GRD_2007", "GRD_1999", "GEODEM"};

// Each check names the option as the user gave it ("--zoom", "-p DEM_ZOOM").
std::string CheckFormatVersion(const std::string& option, const std::string& v) {
  for (const char* known : kFormatVersions)
    if (GbkEqualsNoCase(v, known)) return {};
  return Tr("%s must be GRD_2007, GRD_1999 or GEODEM, not '%s'", option.c_str(), v.c_str());
}

std::string CheckZoom(const std::string& option, const std::string& v) {
  return kZoom.Check(option, v);
}

std::string CheckOverwrite(const std::string& option, const std::string& v) {
  for (const char* known : {"YES", "NO", "TRUE", "FALSE", "1", "0"})
    if (GbkEqualsNoCase(v, known)) return {};
  return Tr("%s must be YES or NO, not '%s'", option.c_str(), v.c_str());
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
    {"DESTINATION_DATASET_FOLDER", nullptr},
};

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

// A coordinate system as the user names it (EPSG:4490, WKT, a .prj file), as WKT; empty when
// GDAL does not know it.
std::string WktOf(const std::string& userInput) {
  OGRSpatialReference srs;
  char* wkt = nullptr;
  std::string text;
  const char* const noNetwork[] = {"ALLOW_NETWORK_ACCESS=NO", nullptr};
  if (srs.SetFromUserInput(userInput.c_str(), noNetwork) == OGRERR_NONE &&
      srs.exportToWkt(&wkt) == OGRERR_NONE && wkt)
    text = wkt;
  CPLFree(wkt);
  return text;
}

}  // namespace

std::string ConvertOptionParser::CheckNoData(const std::string& option, const std::string& v) {
  return kNoData.Check(option, v);
}

bool ConvertOptionParser::IsWriterParameter(const std::string& key) {
  return FindParameter(key) != nullptr;
}

void ConvertOptionParser::Add(CLI::App& command) {
  command_ = &command;
  auto add = [&](const char* name, std::string& value, const char* type, const char* help) {
    command.add_option(name, value, help)->type_name(type)->group(_(kGroup));
  };
  add("--format-version", formatVersion_, "V",
      _("grid layout, the VERSION parameter: GRD_2007, GRD_1999 or GEODEM (default)"));
  add("--zoom", zoom_, "N", _("height zoom factor DEM_ZOOM, from 1 (default 100)"));
  add("--nodata", noData_, "V", _("the 32-bit integer written for no-data cells (default -99999)"));
  add("--mapping", mapping_, "FILE",
      _("use this mapping file instead of the one geodem writes for the job"));
  command.add_option("-p", parameters_, _("a further writer parameter KEY=VALUE (repeatable)"))
      ->allow_extra_args(false)
      ->type_name("KEY=VALUE")
      ->group(_(kGroup));
  add("--block-size", blockSize_, "N",
      _("size of the raster blocks handed to the writer, 1 to 8192 (default 512)"));
  add("--overlap", overlap_, "N",
      _("overlap window of interior blocks, at most the block size (default 0)"));
  add("--band", band_, "N", _("the band that holds the heights (default 1)"));
  add("--a_srs", assignedSrs_, "SRS",
      _("the sources' coordinate system where they have none or a wrong one (EPSG:4490, a WKT "
        "or .prj file...), as gdal_translate -a_srs"));
  command
      .add_flag("--prj", prj_,
                _("also write <grid file name>.prj beside each grid file: the source's "
                  "coordinate system as ESRI WKT, as the ASCII grid tools keep it"))
      ->group(_(kGroup));
  command
      .add_flag("--no-space-check", noSpaceCheck_,
                _("write even when the disk seems to lack the space the grid files and their "
                  "temporary rasters need"))
      ->group(_(kGroup));
  command
      .add_flag("--verbose", verbose_,
                _("also the writer's status codes with its failures, for a report to its "
                  "developers"))
      ->group(_(kGroup));
}

std::string ConvertOptionParser::Collect(ConvertOptions& o) const {
  auto given = [this](const char* name) { return command_->get_option(name)->count() > 0; };
  // A whole-number option into `field`, which keeps its default when the option is not given.
  std::string error;
  auto whole = [&](const char* name, const std::string& text, const WholeNumberRange& range,
                   auto& field) {
    if (!given(name) || !error.empty()) return;
    if (std::optional<long long> value = range.Read(name, text, error)) {
      using Field = std::remove_reference_t<decltype(field)>;
      if constexpr (std::is_same_v<Field, std::optional<std::string>>)
        field = std::to_string(*value);
      else
        field = static_cast<Field>(*value);
    }
  };
  whole("--zoom", zoom_, kZoom, o.zoom);
  whole("--nodata", noData_, kNoData, o.noData);
  whole("--block-size", blockSize_, kBlockSize, o.blockSize);
  whole("--overlap", overlap_, kOverlap, o.overlap);
  whole("--band", band_, kBand, o.band);
  if (!error.empty()) return error;
  if (given("--format-version")) {
    if (auto e = CheckFormatVersion("--format-version", formatVersion_); !e.empty()) return e;
    o.formatVersion = formatVersion_;
  }
  if (given("--mapping")) o.mappingFile = mapping_;
  if (given("--a_srs")) {
    o.assignedWkt = WktOf(assignedSrs_);
    if (o.assignedWkt.empty())
      return Tr("--a_srs: '%s' is not a coordinate system GDAL knows", assignedSrs_.c_str());
  }
  o.prj = prj_;
  o.verbose = verbose_;
  o.noSpaceCheck = noSpaceCheck_;
  if (o.overlap > o.blockSize)
    return Tr("--overlap must not exceed --block-size (%s), not %s",
              std::to_string(o.blockSize).c_str(), std::to_string(o.overlap).c_str());
  for (const std::string& p : parameters_) {
    std::size_t eq = p.find('=');
    if (eq == std::string::npos || eq == 0) return Tr("-p expects KEY=VALUE, not '%s'", p.c_str());
    o.parameters.emplace_back(p.substr(0, eq), p.substr(eq + 1));
  }
  for (const auto& [key, value] : o.parameters) {
    if (!IsWriterText(key) || !IsWriterText(value))
      return Tr(
          "-p %s: keys and values must be UTF-8 text with a GBK form and no control "
          "characters",
          key.c_str());
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
        return Tr("-p %s repeats a parameter that an option already sets", key.c_str());
  return {};
}

std::vector<std::string> ConvertOptionParser::Arguments() const {
  std::vector<std::string> words;
  for (const CLI::Option* option : command_->get_options()) {
    if (option->get_group() != _(kGroup) || option->count() == 0) continue;
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
