#include "rastersource/RasterSource.h"

#include <cpl_string.h>

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "gridfile/GridHeader.h"
#include "host/CoordinateUnits.h"
#include "messages/MessageText.h"
#include "rastersource/CellType.h"
#include "rastersource/GdalDataset.h"
#include "rastersource/SourceOpenError.h"

namespace {

}  // namespace

// The grid holds a north-up raster described by its corner and two cell sizes; anything else
// would come out mirrored or skewed.
std::string RasterSource::GeoTransformProblem(const std::array<double, 6>& gt) {
  if (gt[2] != 0 || gt[4] != 0)
    return MessageText::Tr("is rotated or sheared; warp it to a north-up raster first (gdalwarp)");
  if (!(gt[1] > 0) || !(gt[5] < 0))
    return MessageText::Tr("is not north-up (its rows do not run from north to south); warp it "
                           "first (gdalwarp)");
  return {};
}

namespace {

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  text.erase(0, text.find_first_not_of(" \t"));
  text.erase(text.find_last_not_of(" \t") + 1);
  return text;
}

// Metres per unit of a band's unit text as GDAL drivers and tools write it; nothing for a unit
// that is not a known length.
std::optional<double> MetresPerUnit(const std::string& unit) {
  const std::string u = Lower(unit);
  for (const char* metre : {"", "m", "metre", "meter", "metres", "meters"})
    if (u == metre) return 1.0;
  // The metric multiples, each in its short form and GDAL's usual long spellings.
  static const struct {
    const char* prefix;
    const char* symbol;
    double metres;
  } kMetric[] = {
      {"milli", "mm", 0.001}, {"centi", "cm", 0.01}, {"deci", "dm", 0.1}, {"kilo", "km", 1000}};
  for (const auto& m : kMetric) {
    if (u == m.symbol) return m.metres;
    for (const char* name : {"metre", "meter", "metres", "meters"})
      if (u == std::string(m.prefix) + name) return m.metres;
  }
  for (const char* foot : {"ft", "foot", "feet", "international foot", "international feet"})
    if (u == foot) return 0.3048;
  for (const char* usFoot : {"us-ft", "ftus", "us survey foot", "us survey feet", "us_survey_foot",
                             "foot_us", "foot us", "us foot", "us feet"})
    if (u == usFoot) return 1200.0 / 3937.0;
  return std::nullopt;
}

std::string Number(double value) {
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.10g", value);
  return buf;
}

// The band's no-data value as GDAL reports it, 64-bit integers included.
std::optional<double> DeclaredNoData(GDALRasterBandH band, GDALDataType type) {
  int has = 0;
  double value = 0;
  if (type == GDT_Int64) {
    value = static_cast<double>(GDALGetRasterNoDataValueAsInt64(band, &has));
  } else if (type == GDT_UInt64) {
    value = static_cast<double>(GDALGetRasterNoDataValueAsUInt64(band, &has));
  } else {
    value = GDALGetRasterNoDataValue(band, &has);
  }
  return has ? std::optional<double>(value) : std::nullopt;
}

}  // namespace

std::optional<RasterSource> RasterSource::Describe(const std::string& path, int band,
                                                   std::string& error,
                                                   const std::string& assignedWkt) {
  GdalDataset ds(SourceOpenError::Open(path, error));
  if (!ds) return std::nullopt;
  std::optional<RasterSource> s = Describe(ds.Get(), band, error, assignedWkt);
  if (s) s->path_ = path;
  return s;
}

std::optional<RasterSource> RasterSource::Describe(GDALDatasetH ds, int band, std::string& error,
                                                   const std::string& assignedWkt) {
  const char* description = ds ? GDALGetDescription(ds) : nullptr;
  const std::string path = description ? description : "";
  if (!ds) {
    error = MessageText::Tr("no source dataset");
    return std::nullopt;
  }
  RasterSource s;
  s.path_ = path;
  s.band_ = band;
  s.width_ = GDALGetRasterXSize(ds);
  s.height_ = GDALGetRasterYSize(ds);
  s.bandCount_ = GDALGetRasterCount(ds);
  if (s.bandCount_ <= 0 || s.width_ <= 0 || s.height_ <= 0) {
    error = SourceOpenError::NoBands(ds, path);
    return std::nullopt;
  }
  if (band < 1 || band > s.bandCount_) {
    error =
        MessageText::Tr("source %s has no band %d (it has %d)", path.c_str(), band, s.bandCount_);
    return std::nullopt;
  }
  GDALRasterBandH h = GDALGetRasterBand(ds, band);
  s.bandType_ = GDALGetRasterDataType(h);
  if (GDALDataTypeIsComplex(s.bandType_) || GDALGetDataTypeSizeBytes(s.bandType_) <= 0) {
    error = MessageText::Tr("source %s band %d holds %s values, not elevations", path.c_str(), band,
                            GDALGetDataTypeName(s.bandType_));
    return std::nullopt;
  }
  if (GDALGetGeoTransform(ds, s.geoTransform_.data()) != CE_None) {
    error = MessageText::Tr(
        "source %s has no georeferencing (geotransform): a DEM grid needs its "
        "corner and cell size",
        path.c_str());
    return std::nullopt;
  }
  if (std::string problem = GeoTransformProblem(s.geoTransform_); !problem.empty()) {
    // "source <path> is rotated ...": the problem reads as the rest of the sentence.
    error = MessageText::Tr("source %s %s", path.c_str(), problem.c_str());
    return std::nullopt;
  }
  if (!assignedWkt.empty())
    s.wkt_ = assignedWkt;
  else if (const char* wkt = GDALGetProjectionRef(ds))
    s.wkt_ = wkt;
  // A grid file carries its unit in its header even where no .prj says more.
  if (const char* unit = GDALGetMetadataItem(ds, GridHeader::kUnitItem, nullptr);
      s.wkt_.empty() && unit && std::string_view(unit) == "D")
    s.gridUnit_ = 'D';
  if (std::string problem = s.DescribeCoordinates(); !problem.empty()) {
    error = problem;
    return std::nullopt;
  }
  char** files = GDALGetFileList(ds);
  for (char** f = files; f && *f; ++f) s.files_.emplace_back(*f);
  CSLDestroy(files);
  s.DescribeValues(h);
  s.DescribeMask(ds, h);
  s.DescribeBlocks(ds, h);
  if (s.bandCount_ > 1)
    s.notes_.push_back({false, MessageText::Tr("source %s has %d bands: band %d is converted",
                                               path.c_str(), s.bandCount_, band)});
  return s;
}

std::string RasterSource::DescribeCoordinates() {
  const CoordinateUnits units = CoordinateUnits::Of(wkt_);
  switch (units.kind()) {
    case CoordinateUnits::Kind::kUnsound:
      return MessageText::Tr(
          "source %s cannot be written as a grid: %s; warp it to a projected "
          "or geographic system first (gdalwarp -t_srs EPSG:...)",
          path_.c_str(), units.reason().c_str());
    case CoordinateUnits::Kind::kConverted:
      notes_.push_back({false, MessageText::Tr("the coordinates of %s are in %s: X0, Y0, DX and "
                                               "DY are written in metres (x %s)",
                                               path_.c_str(), units.unitName().c_str(),
                                               Number(units.factor()).c_str())});
      break;
    case CoordinateUnits::Kind::kNone:
      if (gridUnit_ == 'D') {
        notes_.push_back({false, MessageText::Tr("%s has no coordinate system: its coordinates "
                                                 "are degrees (D), as its grid header says; "
                                                 "--a_srs names its system (EPSG:4490, say)",
                                                 path_.c_str())});
        break;
      }
      notes_.push_back(
          {true, LooksLikeDegrees()
                     ? MessageText::Tr("%s has no coordinate system: its coordinates are taken as "
                                       "metres (M); its extent looks like longitude and latitude, "
                                       "which are degrees: convert it again with its system "
                                       "(geodem convert --a_srs EPSG:4490, or EPSG:4326; "
                                       "gdal_translate -a_srs alike)",
                                       path_.c_str())
                     : MessageText::Tr("%s has no coordinate system: its coordinates are taken as "
                                       "metres (M)",
                                       path_.c_str())});
      break;
    default:
      break;
  }
  return {};
}

std::string RasterSource::writerWkt() const {
  if (gridUnit_ != 'D') return wkt_;
  // Only its unit counts: the writer's letter D and ten decimals.
  return "GEOGCS[\"unknown\",DATUM[\"unknown\",SPHEROID[\"unknown\",6378137,298.257223563]],"
         "PRIMEM[\"Greenwich\",0],UNIT[\"degree\",0.0174532925199433]]";
}

// Within -180..180 and -90..90, with cells smaller than 1: degrees far more likely than metres.
bool RasterSource::LooksLikeDegrees() const {
  const double left = originX(), right = left + pixelWidth() * width_;
  const double top = originY(), bottom = top + pixelHeight() * height_;
  return left >= -180 && right <= 180 && bottom >= -90 && top <= 90 && pixelWidth() < 1 &&
         -pixelHeight() < 1;
}

void RasterSource::DescribeValues(GDALRasterBandH h) {
  const char* pixelType = GDALGetMetadataItem(h, "PIXELTYPE", "IMAGE_STRUCTURE");
  signedBytes_ = bandType_ == GDT_Byte && pixelType && EQUAL(pixelType, "SIGNEDBYTE");

  const char* where = path_.c_str();
  int hasScale = 0, hasOffset = 0;
  double scale = GDALGetRasterScale(h, &hasScale);
  double offset = GDALGetRasterOffset(h, &hasOffset);
  if (!hasScale || scale == 0) scale = 1;
  if (!hasOffset) offset = 0;
  if (scale != 1 || offset != 0)
    notes_.push_back(
        {false, MessageText::Tr("band %d of %s is scaled: heights are its values x "
                                "%s + %s",
                                band_, where, Number(scale).c_str(), Number(offset).c_str())});
  const char* unitText = GDALGetRasterUnitType(h);
  const std::string unit = unitText ? unitText : "";
  double metres = 1;
  if (auto perUnit = MetresPerUnit(unit)) {
    metres = *perUnit;
    if (metres != 1)
      notes_.push_back(
          {false, MessageText::Tr("band %d of %s is in %s: heights are converted to "
                                  "metres (x %s)",
                                  band_, where, unit.c_str(), Number(metres).c_str())});
  } else {
    notes_.push_back({true, MessageText::Tr("band %d of %s has the unit '%s', which is no length "
                                            "unit known here: its values are taken as metres",
                                            band_, where, unit.c_str())});
  }
  heightScale_ = scale * metres;
  heightOffset_ = offset * metres;

  if (transformsValues() || bandType_ == GDT_Int64 || bandType_ == GDT_UInt64) {
    cellType_ = GDT_Float64;
  } else {
    cellType_ = signedBytes_ ? GDT_Int16 : bandType_;
  }
  // Compared with the cells as they are read: 64-bit integers as doubles, signed bytes as such.
  if (std::optional<double> declared = DeclaredNoData(h, bandType_)) {
    double value = *declared;
    if (signedBytes_ && value >= 128 && value <= 255) value -= 256;
    if (bandType_ == GDT_Int64 || bandType_ == GDT_UInt64) {
      noData_ = value;
    } else if (signedBytes_) {
      noData_ = value >= -128 && value <= 127 ? cell_type::AsStored(value, GDT_Int16)
                                              : std::nullopt;
    } else {
      noData_ = cell_type::AsStored(value, bandType_);
    }
  }
}

void RasterSource::DescribeMask(GDALDatasetH ds, GDALRasterBandH h) {
  const int flags = GDALGetMaskFlags(h);
  // A mask made from the no-data value says nothing the no-data value does not.
  if (!(flags & (GMF_ALL_VALID | GMF_NODATA))) {
    maskBand_ = -1;
    return;
  }
  // GDAL prefers the no-data value to an alpha band; transparent cells are no data all the same.
  for (int b = 1; b <= bandCount_; ++b) {
    if (b != band_ &&
        GDALGetRasterColorInterpretation(GDALGetRasterBand(ds, b)) == GCI_AlphaBand) {
      maskBand_ = b;
      return;
    }
  }
}

void RasterSource::DescribeBlocks(GDALDatasetH ds, GDALRasterBandH h) {
  auto add = [this](GDALRasterBandH band) {
    BlockShape shape;
    GDALGetBlockSize(band, &shape.columns, &shape.rows);
    shape.cellBytes = GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band));
    blockShapes_.push_back(shape);
  };
  add(h);
  if (maskBand_ < 0) add(GDALGetMaskBand(h));
  if (maskBand_ > 0) add(GDALGetRasterBand(ds, maskBand_));
}

bool RasterSource::mayHoldMaskedCells() const {
  return maskBand_ != 0 || cell_type::IsFloating(bandType_);
}

double RasterSource::lowestPossible() const {
  return std::min(RawLowest() * heightScale_, RawHighest() * heightScale_) + heightOffset_;
}

double RasterSource::highestPossible() const {
  return std::max(RawLowest() * heightScale_, RawHighest() * heightScale_) + heightOffset_;
}

double RasterSource::RawLowest() const {
  if (signedBytes_) return -128;
  if (bandType_ == GDT_Int64) return -9223372036854775808.0;
  if (bandType_ == GDT_UInt64) return 0;
  return cell_type::Lowest(bandType_);
}

double RasterSource::RawHighest() const {
  if (signedBytes_) return 127;
  if (bandType_ == GDT_Int64) return 9223372036854775807.0;
  if (bandType_ == GDT_UInt64) return 18446744073709551615.0;
  return cell_type::Highest(bandType_);
}
