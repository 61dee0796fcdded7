#include "apps/geodem/convert/StandardOutput.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/JobMappingFile.h"

namespace {

bool WriteAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// A reader that goes away is a failure to report, not a signal that kills the run before it can
// remove its folder.
class PipeSignalIgnored {
 public:
  PipeSignalIgnored() {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    ::sigaction(SIGPIPE, &ignore, &before_);
  }
  ~PipeSignalIgnored() { ::sigaction(SIGPIPE, &before_, nullptr); }
  PipeSignalIgnored(const PipeSignalIgnored&) = delete;
  PipeSignalIgnored& operator=(const PipeSignalIgnored&) = delete;

 private:
  struct sigaction before_ {};
};

}  // namespace

bool StandardOutput::Named(const std::string& destination) {
  return destination == "-" || destination == "/dev/stdout";
}

std::unique_ptr<StandardOutput> StandardOutput::Create(std::string& error) {
  if (::isatty(STDOUT_FILENO)) {
    error =
        _("standard output is a terminal, which cannot take a grid file; send it to a file "
          "or a pipe: geodem convert SRC - > out.dem, or SRC - | gzip > out.dem.gz");
    return nullptr;
  }
  const std::string tmp = JobMappingFile::TemporaryFolder();
  std::string folder = tmp + "/geodem-stdout-XXXXXX";
  if (!::mkdtemp(folder.data())) {
    error = Tr("cannot make a folder for the grid file in %s: %s; set TMPDIR to another folder",
               tmp.c_str(), std::strerror(errno));
    return nullptr;
  }
  return std::unique_ptr<StandardOutput>(new StandardOutput(folder));
}

StandardOutput::StandardOutput(std::string folder)
    : folder_(std::move(folder)), gridPath_(folder_ + "/standard-output.dem") {}

StandardOutput::~StandardOutput() {
  // The folder was made for this run alone, with no access for anybody else.
  std::error_code ec;
  std::filesystem::remove_all(folder_, ec);
}

bool StandardOutput::Deliver(std::string& error) const {
  const int fd = ::open(gridPath_.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    error = Tr("cannot read the grid file %s: %s", gridPath_.c_str(), std::strerror(errno));
    return false;
  }
  PipeSignalIgnored ignored;
  std::vector<char> buffer(1 << 20);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(fd, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = Tr("cannot read the grid file %s: %s", gridPath_.c_str(), std::strerror(errno));
      ok = false;
      break;
    }
    if (n == 0) break;
    if (!WriteAll(STDOUT_FILENO, buffer.data(), static_cast<std::size_t>(n))) {
      error = Tr("cannot write the grid file to standard output: %s", std::strerror(errno));
      ok = false;
      break;
    }
  }
  ::close(fd);
  return ok;
}
