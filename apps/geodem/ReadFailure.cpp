#include "apps/geodem/ReadFailure.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/UserPath.h"

std::string ReadFailure(const std::string& path) {
  std::string refusal;
  const int fd = UserPath::OpenToRead(path, "regular file", refusal);
  if (fd >= 0) {
    ::close(fd);
    return {};
  }
  // A folder in the system's words, as every other failure to open.
  return refusal.empty() || errno == EISDIR ? std::strerror(errno) : refusal;
}
