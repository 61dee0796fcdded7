#include "apps/geodem/batch/TileSettings.h"

#include <cstdlib>
#include <filesystem>
#include <map>

#include "apps/geodem/JsonText.h"
#include "host/CodePage.h"
#include "apps/geodem/Translation.h"

namespace {

// "010" and "10" set the same zoom; a text that is no whole number stays as it is.
std::string WholeNumberText(const std::string& text) {
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  return !text.empty() && end && *end == '\0' ? std::to_string(value) : text;
}

// The writer compares the format version ignoring case.
std::string Upper(const std::string& text) { return GbkToUpper(text); }

// The value of writer parameter `key` for a tile, in the order the conversion lets them win: the
// option, a -p pair, the mapping file, the default. `normal` spells a value given as text one way.
std::string Effective(const ConvertOptions& o, const std::optional<std::string>& option,
                      const char* key, const char* fallback,
                      std::string (*normal)(const std::string&)) {
  if (option) return normal(*option);
  for (auto it = o.parameters.rbegin(); it != o.parameters.rend(); ++it)
    if (GbkEqualsNoCase(it->first, key)) return normal(it->second);
  if (o.mappingFile) {
    std::error_code ec;
    return "in " + std::filesystem::absolute(*o.mappingFile, ec).lexically_normal().string();
  }
  return fallback;
}

// The -p pairs other than the three settings of their own, by upper-cased key.
std::string OtherParameters(const ConvertOptions& o) {
  std::map<std::string, std::string> byKey;
  for (const auto& [key, value] : o.parameters) {
    const std::string upper = Upper(key);
    if (upper != "VERSION" && upper != "DEM_ZOOM" && upper != "RASTER_NODATA")
      byKey[upper] = value;
  }
  std::string text;
  for (const auto& [key, value] : byKey) text += (text.empty() ? "" : "\n") + key + "=" + value;
  return text;
}

// KEY=VALUE lines as a map, for naming the keys that differ.
std::map<std::string, std::string> ParameterMap(const std::string& text) {
  std::map<std::string, std::string> m;
  std::size_t from = 0;
  while (from < text.size()) {
    std::size_t end = text.find('\n', from);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(from, end - from);
    const std::size_t eq = line.find('=');
    if (eq != std::string::npos) m[line.substr(0, eq)] = line.substr(eq + 1);
    from = end + 1;
  }
  return m;
}

}  // namespace

TileSettings TileSettings::Of(const ConvertOptions& o) {
  TileSettings s;
  s.format = Effective(o, o.formatVersion, "VERSION", "GEODEM", Upper);
  s.zoom = Effective(o, o.zoom, "DEM_ZOOM", ConvertOptions::kDefaultZoom, WholeNumberText);
  s.noData =
      Effective(o, o.noData, "RASTER_NODATA", ConvertOptions::kDefaultNoData, WholeNumberText);
  s.band = o.band;
  s.prj = o.prj;
  s.parameters = OtherParameters(o);
  return s;
}

bool TileSettings::SameGrid(const TileSettings& other) const {
  return format == other.format && zoom == other.zoom && noData == other.noData &&
         band == other.band && parameters == other.parameters;
}

std::string TileSettings::Differences(const TileSettings& other) const {
  std::string text;
  auto differ = [&](const char* option, const std::string& then, const std::string& now) {
    if (then == now) return;
    text += (text.empty() ? "" : ", ") + Tr("%s %s (now %s)", option, then.c_str(), now.c_str());
  };
  differ("--format-version", other.format, format);
  differ("--zoom", other.zoom, zoom);
  differ("--nodata", other.noData, noData);
  differ("--band", std::to_string(other.band), std::to_string(band));
  const std::map<std::string, std::string> then = ParameterMap(other.parameters),
                                           now = ParameterMap(parameters);
  std::map<std::string, std::string> keys = then;
  keys.insert(now.begin(), now.end());
  for (const auto& [key, unused] : keys) {
    auto a = then.find(key), b = now.find(key);
    differ(("-p " + key).c_str(), a == then.end() ? "-" : a->second,
           b == now.end() ? "-" : b->second);
  }
  return text;
}

std::string TileSettings::JsonMembers() const {
  using JsonText::Quote;
  return ",\"format\":" + Quote(format) + ",\"zoom\":" + Quote(zoom) +
         ",\"nodata\":" + Quote(noData) + ",\"band\":" + std::to_string(band) +
         ",\"prj\":" + (prj ? "true" : "false") +
         (parameters.empty() ? "" : ",\"parameters\":" + Quote(parameters));
}

std::optional<TileSettings> TileSettings::FromMembers(const std::map<std::string, std::string>& m) {
  auto at = [&](const char* key) -> const std::string* {
    auto it = m.find(key);
    return it == m.end() ? nullptr : &it->second;
  };
  const std::string *format = at("format"), *zoom = at("zoom"), *noData = at("nodata"),
                    *band = at("band"), *prj = at("prj");
  if (!format || !zoom || !noData || !band || !prj) return std::nullopt;
  TileSettings s;
  s.format = *format;
  s.zoom = *zoom;
  s.noData = *noData;
  s.band = std::atoi(band->c_str());
  s.prj = *prj == "true";
  if (const std::string* parameters = at("parameters")) s.parameters = *parameters;
  return s;
}
