#include "HVXOWRITER/HVXOGEODEMWriter/GridTextFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "host/CodePage.h"

GridTextFile::~GridTextFile() {
  if (m_fd >= 0) ::close(m_fd);
}

bool GridTextFile::Create(const std::string& gbkPath) {
  m_fd = ::open(OsPath(gbkPath).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (m_fd < 0) return false;
  m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
  m_used = 0;
  m_failed = false;
  return true;
}

void GridTextFile::Append(std::string_view text) {
  while (!text.empty()) {
    std::size_t n = std::min(text.size(), kBufferSize);
    char* at = Reserve(n);
    std::memcpy(at, text.data(), n);
    Commit(at + n);
    text.remove_prefix(n);
  }
}

void GridTextFile::Flush() {
  const char* at = m_buffer.get();
  std::size_t left = m_failed ? 0 : m_used;
  while (left > 0) {
    ssize_t n = ::write(m_fd, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_failed = true;
      break;
    }
    at += n;
    left -= static_cast<std::size_t>(n);
  }
  m_used = 0;
}

bool GridTextFile::Close() {
  if (m_fd < 0) return false;
  Flush();
  // Some file systems report a failed write only when the file is closed.
  if (::close(m_fd) != 0) m_failed = true;
  m_fd = -1;
  return !m_failed;
}
