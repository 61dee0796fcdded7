#pragma once
// Which value marks a no-data cell in the blocks of one source, band by band, and the rewriting
// of cells that makes the blocks agree with it. The writer knows one invalid value per band (the
// InvalidData block property) and compares cells with it after reading them as 32-bit floats, so:
//  - a Float32 band's no-data value is announced as the float it is stored as (-9999.9 is held as
//    -9999.900390625, which would never compare equal to the double -9999.9);
//  - in floating bands NaN never compares equal to anything, so NaN cells (and a NaN no-data
//    value) become a finite marker, GDAL's lowest 32-bit float when the band declares none;
//  - a mosaic has one invalid value per band for all its sources, and fills the cells that no
//    source covers with it: every source of a mosaic announces the first source's values, its own
//    no-data cells rewritten to them, and integer bands without one get the type's invalid value.
// An integer band without a no-data value outside a mosaic has none: the property is then left out.
#include <gdal.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "apps/geodem/SourceRaster.h"

class NoDataPolicy {
 public:
  NoDataPolicy(const SourceRaster& source, bool mosaic);

  // A mosaic's later source takes the invalid values of its first source.
  void AdoptValuesOf(const NoDataPolicy& reference);

  // The InvalidData property ("|"-separated, one value per band), or nothing when a band has none.
  std::optional<std::string> InvalidDataText() const;
  // Rewrites the cells of a band-sequential block of this source's data type in place.
  void Apply(void* pixels, std::size_t cellsPerBand) const;

 private:
  struct Band {
    std::optional<double> marker;   // what the writer is told
    std::optional<double> rewrite;  // cells holding this value get the marker
    bool rewriteNaN = false;
  };

  GDALDataType type_;
  std::vector<Band> bands_;
};
