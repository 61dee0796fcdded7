#pragma once
// How a file under a name that a user gave is opened, for the grid file, its .prj, a batch's
// journal and report, and every file made beside them. Programs here often run as root in shared
// folders, where another user may plant a link or a file under a name we are about to write.
//
//  - A symbolic link, anywhere in a path (a folder as much as the file), is followed only where the
//    kernel's protected_symlinks rule would let the running user follow it: the link is the user's
//    own or its folder owner's, or the folder is not both sticky and writable for all. The rule is
//    applied here too, as machines run with it off.
//  - A side file (".part", ".lock", a journal, a temporary raster) is created exclusively and never
//    through a link; one already there that is not the user's own regular file with no other name
//    (a FIFO, a device, a hard link to some other file) is refused without blocking, never reused.
//  - A side name fits in a file name: a name too long for its suffix is shortened and carries a
//    short hash of the whole name, so it never equals the file or another file's side name.
//
// Refusals come with a text that names the file and its owner; errno is EACCES for a link not
// followed and EEXIST for a side file that is someone else's. Paths are the operating system's.
#include <sys/types.h>

#include <string>
#include <string_view>

class UserPath {
 public:
  // "<path><suffix>", the name shortened and hashed when it would not fit.
  static std::string SideName(const std::string& path, std::string_view suffix);

  // The file that path names, its links followed as the rule allows; false with refusal set
  // (or only errno, for a system error such as a loop) when a link may not be followed.
  static bool Follow(const std::string& path, std::string& resolved, std::string& refusal);
  // Opens a name the user gave (the links followed as above, never the last one again).
  static int Open(const std::string& path, int flags, mode_t mode, std::string& refusal);

  // An existing side file, opened with flags (no O_CREAT) without following a link or blocking;
  // -1 with refusal set when it is not the user's own regular file of one link.
  static int OpenSide(const std::string& path, int flags, std::string& refusal);
  // A new side file, opened for reading and writing. A leftover that is the user's own regular
  // file is replaced by a new one; anything else there is refused.
  static int CreateSide(const std::string& path, mode_t mode, std::string& refusal);
  // Empty when a side file could be made at path now; else why not.
  static std::string SideRefusal(const std::string& path);
  // True when what stands at path (not followed) is a regular file of the running user with no
  // other name.
  static bool IsOwnFile(const std::string& path);
  // Removes a side file only when it is the user's own: a stranger's file under our side name
  // may be anything.
  static void RemoveOwnFile(const std::string& path);
};
