#pragma once
// An earlier file and its companions (a grid file and its .prj) kept aside while a new one is
// written under their names, so that a write that fails, or a run that is killed, never costs the
// earlier pair. Move renames them to names of the run's own, "<file>.<process id>.kept" beside
// each; Drop removes them once the new file stands, Restore puts them back when it never will.
// A run that was killed leaves its pair aside; the next run of the target (known by the dead
// lock, TargetFileLock) calls Recover with the dead run's process id.
//
// The first file is the one that counts: no file under its name means the write never finished,
// and the whole pair goes back. A file under its name (the dead run's new one, put in place just
// before it was killed, or one that something else wrote since) leaves the kept pair where it is,
// for the user to look at: nothing earlier is removed on a guess. Paths are the operating
// system's (UTF-8).
#include <string>
#include <vector>

class SetAside {
 public:
  SetAside() = default;
  ~SetAside() { Restore(); }
  SetAside(const SetAside&) = delete;
  SetAside& operator=(const SetAside&) = delete;

  // Moves each of files that stands there (a regular file or a link, never a folder) aside. False
  // with errno set, and everything back in place, when one cannot be moved.
  bool Move(const std::vector<std::string>& files);
  bool empty() const { return m_kept.empty(); }
  // Puts the files back under their names, over whatever was written there meanwhile.
  void Restore();
  // Removes the kept files: the new ones stand.
  void Drop();

  static std::string PathOf(const std::string& file, long pid);
  // What the run of process pid kept aside of files: back in place, unless a first file stands.
  static void Recover(const std::vector<std::string>& files, long pid);

 private:
  struct Kept {
    std::string file, aside;
  };
  std::vector<Kept> m_kept;
};
