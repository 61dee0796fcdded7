#pragma once
// The HTML report's template, report.html of this folder, built into the program: a page must
// come out whole wherever geodem runs, installed or not. "@REPORT_DATA@" marks where the data go.
namespace ReportTemplate {
extern const char* const kText;
}
