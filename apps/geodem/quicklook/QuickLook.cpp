#include "apps/geodem/quicklook/QuickLook.h"

#include <cpl_string.h>
#include <cpl_vsi.h>
#include <gdal_priv.h>
#include <gdal_utils.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <memory>

#include "apps/geodem/Translation.h"
#include "gridfile/GridHeader.h"
#include "host/AtomicFile.h"
#include "host/UserPath.h"

namespace {

// Metres per degree of latitude, as gdaldem takes for grids in degrees.
constexpr double kMetresPerDegree = 111120;

struct DatasetCloser {
  void operator()(GDALDatasetH dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<std::remove_pointer_t<GDALDatasetH>, DatasetCloser>;

// A /vsimem/ name no other thread uses.
std::string MemoryPath(const char* what) {
  static std::atomic<long> counter{0};
  return "/vsimem/geodem_quicklook_" + std::to_string(::getpid()) + "_" +
         std::to_string(counter++) + "_" + what;
}

std::string GdalError(const char* step) {
  const char* message = CPLGetLastErrorMsg();
  return std::string(step) + (message && *message ? ": " + std::string(message) : "");
}

// Runs a GDAL utility whose options come as words.
template <class Options, class New, class Free>
std::unique_ptr<Options, Free> UtilityOptions(New create, Free free, const CPLStringList& words) {
  return std::unique_ptr<Options, Free>(create(const_cast<char**>(words.List()), nullptr), free);
}

}  // namespace

QuickLook::QuickLook(const GridHeader& header, std::optional<double> lowest,
                     std::optional<double> highest, std::optional<double> noData)
    : m_zoom(header.zoom != 0 ? header.zoom : 1),
      m_degrees(header.unit == 'D'),
      m_lowest(lowest),
      m_highest(highest),
      m_noData(noData) {}

void QuickLook::Size(int cols, int rows, int side, Fit fit, int& width, int& height) {
  const int longSide = std::max(cols, rows);
  const double factor =
      longSide > side || fit == Fit::kExactly ? static_cast<double>(side) / longSide : 1.0;
  width = std::max(1, static_cast<int>(std::lround(cols * factor)));
  height = std::max(1, static_cast<int>(std::lround(rows * factor)));
}

bool QuickLook::DriverReady(std::string& error) {
  GDALAllRegister();
  if (GDALGetDriverByName("GEODEM")) return true;
  // In the build tree the plug-in lies in lib/gdalplugins beside bin/; installed, GDAL's own
  // plug-in folder holds it.
  std::error_code ec;
  const std::filesystem::path dir =
      std::filesystem::read_symlink("/proc/self/exe", ec).parent_path().parent_path() / "lib" /
      "gdalplugins";
  if (!ec && std::filesystem::exists(dir / "gdal_GEODEM.so", ec)) {
    const std::string previous = CPLGetConfigOption("GDAL_DRIVER_PATH", "");
    CPLSetConfigOption("GDAL_DRIVER_PATH", dir.c_str());
    GetGDALDriverManager()->AutoLoadDrivers();
    CPLSetConfigOption("GDAL_DRIVER_PATH", previous.empty() ? nullptr : previous.c_str());
  }
  if (GDALGetDriverByName("GEODEM")) return true;
  error =
      _("GDAL has no GEODEM driver to read the grid with: install gdal_GEODEM.so in GDAL's "
        "plug-in folder or point GDAL_DRIVER_PATH at its folder");
  return false;
}

// Heights as the file stores them (x Hzoom), green lowlands to brown and white peaks; below 0 m
// water, deep blue at the lowest to pale at the shore; no data transparent.
std::string QuickLook::ColourRamp(double low, double high) {
  static constexpr int kStops[][3] = {
      {38, 115, 77}, {117, 169, 84}, {222, 214, 140}, {176, 128, 74}, {139, 94, 60}, {250, 250, 250}};
  constexpr int n = std::size(kStops);
  std::string ramp = "nv 0 0 0 0\n";
  if (low < 0) {
    ramp += CPLSPrintf("%.17g 8 48 107 255\n", low);
    // Stored heights are integers: -1 is the highest below 0 m.
    if (low < -1) ramp += "-1 158 202 225 255\n";
    low = 0;
  }
  high = std::max(high, low + 1);
  for (int i = 0; i < n; ++i) {
    const double value = low + (high - low) * i / (n - 1);
    ramp += CPLSPrintf("%.17g %d %d %d 255\n", value, kStops[i][0], kStops[i][1], kStops[i][2]);
  }
  return ramp;
}

bool QuickLook::Render(const std::string& gridPath, int side, Fit fit,
                       std::vector<unsigned char>& png, std::string& error) const {
  // GDAL would wait on a FIFO at the name for ever.
  if (std::string refusal; !UserPath::MayRead(gridPath, "grid file", refusal))
    return error = gridPath + ": " + refusal, false;
  CPLStringList openOptions;
  if (m_noData) openOptions.AddNameValue("NODATA", CPLSPrintf("%.17g", *m_noData));
  const char* const drivers[] = {"GEODEM", nullptr};
  Dataset grid(GDALOpenEx(gridPath.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, drivers,
                          openOptions.List(), nullptr));
  if (!grid) return error = GdalError(_("the GEODEM driver cannot open the grid")), false;
  int width = 0, height = 0;
  Size(GDALGetRasterXSize(grid.get()), GDALGetRasterYSize(grid.get()), side, fit, width, height);

  // The heights at the picture's size, averaged over the cells each pixel covers.
  CPLStringList translateWords;
  for (const char* word : {"-of", "MEM", "-ot", "Float32", "-r", "average", "-outsize"})
    translateWords.AddString(word);
  translateWords.AddString(std::to_string(width).c_str());
  translateWords.AddString(std::to_string(height).c_str());
  auto translateOptions = UtilityOptions<GDALTranslateOptions>(
      GDALTranslateOptionsNew, GDALTranslateOptionsFree, translateWords);
  Dataset small(GDALTranslate("", grid.get(), translateOptions.get(), nullptr));
  if (!small) return error = GdalError(_("GDAL failed to read the grid")), false;

  // Heights are stored x Hzoom; in degrees, a degree counts as gdaldem counts it.
  CPLStringList shadeWords;
  for (const char* word : {"-of", "MEM", "-compute_edges", "-z"}) shadeWords.AddString(word);
  shadeWords.AddString(CPLSPrintf("%.17g", 1.0 / m_zoom));
  if (m_degrees) {
    shadeWords.AddString("-s");
    shadeWords.AddString(CPLSPrintf("%.17g", kMetresPerDegree));
  }
  auto shadeOptions = UtilityOptions<GDALDEMProcessingOptions>(
      GDALDEMProcessingOptionsNew, GDALDEMProcessingOptionsFree, shadeWords);
  Dataset shade(GDALDEMProcessing("", small.get(), "hillshade", nullptr, shadeOptions.get(),
                                  nullptr));
  if (!shade) return error = GdalError(_("GDAL's hillshade failed")), false;

  const std::string rampPath = MemoryPath("ramp.txt");
  double low = 0, high = 0;
  const bool legend = Legend(small.get(), low, high);
  const std::string ramp = ColourRamp(low * m_zoom, high * m_zoom);
  VSIFCloseL(VSIFileFromMemBuffer(rampPath.c_str(),
                                  reinterpret_cast<GByte*>(const_cast<char*>(ramp.data())),
                                  ramp.size(), FALSE));
  CPLStringList reliefWords;
  for (const char* word : {"-of", "MEM", "-alpha"}) reliefWords.AddString(word);
  auto reliefOptions = UtilityOptions<GDALDEMProcessingOptions>(
      GDALDEMProcessingOptionsNew, GDALDEMProcessingOptionsFree, reliefWords);
  Dataset relief(GDALDEMProcessing("", small.get(), "color-relief", rampPath.c_str(),
                                   reliefOptions.get(), nullptr));
  VSIUnlink(rampPath.c_str());
  if (!relief) return error = GdalError(_("GDAL's colour relief failed")), false;

  // Multiply blend: the relief's colours darkened by the shade, never to black.
  const std::size_t n = static_cast<std::size_t>(width) * static_cast<std::size_t>(height);
  std::vector<GByte> shadeBytes(n), rgba(4 * n);
  bool read = GDALRasterIO(GDALGetRasterBand(shade.get(), 1), GF_Read, 0, 0, width, height,
                           shadeBytes.data(), width, height, GDT_Byte, 0, 0) == CE_None;
  for (int b = 0; read && b < 4; ++b) {
    read = GDALRasterIO(GDALGetRasterBand(relief.get(), b + 1), GF_Read, 0, 0, width, height,
                        rgba.data() + b * n, width, height, GDT_Byte, 0, 0) == CE_None;
  }
  if (!read) return error = GdalError(_("GDAL failed to read the quick-look's layers")), false;
  for (std::size_t i = 0; i < n; ++i) {
    const double light = 0.25 + 0.75 * shadeBytes[i] / 255.0;
    for (int b = 0; b < 3; ++b)
      rgba[b * n + i] = static_cast<GByte>(std::lround(rgba[b * n + i] * light));
  }
  Dataset picture(GDALCreate(GDALGetDriverByName("MEM"), "", width, height, 4, GDT_Byte, nullptr));
  if (GDALDatasetRasterIO(picture.get(), GF_Write, 0, 0, width, height, rgba.data(), width, height,
                          GDT_Byte, 4, nullptr, 0, 0, 0) != CE_None) {
    return error = GdalError(_("GDAL failed to compose the quick-look")), false;
  }
  if (legend) {
    GDALSetMetadataItem(picture.get(), "legend_min_m", CPLSPrintf("%.10g", low), nullptr);
    GDALSetMetadataItem(picture.get(), "legend_max_m", CPLSPrintf("%.10g", high), nullptr);
  }
  const std::string pngPath = MemoryPath("picture.png");
  const char* const pngOptions[] = {"WRITE_METADATA_AS_TEXT=YES", nullptr};
  Dataset written(GDALCreateCopy(GDALGetDriverByName("PNG"), pngPath.c_str(), picture.get(), FALSE,
                                 const_cast<char**>(pngOptions), nullptr, nullptr));
  written.reset();
  vsi_l_offset size = 0;
  GByte* bytes = VSIGetMemFileBuffer(pngPath.c_str(), &size, FALSE);
  if (!bytes) return error = GdalError(_("GDAL failed to write the PNG")), false;
  png.assign(bytes, bytes + size);
  VSIUnlink(pngPath.c_str());
  return true;
}

// The heights the colours run between: as given, else the least and greatest of the picture's
// cells; false when there are none (every cell no data).
bool QuickLook::Legend(GDALDatasetH small, double& low, double& high) const {
  if (m_lowest && m_highest) {
    low = *m_lowest;
    high = *m_highest;
    return true;
  }
  double range[2] = {0, 0};
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool found = GDALComputeRasterMinMax(GDALGetRasterBand(small, 1), FALSE, range) == CE_None;
  CPLPopErrorHandler();
  if (!found) return false;
  low = range[0] / m_zoom;
  high = range[1] / m_zoom;
  if (low > high) std::swap(low, high);
  return true;
}

bool QuickLook::Write(const std::string& gridPath, const std::string& pngPath,
                      std::string& error) const {
  std::vector<unsigned char> png;
  if (!Render(gridPath, kLongSide, Fit::kAtMost, png, error)) return false;
  AtomicFile file;
  if (!file.Create(pngPath) || !file.Write(png.data(), png.size()) || !file.Commit()) {
    error = file.refusal().empty() ? pngPath + ": " + std::strerror(errno) : file.refusal();
    return false;
  }
  return true;
}
