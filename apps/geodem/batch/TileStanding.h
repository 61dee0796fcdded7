#pragma once
// Where a tile of a set stands: its latest journal record (of any journal of the output folder)
// and its files on disk together. A grid file that exists is not enough: a later record of a
// failed, interrupted or unfinished conversion, one made with other settings or from other
// inputs, or a file whose size is not the one recorded, says it is not this set's result. The
// files are only looked at, never read: resuming a set of thousands stays quick.
#include <optional>
#include <string>

#include "apps/geodem/batch/BatchJournal.h"
#include "apps/geodem/batch/TileInputs.h"
#include "apps/geodem/batch/TileSettings.h"

class TileStanding {
 public:
  enum Kind {
    kDone,         // recorded done, its files there, made with the settings asked for
    kFound,        // its files there without a record: taken as done
    kFailed,       // its latest conversion failed
    kInterrupted,  // its latest conversion was stopped with its batch, or never ended
    kOutdated,     // done, but with other settings than `wanted`
    kChanged,      // done, but its inputs or its files are no longer what was recorded
    kMissing,      // never made, or its files are gone
  };

  // `wanted`: the settings a run asks for; none takes any grid file. `inputs`: the tile's inputs
  // as they stand now; none does not compare them. `why` gets what changed, for kChanged.
  static Kind Of(const JournalRecord* latest, const std::string& output,
                 const std::optional<TileSettings>& wanted, const TileInputs* inputs = nullptr,
                 std::string* why = nullptr);

  // The size of the file at path, -1 when it is no regular file.
  static long long FileSize(const std::string& path);
};
