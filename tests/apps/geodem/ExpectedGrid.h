#pragma once
// The CNSDTF-DEM grid file that a conversion must give, worked out here from the source's cells
// and the job's parameters alone, line for line as the format defines it.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

struct ExpectedGrid {
  std::string version = "GEODEM";  // GRD_2007, GRD_1999, anything else: positional
  long zoom = 100;
  double noDataOut = -99999;
  char unit = 'M';
  double x0 = 0, y0 = 0, dx = 1, dy = 1;
  int rows = 0, cols = 0;
  std::vector<double> cells;           // band 1, row by row
  std::optional<double> sourceNoData;  // the source's no-data value as its cells hold it
  bool wide = false;  // the cells travel as Float64 (scaled, feet, wide types): read in double

  std::string Text() const {
    std::string t;
    auto line = [&t](const std::string& s) { t += s + "\r\n"; };
    const char* coordinate = unit == 'D' ? "%.10lf" : "%lf";
    auto number = [&](const char* key, double v) {
      char buf[96];
      std::snprintf(buf, sizeof buf, coordinate, v);
      return std::string(key) + buf;
    };
    auto upper = [](std::string s) {
      for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      return s;
    };
    const std::string unitText(1, unit);
    if (upper(version) == "GRD_2007" || upper(version) == "GRD_1999") {
      bool y2007 = upper(version) == "GRD_2007";
      line("DataMark: CNSDTF-DEM");
      line(y2007 ? "Version: GB/T17798-2007" : "Version: 1.0");
      if (!y2007) line("Unit: " + unitText);
      line("Alpha: 0.000000");
      line("Compress: 0");
      line(number("X0: ", x0));
      line(number("Y0: ", y0));
      line(number("DX: ", dx));
      line(number("DY: ", dy));
      line("Row: " + std::to_string(rows));
      line("Col: " + std::to_string(cols));
      line("ValueType: Integer");
      line("Hzoom: " + std::to_string(zoom));
      if (y2007) {
        line("XYUnit: " + unitText);
        line("ZUnit: M");
      }
    } else {
      line("NSDTF-DEM");
      line("1.0");
      line(unitText);
      line("0.0");
      line("0.0");
      line(number("", x0));
      line(number("", y0));
      line(number("", dx));
      line(number("", dy));
      line(std::to_string(rows));
      line(std::to_string(cols));
      line(std::to_string(zoom));
    }
    line("");
    const int perLine = cols < 10 ? cols : 10;
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < cols; ++c) {
        t += "   " + std::to_string(Encode(cells[static_cast<std::size_t>(r) * cols + c])) + " ";
        if ((c + 1) % perLine == 0) t += "\r\n";
      }
      t += "\r\n";
    }
    return t;
  }

  // A cell as the grid holds it: read as a 32-bit float (a double when wide), no-data or the
  // nearest integer of zoom times the value, halves away from zero.
  long Encode(double cell) const {
    const double v = wide ? cell : static_cast<float>(cell);
    if (sourceNoData && std::fabs(v - *sourceNoData) < 1e-8) return static_cast<long>(noDataOut);
    const double scaled = static_cast<double>(zoom) * v;
    if (v > 0) return static_cast<long>(scaled + 0.5);
    if (v < 0) return static_cast<long>(scaled - 0.5);
    return 0;
  }
};
