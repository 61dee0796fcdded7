#include "apps/geodem/convert/JobMappingFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <libxml/xmlwriter.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "apps/geodem/GbkText.h"
#include "apps/geodem/Translation.h"

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

constexpr char kFolderPrefix[] = "geodem-job-";
constexpr char kFileName[] = "job.xml";

// The process a folder "geodem-job-<pid>-XXXXXX" was made by; 0 for any other name.
long ProcessOf(const std::string& name) {
  if (name.rfind(kFolderPrefix, 0) != 0) return 0;
  const char* digits = name.c_str() + sizeof kFolderPrefix - 1;
  char* end = nullptr;
  const long pid = std::strtol(digits, &end, 10);
  return end != digits && *end == '-' ? pid : 0;
}

// A run killed outright cannot remove its folder: the next run removes those of processes that
// are gone. Only the user's own folders, and only the one file a run puts there.
void RemoveFoldersOfDeadRuns(const std::string& tmp) {
  DIR* dir = ::opendir(tmp.c_str());
  if (!dir) return;
  while (const dirent* entry = ::readdir(dir)) {
    const long pid = ProcessOf(entry->d_name);
    if (pid <= 0 || ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH) continue;
    const std::string folder = tmp + "/" + entry->d_name;
    struct stat st {};
    if (::lstat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::geteuid())
      continue;
    ::unlink((folder + "/" + kFileName).c_str());
    ::rmdir(folder.c_str());
  }
  ::closedir(dir);
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

std::string JobMappingFile::TemporaryFolder() {
  const char* tmp = std::getenv("TMPDIR");
  if (tmp && *tmp && FitsGbk(tmp)) return tmp;
  return "/tmp";
}

std::unique_ptr<JobMappingFile> JobMappingFile::Create(const std::string& xml, std::string& error) {
  const std::string tmp = TemporaryFolder();
  RemoveFoldersOfDeadRuns(tmp);
  std::string folder = tmp + "/" + kFolderPrefix + std::to_string(::getpid()) + "-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    error = Tr("cannot create the job's mapping file in %s: %s", tmp.c_str(), std::strerror(errno));
    return nullptr;
  }
  std::unique_ptr<JobMappingFile> file(new JobMappingFile(folder));
  const std::string path = file->path();
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
  if (fd < 0) {
    error = Tr("cannot create the job's mapping file %s: %s", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  std::size_t written = 0;
  while (written < xml.size()) {
    ssize_t n = ::write(fd, xml.data() + written, xml.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      error = Tr("cannot write the job's mapping file %s: %s", path.c_str(), std::strerror(errno));
      ::close(fd);
      return nullptr;
    }
    written += static_cast<std::size_t>(n);
  }
  if (::close(fd) != 0) {
    error = Tr("cannot write the job's mapping file %s: %s", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  return file;
}

JobMappingFile::JobMappingFile(std::string folder)
    : folder_(std::move(folder)), path_(folder_ + "/" + kFileName) {}

JobMappingFile::~JobMappingFile() {
  ::unlink(path_.c_str());
  ::rmdir(folder_.c_str());
}
