#pragma once
// A manifest names the tiles of a batch, one conversion a line:
//   SRC            the grid file goes to the batch's --out-dir as <source name>.dem
//   SRC<TAB>DST    the grid file DST (a DST ending in '/' is a folder: DST<source name>.dem)
// Blank lines and lines whose first non-blank character is '#' are skipped; a byte order mark and
// a CR before the line break are dropped (files saved on Windows). Tabs separate the fields and
// nothing else: a path is its whole field, and one that begins or ends with a blank is refused.
// Relative paths are taken against the manifest's folder, so a manifest and its tiles can move
// together. Paths are UTF-8.
#include <optional>
#include <string>
#include <vector>

struct ManifestLine {
  int number = 0;  // from 1
  std::string source;
  std::optional<std::string> destination;
};

class BatchManifest {
 public:
  // Reads every line; each line that cannot be used adds "FILE:N: why" to `problems` (all of
  // them, so that one pass over the manifest shows every fault). False when any was found.
  static bool Read(const std::string& path, std::vector<ManifestLine>& lines,
                   std::vector<std::string>& problems);

  // The line's text as a tile, or an error text (without the line's position).
  static std::optional<ManifestLine> ParseLine(const std::string& text, std::string& error);
};
