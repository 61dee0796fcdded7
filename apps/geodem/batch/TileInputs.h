#pragma once
// What a tile's grid file was made from besides its settings: every file GDAL reads for each
// source (the source, and what GDAL lists beside it: .aux.xml, .prj, .tfw, .msk, .ovr), each as
// it stands on disk (size, modification and status-change times to the nanosecond, inode), the
// text of a VRT source (a sheet's cut: its window, its buffer) with the files it reads in turn,
// and the contents of the job's mapping file. A grid file made from other inputs is not the one
// a run asks for, even with the same settings. Only a VRT and the mapping file are read (both
// small); rasters are opened for their list of files, once a run each.
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/batch/FolderMove.h"

class TileInputs {
 public:
  // The inputs of a conversion of `source` with the mapping file `mapping`, as they stand now.
  static TileInputs Of(const std::string& source, const std::optional<std::string>& mapping);

  // As the journal keeps them, and back.
  std::string Text() const;
  static TileInputs FromText(const std::string& text);

  // `text` (as Text gives it) with each path as the move names it (a moved set).
  static std::string Relocated(const std::string& text, const FolderMove& move);

  bool empty() const { return entries_.empty(); }
  // The mapping file they name, if any.
  std::optional<std::string> mapping() const;

  // What differs in these from `before`, e.g. "source /d/geo.tif changed (size, time)"; empty
  // when nothing does.
  std::string ChangesSince(const TileInputs& before) const;

 private:
  struct Entry {
    std::string kind;  // "source" (size and time), "cut" (a VRT's text), "mapping" (contents)
    std::string path;
    std::string size;   // bytes, or "-" when the file is not there
    std::string state;  // the time for a source, a hash of the text for a cut or mapping file
  };

  void AddSource(const std::string& path, int depth);
  void AddVrt(const std::string& path, int depth);
  void AddText(const char* kind, const std::string& path);
  // Adds `e` unless an entry of its kind and path is there.
  void Add(Entry e);
  const Entry* Find(const Entry& like) const;

  std::vector<Entry> entries_;
  std::map<std::string, std::size_t> index_;  // by kind and path: a mosaic names thousands
};
