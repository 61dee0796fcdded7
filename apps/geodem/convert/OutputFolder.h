#pragma once
// Where a grid file is to go, asked of the operating system after the writer failed on it, so that
// a folder that cannot take it is reported with the system's reason: the nearest folder of the
// output that exists must be a folder in which this process can create what the writer creates
// there (its files, or the folders still missing on the way).
#include <optional>
#include <string>

#include "host/FileFailure.h"

class OutputFolder {
 public:
  // The nearest folder of `output` that exists ("." for a bare name), or the path and errno that
  // stop the search (a file where a folder must be, a folder that may not be searched).
  static std::optional<std::string> NearestExisting(const std::string& output,
                                                    FileFailure& failure);
  // Why nothing can be created on the way to `output`, or none when it can. Creates and removes
  // one probe entry in the nearest existing folder: only creating tells what the system allows
  // (access() answers yes to root on a read-only pseudo file system such as /proc).
  static std::optional<FileFailure> Check(const std::string& output);
};
