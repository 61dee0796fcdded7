#include "gridfile/GridTextFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "gridfile/GridAuxFile.h"
#include "gridfile/GridFileSet.h"
#include "host/CodePage.h"

bool GridTextFile::Create(const std::string& gbkPath) {
  m_path = OsPath(gbkPath);
  if (!m_file.Create(m_path)) {
    m_error = errno;
    return false;
  }
  m_buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
  m_used = 0;
  m_written = 0;
  m_sentToDisk = 0;
  m_failed = false;
  m_complete = false;
  m_error = 0;
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

void GridTextFile::Write(std::string_view text) {
  if (text.empty()) return;  // what is buffered may wait for more
  Flush();
  WriteAll(text.data(), text.size());
  StartWriteback();
}

void GridTextFile::Flush() {
  WriteAll(m_buffer.get(), m_used);
  m_used = 0;
  StartWriteback();
}

void GridTextFile::WriteAll(const char* at, std::size_t left) {
  while (left > 0 && !m_failed) {
    ssize_t n = ::write(m_file.fd(), at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      m_failed = true;
      m_error = n < 0 ? errno : EIO;  // no progress and no reason given
      break;
    }
    at += n;
    left -= static_cast<std::size_t>(n);
    m_written += static_cast<std::size_t>(n);
  }
}

// The disk takes the text while more is made, so that the flush before the rename finds little
// left to do. Only a hint: the flush at Finish still reports any failure.
void GridTextFile::StartWriteback() {
  if (m_failed || m_written - m_sentToDisk < kWritebackSize) return;
  ::sync_file_range(m_file.fd(), static_cast<off_t>(m_sentToDisk),
                    static_cast<off_t>(m_written - m_sentToDisk), SYNC_FILE_RANGE_WRITE);
  m_sentToDisk = m_written;
}

bool GridTextFile::Complete() {
  if (m_complete) return true;
  if (m_file.fd() < 0) return false;
  Flush();
  if (m_failed) {
    return false;
  }
  if (!m_file.Sync()) {
    m_failed = true;
    m_error = errno;
    return false;
  }
  return m_complete = true;
}

bool GridTextFile::Finish(std::int32_t noDataCell) {
  if (!Complete()) return false;
  std::string error;
  GridFileSet files(m_path);
  if (noDataCell != GridAuxFile::kDefaultNoData && !m_file.inPlace())
    files.PrepareAux(GridAuxFile::Text(noDataCell));
  if (files.Commit(m_file, error)) return true;
  m_error = errno;
  return false;
}
