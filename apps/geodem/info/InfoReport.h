#pragma once
// The text `geodem info` prints about a grid file: for people, a column of labelled lines; for
// scripts, one JSON object. Header texts are GBK, as every narrow text of the format, and come out
// in UTF-8. Heights are given as stored and in metres (stored / Hzoom).
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "apps/geodem/gridcheck/GridSummary.h"
#include "gridfile/GridHeader.h"

class InfoReport {
 public:
  // summary: null when the data section could not be read (then only the header is described).
  InfoReport(const std::string& path, const GridHeader& header, const GridSummary* summary)
      : m_path(path), m_header(header), m_summary(summary) {}

  void WriteText(std::ostream& out) const;
  void WriteJson(std::ostream& out) const;

 private:
  struct Extent {
    double xMin, yMin, xMax, yMax;
  };
  Extent GridExtent() const;
  // A coordinate with the decimals the file writes it with: ten in degrees, else six.
  std::string Coordinate(double value) const;
  // A stored height in metres, or empty when Hzoom is 0.
  std::string Metres(std::int32_t stored) const;
  // The stored values of the lowest and the highest height (requires a summary).
  std::pair<std::optional<std::int32_t>, std::optional<std::int32_t>> Heights() const;
  std::string LayoutText() const;
  std::string UnitText() const;

  const std::string& m_path;
  const GridHeader& m_header;
  const GridSummary* m_summary;
};
