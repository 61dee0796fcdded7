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

std::string StrangerRefusal(const std::string& path, const struct stat& st) {
  if (S_ISLNK(st.st_mode))
    return path + " is a symbolic link of user " + UserName(st.st_uid) +
           " where a file of this run's own belongs; it is not followed, and nothing is written";
  return path + " is in the way and belongs to user " + UserName(st.st_uid) +
         " (or is no regular file); it is not reused, and nothing is written";
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

bool UserPath::Follow(const std::string& path, std::string& resolved, std::string& refusal) {
  refusal.clear();
  std::string current = path;
  for (int hop = 0; hop < kMaxLinks; ++hop) {
    struct stat link {};
    if (::lstat(current.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) {
      resolved = current;
      return true;
    }
    const std::string folder = FolderOf(current);
    struct stat dir {};
    if (::stat(folder.c_str(), &dir) != 0) return false;
    if (SharedFolder(dir) && link.st_uid != ::geteuid() && link.st_uid != dir.st_uid) {
      refusal = LinkRefusal(current, link, folder);
      errno = EACCES;
      return false;
    }
    std::vector<char> target(static_cast<std::size_t>(link.st_size > 0 ? link.st_size : PATH_MAX) +
                             1);
    const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
    if (n < 0 || static_cast<std::size_t>(n) >= target.size()) {
      if (n >= 0) errno = ENAMETOOLONG;  // the link changed under us
      return false;
    }
    std::string next(target.data(), static_cast<std::size_t>(n));
    current = next.front() == '/' ? next : folder + "/" + next;
  }
  errno = ELOOP;
  return false;
}

int UserPath::Open(const std::string& path, int flags, mode_t mode, std::string& refusal) {
  std::string resolved;
  if (!Follow(path, resolved, refusal)) return -1;
  // The link may have been planted between the look and the open: then the open fails.
  return ::open(resolved.c_str(), flags | O_NOFOLLOW | O_CLOEXEC, mode);
}

int UserPath::CreateSide(const std::string& path, mode_t mode, std::string& refusal) {
  refusal.clear();
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
  if (::lstat(path.c_str(), &st) != 0 || IsOwnFile(path)) return {};
  return StrangerRefusal(path, st);
}

bool UserPath::IsOwnFile(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_uid == ::geteuid();
}

void UserPath::RemoveOwnFile(const std::string& path) {
  if (IsOwnFile(path)) ::unlink(path.c_str());
}
