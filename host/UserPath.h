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
//  - No open waits: a FIFO is opened without blocking and looked at before anything is read or
//    written. A reader takes nothing but a regular file. A writer follows the kernel's
//    protected_fifos/protected_regular rule at its strictest (level 2): in a sticky folder that
//    others may write to, a FIFO or regular file of neither the user nor the folder's owner is
//    refused, before anything is truncated. The user's own FIFO and devices are written as ever.
//  - A side name fits in a file name: a name too long for its suffix is shortened and carries a
//    short hash of the whole name, so it never equals the file or another file's side name.
//
// Refusals come with a text that names the file and its owner; errno is EACCES for a link not
// followed and EEXIST for a side file that is someone else's. Paths are the operating system's.
#include <sys/stat.h>
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
  // Whether a name may be written now, before any work: its links followed as above and what
  // stands there, if anything, writable under the rule above; false with refusal set (errno
  // EACCES), or errno only for a system error.
  static bool MayWrite(const std::string& path, std::string& refusal);
  // Opens a name the user gave (the links followed as above, never the last one again), without
  // blocking and, for writing, as the rule above allows (refusal set, errno EACCES); O_TRUNC takes
  // effect only once the file is known to be writable. The user's own FIFO without a reader yet
  // waits for one, as a plain open does. O_NONBLOCK stays set only when flags ask for it.
  static int Open(const std::string& path, int flags, mode_t mode, std::string& refusal);
  // Opens a name for reading, never blocking: anything but a regular file is refused, with
  // refusal "is a FIFO, not a <what>" (the caller names the file, as in its other messages).
  static int OpenToRead(const std::string& path, std::string_view what, std::string& refusal);
  // For a name that another library opens by itself (GDAL, a source raster): false with refusal
  // as above when a FIFO, device or socket stands there. A folder or a name that is no file
  // (GDAL's "/vsizip/...", "NETCDF:...") is left to that library.
  static bool MayRead(const std::string& path, std::string_view what, std::string& refusal);
  // Empty when the existing file st at path (links resolved) may be written or replaced by the
  // running user under the rule above; else why not, naming its owner.
  static std::string WriteRefusal(const std::string& path, const struct stat& st);

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
