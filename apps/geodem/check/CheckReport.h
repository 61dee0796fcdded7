#pragma once
// The findings of `geodem check` for people (a table per file and a summary line) and for
// scripts (one JSON array, an object per file).
#include <ostream>
#include <vector>

#include "apps/geodem/gridcheck/GridCheckResult.h"

namespace CheckReport {

void WriteText(const std::vector<GridCheckResult>& results, std::ostream& out);
void WriteJson(const std::vector<GridCheckResult>& results, std::ostream& out);
// The JSON object of one file, on one line.
std::string JsonOf(const GridCheckResult& result);

}  // namespace CheckReport
