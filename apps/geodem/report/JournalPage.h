#pragma once
// The HTML page of a batch's journals: one row per tile the journals record (done, failed with
// the first error line of its conversion, or pending after an interrupted run), with the grid
// file's quick-look where it exists, and the tiles named by sheet numbers on the index map.
#include <string>
#include <vector>

#include "apps/geodem/batch/BatchJournal.h"

namespace JournalPage {

// Writes the page to path (atomically: a reader never sees half a page); false with error saying
// why. unnamed: the tiles of the plan that no journal names yet, which the summary counts.
bool Write(const std::vector<JournalRecord>& records, long long unnamed, const std::string& path,
           std::string& error);

}  // namespace JournalPage
