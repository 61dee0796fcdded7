#pragma once
// What a tile's grid file holds besides its source's heights: the header layout, the zoom, the
// no-data value and the band. A grid file made with other settings than a run asks for is not
// that run's result, even though it exists. The journal keeps them with every record.
#include <map>
#include <optional>
#include <string>

#include "apps/geodem/convert/ConvertOptions.h"

struct TileSettings {
  // Each as the writer takes it: an option, else a -p pair, else "in FILE" (--mapping sets it),
  // else the writer's default.
  std::string format;
  std::string zoom;
  std::string noData;
  int band = 1;
  bool prj = false;  // a .prj belongs beside the grid file
  // Every other writer parameter (-p) that reaches the writer, one KEY=VALUE a line by key, the
  // last given of a key winning: any of them may change what the grid holds.
  std::string parameters;

  static TileSettings Of(const ConvertOptions& options);

  // Whether grid files made with `other` hold what these settings would write (.prj aside).
  bool SameGrid(const TileSettings& other) const;
  // Where `other` differs, in the options' words: "--zoom 100 (now 10)".
  std::string Differences(const TileSettings& other) const;

  // As members of a journal line: ,"format":"...","zoom":"...","nodata":"...","band":1,"prj":false
  // and ,"parameters":"..." when there are any
  std::string JsonMembers() const;
  // From a journal line's members; none when the line holds no settings (older journals).
  static std::optional<TileSettings> FromMembers(const std::map<std::string, std::string>& m);
};
