#pragma once
// The tiles of a batch in their order, and the checks of the whole plan before anything runs:
// every manifest line readable, every name one the writer can hold, no two tiles writing one
// grid file (letter case included: a set is often delivered onto file systems that ignore it),
// no grid file (or a file the conversion makes beside it) that is a tile's source.
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/batch/BatchOptions.h"

struct BatchTile {
  std::size_t index = 0;  // in the plan's order, from 0
  std::string source;  // absolute, as are the others
  std::string output;  // the grid file
  std::string origin;  // where the plan says so: "FILE:N" or "SRC N"
};

class BatchPlan {
 public:
  // Builds and checks the plan; false with problems() listing every fault found.
  bool Build(const BatchOptions& options);

  const std::vector<BatchTile>& tiles() const { return tiles_; }
  const std::vector<std::string>& problems() const { return problems_; }
  // Where the journals go: the --out-dir, else the manifest's folder.
  const std::string& journalDir() const { return journalDir_; }

  // The grid file of `source` in the folder `folder`: <source name>.dem.
  static std::string OutputIn(const std::string& folder, const std::string& source);

 private:
  void AddTile(const std::string& source, const std::string& output, std::string origin);
  void CheckTiles(bool prj);

  std::vector<BatchTile> tiles_;
  std::vector<std::string> problems_;
  std::string journalDir_;
};
