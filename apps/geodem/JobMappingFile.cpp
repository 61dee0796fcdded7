#include "apps/geodem/JobMappingFile.h"

#include <libxml/xmlwriter.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "apps/geodem/GbkText.h"

namespace {

const xmlChar* X(const char* text) { return reinterpret_cast<const xmlChar*>(text); }

void WriteList(xmlTextWriterPtr w, const char* element, const KeyValueList& pairs) {
  xmlTextWriterStartElement(w, X(element));
  for (const auto& [key, value] : pairs) {
    xmlTextWriterStartElement(w, X("KeyValuePair"));
    xmlTextWriterWriteElement(w, X("Key"), X(key.c_str()));
    xmlTextWriterWriteElement(w, X("Value"), X(value.c_str()));
    xmlTextWriterEndElement(w);
  }
  xmlTextWriterEndElement(w);
}

std::string TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp && *tmp && FitsGbk(tmp)) return tmp;
  return "/tmp";
}

}  // namespace

KeyValueList JobMappingFile::WriterParameters(const ConvertOptions& o) {
  KeyValueList list = {{"OVERWRITE", o.overwrite ? "YES" : "NO"},
                       {"RASTER_NODATA", o.noData.value_or(ConvertOptions::kDefaultNoData)},
                       {"DEM_ZOOM", o.zoom.value_or(ConvertOptions::kDefaultZoom)},
                       {"VERSION", o.formatVersion.value_or("GEODEM")}};
  list.insert(list.end(), o.parameters.begin(), o.parameters.end());
  return list;
}

std::string JobMappingFile::Render(const KeyValueList& writerParameters) {
  xmlBufferPtr buffer = xmlBufferCreate();
  xmlTextWriterPtr w = xmlNewTextWriterMemory(buffer, 0);
  xmlTextWriterSetIndent(w, 1);
  xmlTextWriterSetIndentString(w, X("  "));
  xmlTextWriterStartDocument(w, nullptr, "UTF-8", nullptr);
  xmlTextWriterStartElement(w, X("HVX_MappingFile"));
  xmlTextWriterWriteElement(w, X("WRITER_TYPE"), X("GEODEM"));
  WriteList(w, "WRITER_DIRECTIVE", {{"LOG_OUTPUT", "YES"}});
  WriteList(w, "WRITER_PARAMETER", writerParameters);
  xmlTextWriterEndDocument(w);
  xmlFreeTextWriter(w);  // flushes into the buffer
  std::string xml(reinterpret_cast<const char*>(xmlBufferContent(buffer)),
                  static_cast<std::size_t>(xmlBufferLength(buffer)));
  xmlBufferFree(buffer);
  return xml;
}

std::unique_ptr<JobMappingFile> JobMappingFile::Create(const std::string& xml, std::string& error) {
  std::string path = TemporaryFolder() + "/geodem-job-XXXXXX.xml";
  int fd = ::mkstemps(path.data(), 4);
  if (fd < 0) {
    error = "cannot create the job's mapping file in " + TemporaryFolder() + ": " +
            std::strerror(errno);
    return nullptr;
  }
  std::unique_ptr<JobMappingFile> file(new JobMappingFile(path));
  std::size_t written = 0;
  while (written < xml.size()) {
    ssize_t n = ::write(fd, xml.data() + written, xml.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = "cannot write the job's mapping file " + path + ": " + std::strerror(errno);
      ::close(fd);
      return nullptr;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    error = "cannot write the job's mapping file " + path + ": " + std::strerror(errno);
    return nullptr;
  }
  return file;
}

JobMappingFile::~JobMappingFile() { ::unlink(path_.c_str()); }
