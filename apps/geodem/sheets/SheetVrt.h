#pragma once
// One sheet's cut of the sources: a virtual raster (GDAL's VRT) of the sheet's window over the
// sources as they are, the same cells at the same places; cells of the window outside every
// source are no data (the sources' no-data value or mask, else an alpha band the cut adds).
#include <optional>
#include <string>

#include "apps/geodem/sheets/SheetGrid.h"
#include "rastersource/GdalDataset.h"

class SheetVrt {
 public:
  // The cut of `window`, in memory; none, with `error` set, when GDAL cannot make it.
  static std::optional<SheetVrt> Cut(const SheetGrid& grid, const SheetWindow& window,
                                     std::string& error);

  // Whether some cell within `part` (cells from the cut's corner) holds a height, by the rules
  // every conversion reads with; none, with `error` set, when the sources cannot be read.
  std::optional<bool> HoldsData(const SheetWindow& part, std::string& error) const;
  // The VRT's text, naming the sources by absolute paths.
  std::string Xml() const;

 private:
  SheetVrt(GdalDataset dataset, int band) : dataset_(std::move(dataset)), band_(band) {}
  static GdalDataset Build(const SheetGrid& grid, const SheetWindow& window, bool alpha);

  GdalDataset dataset_;
  int band_;
};
