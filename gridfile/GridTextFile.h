#pragma once
// The grid file's output: an AtomicFile behind one large buffer, so that the text leaves in big
// writes, and a sticky failure flag, so that a full disk or an I/O error is never taken for a
// finished file. The grid file appears under its name only at Commit, complete; a file that is not
// committed (a failure, a stop) is removed when this object goes.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "host/AtomicFile.h"

class GridTextFile {
 public:
  static constexpr std::size_t kBufferSize = std::size_t{1} << 20;
  // Written bytes are sent on to the disk in pieces of this size.
  static constexpr std::size_t kWritebackSize = std::size_t{8} << 20;

  // Starts the file at a GBK path; false when it cannot be opened for writing.
  bool Create(const std::string& gbkPath);

  // Room for n bytes (n at most kBufferSize) at the returned pointer; Commit takes the end of what
  // was written there. After a failed write the text is dropped, so callers may keep going and ask
  // Failed() when convenient.
  char* Reserve(std::size_t n) {
    if (m_used + n > kBufferSize) Flush();
    return m_buffer.get() + m_used;
  }
  void Commit(const char* end) { m_used = static_cast<std::size_t>(end - m_buffer.get()); }
  void Append(std::string_view text);
  // Writes text made elsewhere after what is buffered, without copying it.
  void Write(std::string_view text);

  bool Failed() const { return m_failed; }
  // errno of the operation that failed (creating, writing or committing the file); 0 before.
  int error() const { return m_error; }
  // Set when the name or a side file was refused as another user's (AtomicFile::refusal).
  const std::string& refusal() const { return m_file.refusal(); }
  // Writes what is buffered and flushes it to the disk, not yet under the file's name; true only
  // when every byte reached it.
  bool Complete();
  // Complete, then puts the file in place with the .prj this process prepared for it and, for a
  // no-data cell other than the default, the .aux.xml that names it (GridAuxFile), in place of the
  // earlier grid's set (GridFileSet).
  bool Finish(std::int32_t noDataCell);

 private:
  void Flush();
  void WriteAll(const char* at, std::size_t n);
  void StartWriteback();

  std::string m_path;  // the operating system's
  AtomicFile m_file;
  std::unique_ptr<char[]> m_buffer;
  std::size_t m_used = 0;
  std::size_t m_written = 0;     // bytes in the file
  std::size_t m_sentToDisk = 0;  // bytes whose writeback has been started
  bool m_failed = false;
  bool m_complete = false;
  int m_error = 0;
};
