#include "gridfile/GridHeader.h"

#include "gridfile/AsciiText.h"

const std::string* GridHeader::Value(std::string_view key) const {
  for (auto it = entries.rbegin(); it != entries.rend(); ++it) {
    if (ascii_text::EqualsNoCase(it->first, key)) return &it->second;
  }
  return nullptr;
}

void GridHeader::GeoTransform(double transform[6]) const {
  transform[0] = x0;
  transform[1] = dx;
  transform[2] = 0;
  transform[3] = y0;
  transform[4] = 0;
  transform[5] = -dy;
}
