#include "rastersource/SourceOpenError.h"

#include <cpl_error.h>
#include <cpl_string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "gridfile/GridHeaderParser.h"
#include "host/UserPath.h"
#include "messages/MessageText.h"

namespace {

bool LooksLikeGridFile(const std::string& path) {
  std::string refusal;
  const int fd = UserPath::OpenToRead(path, "raster", refusal);
  if (fd < 0) return false;
  char head[512] = {};
  const ssize_t got = ::read(fd, head, sizeof head);
  ::close(fd);
  const std::size_t length = got > 0 ? static_cast<std::size_t>(got) : 0;
  return GridHeaderParser::Identify(std::string_view(head, length));
}

std::string Explain(const std::string& path, const std::string& gdalMessage) {
  struct stat st;
  // GDAL also opens names that are no files ("NETCDF:"a.nc":z", /vsizip/...): only a plain name
  // that the system cannot find is reported in the system's words.
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT && path.find(':') == std::string::npos && path.rfind("/vsi", 0) != 0)
      return MessageText::Tr("cannot open source %s: %s", path.c_str(), std::strerror(errno));
    return MessageText::Tr("cannot open source %s as a raster: %s", path.c_str(),
                           gdalMessage.c_str());
  }
  if (S_ISDIR(st.st_mode))
    return MessageText::Tr(
        "source %s is a folder, not a raster; to convert every raster in it, "
        "use geodem batch --out-dir DIR %s/*.tif",
        path.c_str(), path.c_str());
  if (::access(path.c_str(), R_OK) != 0)
    return MessageText::Tr("cannot open source %s: %s", path.c_str(), std::strerror(errno));
  // GDAL would only say it knows no such format.
  if (S_ISREG(st.st_mode) && st.st_size == 0)
    return MessageText::Tr("source %s is empty (0 bytes), as an interrupted copy or download "
                           "leaves a file; copy it again",
                           path.c_str());
  if (!GDALGetDriverByName("GEODEM") && LooksLikeGridFile(path))
    return MessageText::Tr(
        "source %s is a CNSDTF-DEM grid file: reading it needs the GEODEM GDAL "
        "driver, which is not loaded; set GDAL_DRIVER_PATH to the folder of "
        "gdal_GEODEM.so",
        path.c_str());
  return MessageText::Tr("cannot open source %s as a raster: %s", path.c_str(),
                         gdalMessage.c_str());
}

}  // namespace

GDALDatasetH SourceOpenError::Open(const std::string& path, std::string& error) {
  // GDAL would wait on a FIFO for ever: it never sees one.
  if (std::string refusal; !UserPath::MayRead(path, "raster", refusal)) {
    error = MessageText::Tr("cannot open source %s: %s", path.c_str(), refusal.c_str());
    return nullptr;
  }
  CPLPushErrorHandler(CPLQuietErrorHandler);
  CPLErrorReset();
  GDALDatasetH ds = GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY |
                               GDAL_OF_VERBOSE_ERROR, nullptr, nullptr, nullptr);
  const std::string message = CPLGetLastErrorMsg();
  CPLPopErrorHandler();
  if (!ds)
    error = Explain(path, message.empty() ? MessageText::Tr("GDAL does not read it") : message);
  return ds;
}

std::string SourceOpenError::NoBands(GDALDatasetH ds, const std::string& path) {
  std::string names;
  int count = 0;
  for (char** item = GDALGetMetadata(ds, "SUBDATASETS"); item && *item; ++item) {
    char* key = nullptr;
    const char* value = CPLParseNameValue(*item, &key);
    const bool isName = key && std::strstr(key, "_NAME") != nullptr;
    CPLFree(key);
    if (!isName || !value) continue;
    names += (count++ ? ", " : "") + std::string(value);
  }
  if (!count) return MessageText::Tr("source %s has no raster bands", path.c_str());
  if (count == 1)
    return MessageText::Tr(
        "source %s has no raster bands of its own but 1 subdataset; name it as "
        "the source: %s",
        path.c_str(), names.c_str());
  return MessageText::Tr(
      "source %s has no raster bands of its own but %d subdatasets; name the "
      "one to convert as the source: %s",
      path.c_str(), count, names.c_str());
}
