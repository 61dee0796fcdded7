#pragma once
// A file that appears under its name only once complete. Create opens a temporary beside the
// target ("<target>.<process id>.part", in the target's folder so that the rename stays on one file
// system); Commit flushes it to the disk and renames it over the target, so that a full disk, a
// crash or a kill never leaves part of a file under the final name, and an earlier file is replaced
// only by a complete one; it keeps the replaced file's access rights (and owner, when root
// replaces another user's file). Anything not committed is removed.
//
// A target that exists and is not a regular file (a device such as /dev/full, a FIFO, a link to
// one) is written in place, as there is nothing to rename over; a FIFO or file of another user in
// a shared folder is refused (UserPath's rule), never waited on. A link to a regular file has its
// file replaced, the link stays; but only a link that UserPath lets the user follow, and the
// temporary is made exclusively, never one that someone else left.
//
// Concurrent writers of one target are the caller's to exclude (TargetFileLock): the temporary is
// named per process, so a stale one never blocks, and the next holder of the target's lock removes
// it with RemoveTemporaryOf. Paths are the operating system's (UTF-8).
#include <sys/stat.h>

#include <cstddef>
#include <optional>
#include <string>

class AtomicFile {
 public:
  AtomicFile() = default;
  ~AtomicFile() { Abandon(); }
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  // False when the file cannot be opened: errno says why, and refusal() too when the name or the
  // temporary is refused as another user's.
  bool Create(const std::string& target);
  const std::string& refusal() const { return m_refusal; }
  // The descriptor to write to, -1 when nothing is open.
  int fd() const { return m_fd; }
  // True when the target is written in place (a device, a FIFO), with nothing to rename.
  bool inPlace() const { return m_temporary.empty(); }
  // Writes all size bytes, retrying short writes; false when the system refuses (errno says why).
  bool Write(const void* data, std::size_t size);
  // Flushes the written bytes to the disk and closes the file, where a full disk shows at the
  // latest; false (the temporary removed) when the system refuses. Commit does it when not done.
  bool Sync();
  // Makes the written bytes the target's. False when any step fails; the target is then as it was
  // (written in place: as far as the writes got), and the temporary stays until Abandon.
  bool Commit();
  // Closes and removes an uncommitted temporary.
  void Abandon();

  static std::string TemporaryPathOf(const std::string& target, long pid);
  // When root replaces another user's file (earlier): a descriptor of the new file at path, to
  // give it the earlier file's owner and group once it has its name (GiveToOwner); else -1.
  static int KeepForOwner(const std::string& path, const std::optional<struct stat>& earlier);
  static void GiveToOwner(int fd, const std::optional<struct stat>& earlier);
  // Removes the temporary that process pid left beside the target.
  static void RemoveTemporaryOf(const std::string& target, long pid);

 private:
  std::string m_target;     // the link resolved
  std::string m_temporary;  // empty when written in place
  std::string m_refusal;
  std::optional<struct stat> m_earlier;  // the file replaced
  int m_fd = -1;
  bool m_synced = false;
};
