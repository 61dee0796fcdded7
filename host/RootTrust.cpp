#include "host/RootTrust.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>

namespace {

std::string OwnerName(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry ? entry->pw_name : "uid " + std::to_string(uid);
}

void WarnOnce(const std::string& path, const std::string& text) {
  static std::mutex mutex;
  static std::set<std::string> warned;
  std::lock_guard<std::mutex> hold(mutex);
  if (warned.insert(path).second) std::fprintf(stderr, "geodem: warning: %s\n", text.c_str());
}

}  // namespace

bool RootTrust::Trusts(const std::string& path, const char* what) {
  if (::geteuid() != 0) return true;
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return true;
  std::string folder = std::filesystem::path(path).parent_path().string();
  struct stat dir {};
  if (::stat(folder.empty() ? "." : folder.c_str(), &dir) != 0) return false;
  const bool fileIsRoots = file.st_uid == 0;
  if (fileIsRoots && dir.st_uid == 0) return true;
  WarnOnce(path, std::string("skipping the ") + what + " " + path + ": " +
                     (fileIsRoots ? "its folder belongs" : "it belongs") + " to user " +
                     OwnerName(fileIsRoots ? dir.st_uid : file.st_uid) +
                     ", and a program run as root reads only root's");
  return false;
}
