#pragma once
// A quick-look picture of a grid file: GDAL's own hillshade blended over its colour relief of the
// heights, read through GDAL's GEODEM driver, no-data cells transparent, at most maxSide pixels on
// the long side. The colour ramp runs from the lowest to the highest height, which the PNG names
// in its text chunks (legend_min_m, legend_max_m) for a legend.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct GridHeader;
typedef void* GDALDatasetH;

class QuickLook {
 public:
  static constexpr int kLongSide = 1024;

  // lowest and highest: the grid's least and greatest heights in metres, none when unknown (they
  // are then taken from the picture's cells); noData: the value the user said stands for no
  // data, if any.
  QuickLook(const GridHeader& header, std::optional<double> lowest, std::optional<double> highest,
            std::optional<double> noData);

  // How a picture meets its side: never larger (a file of its own), or exactly (a page's
  // pictures, which small sheets would leave a thumbnail's size).
  enum class Fit { kAtMost, kExactly };

  // The PNG's bytes; false with error saying why. DriverReady must have been asked first.
  bool Render(const std::string& gridPath, int side, Fit fit, std::vector<unsigned char>& png,
              std::string& error) const;
  // Render, then the bytes to pngPath, which appears only complete.
  bool Write(const std::string& gridPath, const std::string& pngPath, std::string& error) const;

  // The picture's size for a grid of cols x rows.
  static void Size(int cols, int rows, int side, Fit fit, int& width, int& height);
  // Whether GDAL has the GEODEM driver, loading the plug-in built beside this program if not.
  // Registers GDAL's drivers: to be called before any thread renders.
  static bool DriverReady(std::string& error);

 private:
  static std::string ColourRamp(double low, double high);

  double m_zoom;
  bool m_degrees;
  std::optional<double> m_lowest, m_highest;  // metres
  bool Legend(GDALDatasetH small, double& low, double& high) const;
  std::optional<double> m_noData;
};
