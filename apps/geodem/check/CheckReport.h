#pragma once
// The findings of `geodem check` for people (a table per file and a summary line) and for
// scripts (one JSON array, an object per file).
#include <ostream>
#include <vector>

#include "apps/geodem/gridcheck/GridCheckResult.h"
#include "apps/geodem/report/ReportVerdict.h"

namespace CheckReport {

// How much the table says: kQuiet only the files with findings, and the summary line only when
// some file has one; kVerbose also each file's figures (cells, no data, heights, time).
enum class Detail { kQuiet, kNormal, kVerbose };
void WriteText(const std::vector<GridCheckResult>& results, Detail detail, std::ostream& out);
void WriteJson(const std::vector<GridCheckResult>& results, std::ostream& out);
// The files' counts as badges; the files with errors, counted, as what failed.
void AddTo(const std::vector<GridCheckResult>& results, ReportVerdict& verdict);
// The JSON object of one file, on one line.
std::string JsonOf(const GridCheckResult& result);

}  // namespace CheckReport
