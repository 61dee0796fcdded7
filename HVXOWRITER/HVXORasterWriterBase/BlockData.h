#pragma once
// The two arrays of one raster block, taken over from the host and freed with this object: the
// payload (doubles: a 20-value header, then the pixel bytes from byte 160) and the descriptor
// (32-bit integers: element 1 the marker 33, element 2 the GDAL data type of the pixels).
//
// Every accessor stays inside the arrays whatever the host sent: the pixels are only handed out
// together with their length, and header values of a payload too short to hold the header are
// not there.
#include <cstddef>
#include <cstdint>

#include "host/IRasterBlock.h"
#include "host/Variant.h"

class BlockData {
 public:
  explicit BlockData(IRasterBlock* block);
  ~BlockData();
  BlockData(const BlockData&) = delete;
  BlockData& operator=(const BlockData&) = delete;

  // The payload is an array of doubles, the descriptor an array of at least three 32-bit integers
  // whose element 1 is the marker, and neither is empty.
  bool IsWellFormed() const;
  // The accessors below require IsWellFormed.
  std::int32_t DataType() const;  // descriptor element 2
  // The payload holds the whole header.
  bool HasHeader() const;
  // Header element i (0-19); requires HasHeader as well.
  double Header(std::size_t i) const;
  // The bytes after the header (none when there is no full header).
  unsigned char* Pixels() const;
  std::size_t PixelBytes() const;

 private:
  VARIANT payload_;
  VARIANT descriptor_;
};
