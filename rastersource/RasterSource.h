#pragma once
// One band of a source raster, described by the rules every way into the product shares (the
// geodem command, its batch runs and the GDAL driver):
//  - the band chosen (1 by default) must exist and hold real numbers; the raster must have a
//    geotransform and be north-up (no rotation, rows from north to south);
//  - its coordinates are in a unit the grid can state (CoordinateUnits): coordinates in another
//    linear unit are noted as converted to metres, a raster without a coordinate system is warned
//    about (taken as metres, unless it is a grid file whose header says degrees: then degrees,
//    as the driver's CNSDTF_XYUNIT names them), one without plane coordinates (geocentric, grads)
//    is refused; a coordinate system the user assigns (--a_srs) stands for the raster's own;
//  - its no-data value counts as the band stores it (a Float32 band's -9999.9 is -9999.900390625;
//    a value no cell of the band can hold marks nothing); NaN and infinite cells are no data too;
//  - cells that GDAL's mask band marks (an alpha band, an internal or per-dataset mask) are no
//    data, and so are cells that an alpha band of the raster marks transparent;
//  - heights are raw x scale + offset, in metres: times 0.3048 (or 1200/3937 for US survey feet)
//    when the band's unit is feet, 0.001, 0.01, 0.1 or 1000 for mm, cm, dm or km;
//  - signed bytes (a Byte band with PIXELTYPE=SIGNEDBYTE) are read as -128..127.
// cellType() is the GDAL type that holds every height of the band exactly: the band's own type for
// Byte, Int16, UInt16, Int32, UInt32, Float32 and Float64 without scale or unit conversion (so
// outputs made from them stay as they always were), Int16 for signed bytes, Float64 for 64-bit
// integers and for scaled or converted bands.
//
// Describing a path opens the raster briefly; SourceReader opens it again to read, so that a job
// of many sources never holds them all open. Paths are UTF-8 as given.
#include <gdal.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

class RasterSource {
 public:
  // A line a host shows its user about the source (it says which host option or key applies).
  struct Note {
    bool warning = false;
    std::string text;
  };

  // Describes band `band` (counted from 1) of the raster at `path`; nothing and an error text that
  // names the path when it is missing, not a raster, or not one a DEM grid can come from.
  // assignedWkt, when not empty, is the coordinate system the raster is taken to be in, whatever
  // it says itself (gdal_translate -a_srs).
  static std::optional<RasterSource> Describe(const std::string& path, int band,
                                              std::string& error,
                                              const std::string& assignedWkt = {});
  // The same for a dataset the caller holds open (a GDAL driver's CreateCopy source, which may
  // have no file at all); path() is then its description.
  static std::optional<RasterSource> Describe(GDALDatasetH dataset, int band, std::string& error,
                                              const std::string& assignedWkt = {});

  // Why a geotransform cannot be a grid's ("is rotated or sheared; ..."), empty when it can.
  static std::string GeoTransformProblem(const std::array<double, 6>& transform);

  const std::string& path() const { return path_; }
  int width() const { return width_; }
  int height() const { return height_; }
  double cells() const { return static_cast<double>(width_) * height_; }
  int bandCount() const { return bandCount_; }
  int band() const { return band_; }

  GDALDataType cellType() const { return cellType_; }
  // The no-data value as the band's cells hold it (before scale); nothing when the band has none
  // that a cell could hold.
  const std::optional<double>& noData() const { return noData_; }
  // Heights are raw x heightScale() + heightOffset(), in metres (unit and band scale combined).
  double heightScale() const { return heightScale_; }
  double heightOffset() const { return heightOffset_; }
  bool transformsValues() const { return heightScale_ != 1 || heightOffset_ != 0; }
  // Some cells may be no data beyond the no-data value: a mask or alpha band, or NaN cells.
  bool mayHoldMaskedCells() const;
  // The lowest and highest height a cell of the band can hold, in metres (from its type alone).
  double lowestPossible() const;
  double highestPossible() const;

  // Upper-left corner, pixel width, signed pixel height (negative: north-up).
  double originX() const { return geoTransform_[0]; }
  double originY() const { return geoTransform_[3]; }
  double pixelWidth() const { return geoTransform_[1]; }
  double pixelHeight() const { return geoTransform_[5]; }
  const std::string& wkt() const { return wkt_; }
  // What the writer is told of the coordinates: wkt(), or for a grid file in degrees without a
  // coordinate system a geographic system that only says "degrees" (never written as a .prj).
  std::string writerWkt() const;
  // Every file GDAL reads for the raster (a VRT names its sources too).
  const std::vector<std::string>& files() const { return files_; }
  // Unit conversions and bands left out, worth a line to the user.
  const std::vector<Note>& notes() const { return notes_; }

  // The unit in which GDAL decodes a band that a read touches: the chosen band's, and its mask's
  // when the mask is a band of its own.
  struct BlockShape {
    int columns = 0;
    int rows = 0;
    int cellBytes = 0;
  };
  const std::vector<BlockShape>& blockShapes() const { return blockShapes_; }

 private:
  friend class SourceReader;
  // Notes on the units of the coordinates; a reason when a grid cannot state them.
  std::string DescribeCoordinates();
  bool LooksLikeDegrees() const;
  void DescribeValues(GDALRasterBandH band);
  void DescribeMask(GDALDatasetH dataset, GDALRasterBandH band);
  void DescribeBlocks(GDALDatasetH dataset, GDALRasterBandH band);
  double RawLowest() const;
  double RawHighest() const;

  std::string path_;
  int width_ = 0;
  int height_ = 0;
  int bandCount_ = 0;
  int band_ = 1;
  GDALDataType bandType_ = GDT_Unknown;  // as GDAL reads it
  bool signedBytes_ = false;
  GDALDataType cellType_ = GDT_Unknown;
  std::optional<double> noData_;
  double heightScale_ = 1;
  double heightOffset_ = 0;
  // The band whose zero cells are no data: -1 for GDAL's mask band of the chosen band, an alpha
  // band's index, or 0 for none.
  int maskBand_ = 0;
  std::array<double, 6> geoTransform_{};
  std::string wkt_;
  char gridUnit_ = '\0';  // 'D' for a grid file in degrees without a coordinate system
  std::vector<std::string> files_;
  std::vector<Note> notes_;
  std::vector<BlockShape> blockShapes_;
};
