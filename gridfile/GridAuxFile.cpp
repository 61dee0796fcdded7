#include "gridfile/GridAuxFile.h"

#include <cpl_conv.h>
#include <cpl_minixml.h>
#include <cpl_string.h>
#include <cpl_vsi.h>

#include <memory>

namespace {

// PAM's own files are a few kilobytes; anything far larger (or not a file) is not read.
constexpr vsi_l_offset kLargestAux = vsi_l_offset{1} << 20;

struct XmlFree {
  void operator()(CPLXMLNode* node) const { CPLDestroyXMLNode(node); }
};

}  // namespace

std::string GridAuxFile::Text(std::int32_t noData) {
  return "<PAMDataset>\n  <PAMRasterBand band=\"1\">\n    <NoDataValue>" + std::to_string(noData) +
         "</NoDataValue>\n  </PAMRasterBand>\n</PAMDataset>\n";
}

std::optional<double> GridAuxFile::ReadNoData(const std::string& auxPath) {
  VSIStatBufL stat;
  if (VSIStatExL(auxPath.c_str(), &stat,
                 VSI_STAT_EXISTS_FLAG | VSI_STAT_NATURE_FLAG | VSI_STAT_SIZE_FLAG) != 0 ||
      !VSI_ISREG(stat.st_mode) || static_cast<vsi_l_offset>(stat.st_size) > kLargestAux)
    return std::nullopt;
  // A damaged file is no file, and leaves no error behind for the caller's caller.
  const CPLErrorStateBackuper kept;
  const CPLErrorHandlerPusher quiet(CPLQuietErrorHandler);
  const std::unique_ptr<CPLXMLNode, XmlFree> root(CPLParseXMLFile(auxPath.c_str()));
  const CPLXMLNode* dataset = root ? CPLGetXMLNode(root.get(), "=PAMDataset") : nullptr;
  for (const CPLXMLNode* band = dataset ? dataset->psChild : nullptr; band; band = band->psNext) {
    if (band->eType != CXT_Element || !EQUAL(band->pszValue, "PAMRasterBand") ||
        atoi(CPLGetXMLValue(band, "band", "1")) != 1)
      continue;
    const char* value = CPLGetXMLValue(band, "NoDataValue", nullptr);
    if (!value) return std::nullopt;
    char* end = nullptr;
    const double noData = CPLStrtod(value, &end);
    if (end == value) return std::nullopt;
    return noData;
  }
  return std::nullopt;
}
