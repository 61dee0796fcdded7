#pragma once
// The HTML page of a batch's journals: one row per tile the journals record, standing as the
// batch's report counts it (done; failed with the first error line of its conversion; outdated,
// made with other settings than the latest run asked for; pending), with the grid file's
// quick-look where it exists, and the tiles named by sheet numbers on the index map.
#include <string>
#include <vector>

#include "apps/geodem/batch/BatchJournal.h"
#include "apps/geodem/edgematch/EdgeSetResult.h"
#include "apps/geodem/report/ReportVerdict.h"

namespace JournalPage {

struct Tile {
  JournalRecord record;
  std::string status;  // "done", "failed", "outdated" or "pending"
  std::string note;    // for an outdated tile, how its settings differ
};

// Writes the page to path (atomically: a reader never sees half a page); false with error saying
// why. unnamed: the tiles of the plan that no journal names yet, which the summary counts;
// verdict: the report's, as its exit status says it; edges: the done tiles' edges, when matched.
bool Write(const std::vector<Tile>& tiles, long long unnamed, const ReportVerdict& verdict,
           const EdgeSetResult* edges, const std::string& path, std::string& error);

}  // namespace JournalPage
