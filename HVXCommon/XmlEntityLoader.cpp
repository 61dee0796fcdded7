#include "HVXCommon/XmlEntityLoader.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include "HVXCommon/XmlErrorCollector.h"
#include "host/CodePage.h"
#include "host/UserPath.h"

namespace {

// The local path a URL names: file: addresses lose their scheme; other addresses with a scheme
// are somewhere on the network (nothing then).
bool LocalPath(std::string_view url, std::string& path) {
  constexpr std::string_view kLocalhost = "file://localhost/";
  constexpr std::string_view kFile = "file://";
  if (url.size() >= kLocalhost.size() &&
      GbkEqualsNoCase(url.substr(0, kLocalhost.size()), kLocalhost)) {
    path = url.substr(kLocalhost.size() - 1);
    return true;
  }
  if (url.size() >= kFile.size() && GbkEqualsNoCase(url.substr(0, kFile.size()), kFile)) {
    path = url.substr(kFile.size());
    return true;
  }
  if (url.find("://") != std::string_view::npos) return false;
  path = url;
  return true;
}

// Opens path for reading without ever waiting (a FIFO without a writer would block a plain
// open); -1 with errno set, EINVAL for anything but a regular file.
int OpenRegularFile(const std::string& path) {
  std::string refusal;
  const int fd = UserPath::OpenToRead(path, "mapping file", refusal);
  if (fd < 0 && errno == EISDIR) errno = EINVAL;
  return fd;
}

// The input libxml2 reads from an open file; it closes fd when it is done.
xmlParserInputPtr InputFromFile(int fd, const std::string& path, xmlParserCtxtPtr ctxt) {
  xmlParserInputBufferPtr buffer = xmlParserInputBufferCreateFd(fd, XML_CHAR_ENCODING_NONE);
  if (!buffer) {
    ::close(fd);
    return nullptr;
  }
  xmlParserInputPtr input = xmlNewIOInputStream(ctxt, buffer, XML_CHAR_ENCODING_NONE);
  if (!input) {
    xmlFreeParserInputBuffer(buffer);
    return nullptr;
  }
  // References inside the file are resolved against its own place, as libxml2's loader does.
  input->filename = reinterpret_cast<char*>(xmlCanonicPath(BAD_CAST path.c_str()));
  if (ctxt && !ctxt->directory) ctxt->directory = xmlParserGetDirectory(path.c_str());
  return input;
}

xmlParserInputPtr LoadEntity(const char* url, const char* /*publicId*/, xmlParserCtxtPtr ctxt) {
  if (!url) return nullptr;
  std::string path;
  if (!LocalPath(url, path)) {
    XmlErrorCollector::ReportForThisThread(
        XML_IO_NETWORK_ATTEMPT, std::string("Attempt to load network entity ") + url, true);
    return nullptr;
  }
  int fd = OpenRegularFile(path);
  int error = errno;
  // libxml2 may hand over a path that is still %-escaped.
  if (fd < 0 && error == ENOENT) {
    if (char* unescaped = xmlURIUnescapeString(path.c_str(), 0, nullptr)) {
      if (path != unescaped) {
        fd = OpenRegularFile(unescaped);
        error = errno;
        if (fd >= 0) path = unescaped;
      }
      xmlFree(unescaped);
    }
  }
  if (fd < 0) {
    // Something that is not a file is refused outright; a missing file is an ordinary error that
    // the parser weighs as it always did.
    const bool special = error == EINVAL;
    XmlErrorCollector::ReportForThisThread(
        XML_IO_LOAD_ERROR,
        std::string("failed to load external entity \"") + url +
            "\": " + (special ? "not a regular file" : std::strerror(error)),
        special);
    return nullptr;
  }
  return InputFromFile(fd, path, ctxt);
}

// libxml2 keeps calling the loader for as long as the process lives, so the module that holds it
// must stay loaded even when its host lets go of its last object.
void KeepThisModuleLoaded() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<const void*>(&LoadEntity), &info) && info.dli_fname)
    ::dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
}

}  // namespace

void InstallXmlEntityLoader() {
  static std::once_flag once;
  std::call_once(once, [] {
    xmlInitParser();
    KeepThisModuleLoaded();
    xmlSetExternalEntityLoader(&LoadEntity);
  });
}
