#pragma once
// `geodem info FILE.dem`: reads a grid file's header and streams its data section once, row by
// row (memory stays flat whatever the file size), and prints what InfoReport describes. Exit
// status: 0 when the whole file was read, 1 when it cannot be opened, its header is refused or its
// data section is damaged (the text report still shows the header; --json prints nothing then).
#include <ostream>

#include "apps/geodem/Console.h"
#include "apps/geodem/info/InfoOptions.h"

class CnsdtfGridReader;
class GridSummary;
struct GridHeader;

class InfoCommand {
 public:
  InfoCommand(const InfoOptions& options, std::ostream& out, Console& console)
      : options_(options), out_(out), console_(console) {}

  int Run();

 private:
  std::int64_t NoDataValue(const CnsdtfGridReader& reader) const;
  int WriteQuickLook(const GridHeader& header, const GridSummary& summary);

  const InfoOptions& options_;
  std::ostream& out_;
  Console& console_;
};
