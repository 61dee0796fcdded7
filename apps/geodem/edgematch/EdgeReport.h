#pragma once
// What edge matching found, for people (a section after the files' table: the edges that fail,
// holes, lone and repeated sheets, a summary line) and for scripts (JSON: a summary object and
// an object per edge).
#include <ostream>
#include <string>
#include <vector>

#include "apps/geodem/edgematch/EdgeSetResult.h"
#include "apps/geodem/report/ReportVerdict.h"

namespace EdgeReport {

void WriteText(const EdgeSetResult& set, std::ostream& out);
// The edges' count as a badge; failing edges, holes, lone and repeated sheets, counted, as what
// failed.
void AddTo(const EdgeSetResult& set, ReportVerdict& verdict);
// {"checked":..,"failed":..,"tolerance":..,"holes":[..],"alone":[..],"duplicates":[[..]]}
std::string SummaryJson(const EdgeSetResult& set);
// One object per edge, on one line.
std::string EdgeJson(const EdgeSetResult& set, const SheetEdge& edge);
// {"files":[<fileObjects>],"edge_set":<SummaryJson>,"edges":[<EdgeJson>...]}, an object a line.
void WriteJson(const std::vector<std::string>& fileObjects, const EdgeSetResult& set,
               std::ostream& out);
// The side's word in JSON: "east" or "south".
const char* SideName(SheetEdge::Side side);

}  // namespace EdgeReport
