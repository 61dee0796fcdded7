#pragma once
// What `geodem convert` was asked to do, as the command line gave it. Paths are UTF-8 as typed.
#include <optional>
#include <string>
#include <utility>
#include <vector>

struct ConvertOptions {
  static constexpr const char* kDefaultZoom = "100";
  static constexpr const char* kDefaultNoData = "-99999";

  std::vector<std::string> sources;
  std::string destination;

  // Writer parameters. Each is empty when the option was not given, so that a default never
  // overrides a user's own mapping file.
  std::optional<std::string> formatVersion;                     // VERSION, verbatim
  std::optional<std::string> zoom;                              // DEM_ZOOM
  std::optional<std::string> noData;                            // RASTER_NODATA, as typed
  bool overwrite = false;                                       // OVERWRITE=YES
  std::vector<std::pair<std::string, std::string>> parameters;  // -p KEY=VALUE, in order

  int band = 1;  // the band of every source that holds the heights
  bool separate = false;
  std::optional<std::string> mappingFile;
  int blockSize = 512;
  int overlap = 0;
  bool quiet = false;
  bool verbose = false;       // also the writer's status codes, for a report to its developers
  bool noSpaceCheck = false;  // write without first comparing the space needed with the space free
  bool prj = false;  // also DST.prj beside each grid file, the source's coordinate system
  // --a_srs: the coordinate system the sources are in, whatever they say (as WKT); empty: theirs.
  std::string assignedWkt;
};
