#pragma once
// Reads the chosen band of a described source with its rules applied (see RasterSource): windows
// of heights in a type that holds them, no-data cells (the no-data value, NaN, infinity, masked
// and transparent cells) set to the caller's marker, scale, offset and feet applied.
#include <gdal.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "rastersource/GdalDataset.h"
#include "rastersource/RasterSource.h"

class SourceReader {
 public:
  // Opens the source again; nothing and an error text when GDAL cannot.
  static std::optional<SourceReader> Open(const RasterSource& source, std::string& error);
  // Reads from the dataset the source was described from, which the caller keeps open.
  static SourceReader Over(const RasterSource& source, GDALDatasetH dataset);

  const RasterSource& source() const { return *source_; }

  // Reads the window of `columns` x `rows` cells at (x, y) into `cells`, row by row, as values of
  // `type` (which must hold the source's cellType()); no-data cells get `marker`. False when GDAL
  // fails to read (it has reported why).
  bool Read(int x, int y, int columns, int rows, GDALDataType type, double marker,
            void* cells) const;

  // Whether ReadBlockRow serves this band in `type`: the band of a single-band GeoTIFF, stored in
  // that type, with no mask, scale, offset or signed bytes, whose row of blocks takes at most
  // `mostBytes`.
  bool ReadsBlockRows(GDALDataType type, std::size_t mostBytes) const;
  // The rows of block row `blockRow` across the band into `cells` (the band's width, as many rows
  // as the block row has), no-data cells given `marker`. Blocks are read straight into `scratch`,
  // past GDAL's block cache, whose memory a long read would otherwise take from the system block
  // after block; a block the cache holds is taken from there, as it may not be on disk yet. False
  // when GDAL fails to read (it has reported why).
  bool ReadBlockRow(int blockRow, GDALDataType type, double marker,
                    std::vector<unsigned char>& scratch, void* cells) const;

  // After a read: the first cell of what it read (counted row by row from 0) whose height is the
  // marker itself (a Float32 source's -3.4028235e+38 where no-data cells get that marker), which
  // the marker would silently turn into no data; nothing when no cell is. Such a height fits no
  // zoom, and is refused like any other that does not.
  std::optional<std::size_t> MarkerHeldAt() const { return heldMarker_; }

  struct HeightRange {
    bool any = false;  // some cell holds a height
    double lowest = 0;
    double highest = 0;

    // The range of `n` cells of `type` as Read gives them: cells equal to the marker, and
    // non-finite ones, are no heights.
    static HeightRange Of(const void* cells, std::size_t n, GDALDataType type,
                          const std::optional<double>& marker);
    void Add(const HeightRange& other);
  };

 private:
  SourceReader(const RasterSource& source, GDALDatasetH dataset);
  // Zero where a cell is masked, for the window; empty without a mask.
  bool ReadMask(int x, int y, int columns, int rows, std::vector<unsigned char>& mask) const;

  void NoteHeldMarker(std::size_t first, std::size_t n) const;

  const RasterSource* source_;
  GdalDataset owned_;  // empty when the caller holds the dataset
  GDALRasterBandH band_ = nullptr;
  GDALRasterBandH mask_ = nullptr;
  mutable std::optional<std::size_t> heldMarker_;
};
