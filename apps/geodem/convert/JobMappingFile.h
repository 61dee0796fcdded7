#pragma once
// The mapping file geodem writes for a job when the user brings none: the writer parameters from
// the command line and the directive that turns the writer's log on, in a temporary file that
// lives as long as this object.
//
//   <HVX_MappingFile>
//     <WRITER_TYPE>GEODEM</WRITER_TYPE>
//     <WRITER_DIRECTIVE><KeyValuePair><Key>LOG_OUTPUT</Key><Value>YES</Value></KeyValuePair>...
//     <WRITER_PARAMETER><KeyValuePair><Key>OVERWRITE</Key><Value>NO</Value></KeyValuePair>...
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "apps/geodem/convert/ConvertOptions.h"

using KeyValueList = std::vector<std::pair<std::string, std::string>>;

class JobMappingFile {
 public:
  // OVERWRITE, RASTER_NODATA, DEM_ZOOM and VERSION (defaults where not given), then every -p pair
  // in order, so that a -p pair for another key reaches the writer as typed.
  static KeyValueList WriterParameters(const ConvertOptions& options);
  // The document, UTF-8, with every text escaped.
  static std::string Render(const KeyValueList& writerParameters);

  // Writes the document into a new file in the temporary folder, after removing the folders of
  // runs that are gone; null and an error text when that fails.
  static std::unique_ptr<JobMappingFile> Create(const std::string& xml, std::string& error);
  // $TMPDIR when it has a GBK form (the writer takes GBK paths), else /tmp.
  static std::string TemporaryFolder();
  ~JobMappingFile();
  JobMappingFile(const JobMappingFile&) = delete;
  JobMappingFile& operator=(const JobMappingFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  explicit JobMappingFile(std::string folder);

  std::string folder_;
  std::string path_;
};
