#pragma once
// Where a tile of a set stands: its latest journal record (of any journal of the output folder)
// and its files on disk together. A grid file that exists is not enough: a later record of a
// failed or interrupted conversion, or one made with other settings, says it is not this set's
// result. The files are only looked at, never read: resuming a set of thousands stays quick.
#include <optional>
#include <string>

#include "apps/geodem/batch/BatchJournal.h"
#include "apps/geodem/batch/TileSettings.h"

class TileStanding {
 public:
  enum Kind {
    kDone,         // recorded done, its files there, made with the settings asked for
    kFound,        // its files there without a record: taken as done
    kFailed,       // its latest conversion failed
    kInterrupted,  // its latest conversion was stopped with its batch
    kOutdated,     // done, but with other settings than `wanted`
    kMissing,      // never made, or its files are gone
  };

  // `wanted`: the settings a run asks for; none takes any grid file.
  static Kind Of(const JournalRecord* latest, const std::string& output,
                 const std::optional<TileSettings>& wanted);

  // The grid file is there, and with `prj` its .prj.
  static bool FilesThere(const std::string& output, bool prj);
};
