#include "apps/geodem/SourceRaster.h"

namespace {

GDALDataType BlockType(GDALDataType bandType) {
  switch (bandType) {
    case GDT_Int64:
    case GDT_UInt64:
      return GDT_Float64;
    default:
      return bandType;
  }
}

// The grid holds a north-up raster described by its corner and two cell sizes; anything else
// would come out mirrored or skewed.
std::string CheckGeoTransform(const std::array<double, 6>& gt) {
  if (gt[2] != 0 || gt[4] != 0)
    return "is rotated or sheared; warp it to a north-up raster first (gdalwarp)";
  if (!(gt[1] > 0) || !(gt[5] < 0))
    return "is not north-up (its rows do not run from north to south); warp it first (gdalwarp)";
  return {};
}

}  // namespace

std::optional<SourceRaster> SourceRaster::Describe(const std::string& path, std::string& error) {
  GdalDataset ds = GdalDataset::OpenRaster(path.c_str());
  if (!ds) {
    error = "cannot open source " + path + " as a raster";
    return std::nullopt;
  }
  SourceRaster s;
  s.path_ = path;
  s.width_ = GDALGetRasterXSize(ds.Get());
  s.height_ = GDALGetRasterYSize(ds.Get());
  s.bands_ = GDALGetRasterCount(ds.Get());
  if (s.bands_ <= 0 || s.width_ <= 0 || s.height_ <= 0) {
    error = "source " + path + " has no raster bands";
    return std::nullopt;
  }
  GDALRasterBandH first = GDALGetRasterBand(ds.Get(), 1);
  GDALDataType bandType = GDALGetRasterDataType(first);
  if (GDALDataTypeIsComplex(bandType)) {
    error = std::string("source ") + path + " holds complex values (" +
            GDALGetDataTypeName(bandType) + "), not elevations";
    return std::nullopt;
  }
  s.dataType_ = BlockType(bandType);
  if (GDALGetGeoTransform(ds.Get(), s.geoTransform_.data()) != CE_None) {
    error = "source " + path +
            " has no georeferencing (geotransform): a DEM grid needs its "
            "corner and cell size";
    return std::nullopt;
  }
  if (std::string problem = CheckGeoTransform(s.geoTransform_); !problem.empty()) {
    error = "source " + path + " " + problem;
    return std::nullopt;
  }
  if (const char* wkt = GDALGetProjectionRef(ds.Get())) s.wkt_ = wkt;
  for (int b = 1; b <= s.bands_; ++b) {
    int has = 0;
    double value = GDALGetRasterNoDataValue(GDALGetRasterBand(ds.Get(), b), &has);
    s.bandNoData_.push_back(has ? std::optional<double>(value) : std::nullopt);
  }
  return s;
}
