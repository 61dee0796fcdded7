#include "apps/geodem/report/ReportTemplate.h"

// The text comes from report.html through a file the build generates. It is included here, not
// compiled on its own, so that no object names a file of the build tree (an installed program must
// not refer to the tree it was built in, and sanitizers record each object's file name).
const char* const ReportTemplate::kText =
#include "ReportTemplateText.inc"
    ;
