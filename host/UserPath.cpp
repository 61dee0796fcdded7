#include "host/UserPath.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr int kMaxLinks = 40;  // the kernel's own bound on links in one lookup

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string UserName(uid_t uid) {
  std::vector<char> buffer(16384);
  struct passwd entry {};
  struct passwd* found = nullptr;
  if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
    return found->pw_name;
  return "uid " + std::to_string(uid);
}

// FNV-1a: short, stable across builds and machines, and enough to tell names apart.
std::string HashOf(std::string_view text) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;
  for (unsigned char c : text) hash = (hash ^ c) * 0x100000001b3ULL;
  char hex[17];
  std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
  return hex;
}

bool SharedFolder(const struct stat& folder) {
  return (folder.st_mode & S_ISVTX) && (folder.st_mode & S_IWOTH);
}

std::string LinkRefusal(const std::string& link, const struct stat& st, const std::string& folder) {
  return link + " is a symbolic link of user " + UserName(st.st_uid) + " in the shared folder " +
         folder + "; it is not followed, and nothing is written there";
}

std::string KindOf(const struct stat& st) {
  if (S_ISFIFO(st.st_mode)) return "a FIFO";
  if (S_ISCHR(st.st_mode) || S_ISBLK(st.st_mode)) return "a device";
  if (S_ISDIR(st.st_mode)) return "a folder";
  if (S_ISSOCK(st.st_mode)) return "a socket";
  if (st.st_nlink > 1) return "a file with " + std::to_string(st.st_nlink) + " hard links";
  return "a file";
}

std::string StrangerRefusal(const std::string& path, const struct stat& st) {
  if (S_ISLNK(st.st_mode))
    return path + " is a symbolic link of user " + UserName(st.st_uid) +
           " where a file of this run's own belongs; it is not followed, and nothing is written";
  return path + " is in the way (" + KindOf(st) + " of user " + UserName(st.st_uid) +
         "); it is not reused, and nothing is written";
}

// A side file is the user's own regular file with no other name: a hard link would let a write
// to it change some other file.
bool IsOwnSide(const struct stat& st) {
  return S_ISREG(st.st_mode) && st.st_uid == ::geteuid() && st.st_nlink == 1;
}

}  // namespace

std::string UserPath::SideName(const std::string& path, std::string_view suffix) {
  const std::size_t nameStart = path.find_last_of('/') + 1;  // npos + 1 == 0
  const std::size_t nameSize = path.size() - nameStart;
  if (nameSize + suffix.size() <= NAME_MAX) return path + std::string(suffix);
  const std::string hash = "~" + HashOf(std::string_view(path).substr(nameStart));
  std::size_t keep =
      NAME_MAX > suffix.size() + hash.size() ? NAME_MAX - suffix.size() - hash.size() : 0;
  // Never half a UTF-8 character.
  while (keep > 0 && (static_cast<unsigned char>(path[nameStart + keep]) & 0xC0) == 0x80) --keep;
  return path.substr(0, nameStart + keep) + hash + std::string(suffix);
}

namespace {

// A link that the rule lets the user follow; refusal set (errno EACCES) when not.
bool MayFollowLink(const std::string& link, const struct stat& st, std::string& refusal) {
  const std::string folder = FolderOf(link);
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0) return false;
  if (SharedFolder(dir) && st.st_uid != ::geteuid() && st.st_uid != dir.st_uid) {
    refusal = LinkRefusal(link, st, folder);
    errno = EACCES;
    return false;
  }
  return true;
}

bool ReadLink(const std::string& link, const struct stat& st, std::string& target) {
  std::vector<char> text(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
  const ssize_t n = ::readlink(link.c_str(), text.data(), text.size());
  if (n < 0 || static_cast<std::size_t>(n) >= text.size()) {
    if (n >= 0) errno = ENAMETOOLONG;  // the link changed under us
    return false;
  }
  target.assign(text.data(), static_cast<std::size_t>(n));
  return !target.empty() || (errno = ENOENT, false);
}

// The parts of a path, in order; empty parts and "." left out.
void PushParts(const std::string& path, std::vector<std::string>& pending) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= path.size()) {
    std::size_t end = path.find('/', start);
    if (end == std::string::npos) end = path.size();
    std::string part = path.substr(start, end - start);
    if (!part.empty() && part != ".") parts.push_back(std::move(part));
    start = end + 1;
  }
  // pending is a stack: the first part last.
  pending.insert(pending.end(), parts.rbegin(), parts.rend());
}

std::string Join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  return folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace

// Part by part, as the kernel walks a path: a link anywhere in it (a folder as much as the file)
// is followed only where the rule allows, so that a stranger's link to another folder in a shared
// one cannot lead a write there.
bool UserPath::Follow(const std::string& path, std::string& resolved, std::string& refusal) {
  refusal.clear();
  std::vector<std::string> pending;
  PushParts(path, pending);
  std::string done = !path.empty() && path.front() == '/' ? "/" : "";
  int links = 0;
  while (!pending.empty()) {
    const std::string part = std::move(pending.back());
    pending.pop_back();
    if (part == "..") {
      // done holds no links, so its parent is the path's own.
      const bool up = done.empty() || done == ".." || done.ends_with("/..");
      if (up) {
        done = Join(done, "..");
      } else if (done != "/") {
        const std::size_t slash = done.find_last_of('/');
        done = slash == std::string::npos ? "" : slash == 0 ? "/" : done.substr(0, slash);
      }
      continue;
    }
    const std::string next = Join(done, part);
    struct stat st {};
    if (::lstat(next.c_str(), &st) != 0) {
      // Nothing there: the rest is a name to be made, with no link in it yet.
      done = next;
      for (; !pending.empty(); pending.pop_back()) done = Join(done, pending.back());
      break;
    }
    if (!S_ISLNK(st.st_mode)) {
      done = next;
      continue;
    }
    if (++links > kMaxLinks) {
      errno = ELOOP;
      return false;
    }
    std::string target;
    if (!MayFollowLink(next, st, refusal) || !ReadLink(next, st, target)) return false;
    if (target.front() == '/') done = "/";
    PushParts(target, pending);
  }
  resolved = done.empty() ? "." : done;
  return true;
}

namespace {

// The link may have been planted between the look and the open: then the open fails.
int OpenUnfollowed(const std::string& path, int flags, mode_t mode) {
  return ::open(path.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

// A FIFO without a reader fails a non-blocking open for writing (ENXIO): the user's own is waited
// on as a plain open would, a stranger's refused.
int OpenFifoToWrite(const std::string& path, int flags, mode_t mode, std::string& refusal) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISFIFO(st.st_mode)) return errno = ENXIO, -1;
  refusal = UserPath::WriteRefusal(path, st);
  if (!refusal.empty()) return errno = EACCES, -1;
  return OpenUnfollowed(path, flags & ~(O_CREAT | O_TRUNC | O_NONBLOCK), mode);
}

std::string ReadRefusal(const struct stat& st, std::string_view what) {
  const std::string kind = S_ISREG(st.st_mode) ? "a file" : KindOf(st);
  return "is " + kind + ", not a " + std::string(what);
}

bool Readable(const struct stat& st) { return S_ISREG(st.st_mode) || S_ISDIR(st.st_mode); }

}  // namespace

int UserPath::Open(const std::string& path, int flags, mode_t mode, std::string& refusal) {
  std::string resolved;
  if (!Follow(path, resolved, refusal)) return -1;
  const bool writes = (flags & O_ACCMODE) != O_RDONLY;
  // Nothing is truncated before the file is known to be ours to write.
  int fd = OpenUnfollowed(resolved, (flags & ~O_TRUNC) | O_NONBLOCK, mode);
  if (fd < 0 && errno == ENXIO && writes) fd = OpenFifoToWrite(resolved, flags, mode, refusal);
  if (fd < 0) return -1;
  struct stat st {};
  bool ok = ::fstat(fd, &st) == 0;
  if (ok && writes) refusal = WriteRefusal(resolved, st);
  if (!refusal.empty()) {
    ok = false;
    errno = EACCES;
  }
  if (ok && (flags & O_TRUNC) && S_ISREG(st.st_mode)) ok = ::ftruncate(fd, 0) == 0;
  // A FIFO written without O_NONBLOCK waits for its reader instead of failing with EAGAIN.
  if (ok && !(flags & O_NONBLOCK))
    ok = ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0;
  if (ok) return fd;
  const int error = errno;
  ::close(fd);
  errno = error;
  return -1;
}

bool UserPath::MayWrite(const std::string& path, std::string& refusal) {
  std::string resolved;
  if (!Follow(path, resolved, refusal)) return false;
  struct stat st {};
  if (::stat(resolved.c_str(), &st) != 0 || (refusal = WriteRefusal(resolved, st)).empty())
    return true;
  errno = EACCES;
  return false;
}

int UserPath::OpenToRead(const std::string& path, std::string_view what, std::string& refusal) {
  const int fd = Open(path, O_RDONLY | O_NONBLOCK, 0, refusal);
  struct stat st {};
  if (fd < 0 || (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))) return fd;
  ::close(fd);
  refusal = ReadRefusal(st, what);
  errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
  return -1;
}

bool UserPath::MayRead(const std::string& path, std::string_view what, std::string& refusal) {
  std::string resolved;
  if (!Follow(path, resolved, refusal)) return refusal.empty();  // a loop: the library says so
  struct stat st {};
  if (::stat(resolved.c_str(), &st) != 0 || Readable(st)) return true;
  refusal = ReadRefusal(st, what);
  return false;
}

// The kernel's may_create_in_sticky() at protected_fifos=2 and protected_regular=2, applied
// whatever the machine's settings: a stranger's file there may be a trap laid for this run.
std::string UserPath::WriteRefusal(const std::string& path, const struct stat& st) {
  if ((!S_ISFIFO(st.st_mode) && !S_ISREG(st.st_mode)) || st.st_uid == ::geteuid()) return {};
  const std::string folder = FolderOf(path);
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) != 0 || !(dir.st_mode & S_ISVTX) || st.st_uid == dir.st_uid ||
      !(dir.st_mode & (S_IWOTH | S_IWGRP)))
    return {};
  return path + " is " + KindOf(st) + " of user " + UserName(st.st_uid) + " in the shared folder " +
         folder + "; it is not written, and nothing is written there";
}

int UserPath::OpenSide(const std::string& path, int flags, std::string& refusal) {
  refusal.clear();
  // Never blocks: a FIFO planted at the name would hold an open for reading for ever.
  const int fd = ::open(path.c_str(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP || errno == ENXIO) refusal = SideRefusal(path);
    return -1;
  }
  struct stat st {};
  if (::fstat(fd, &st) == 0 && IsOwnSide(st)) return fd;
  ::close(fd);
  refusal = StrangerRefusal(path, st);
  errno = EEXIST;
  return -1;
}

int UserPath::CreateSide(const std::string& path, mode_t mode, std::string& refusal) {
  refusal.clear();
  std::string folder;
  if (!Follow(FolderOf(path), folder, refusal)) return -1;
  for (int round = 0; round < 2; ++round) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
    if (!IsOwnFile(path)) break;
    ::unlink(path.c_str());  // our own leftover: a new file takes its place
  }
  refusal = SideRefusal(path);
  errno = EEXIST;
  return -1;
}

std::string UserPath::SideRefusal(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || IsOwnSide(st)) return {};
  return StrangerRefusal(path, st);
}

bool UserPath::IsOwnFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && IsOwnSide(st);
}

void UserPath::RemoveOwnFile(const std::string& path) {
  if (IsOwnFile(path)) ::unlink(path.c_str());
}
