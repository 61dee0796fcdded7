#include "host/HVXBaseLib.h"

#include <sys/stat.h>

#include <cctype>
#include <cerrno>

#include "host/CodePage.h"

PathParts SplitPath(const std::string& path) {
  PathParts parts;
  std::string rest = path;
  if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
    parts.drive = rest.substr(0, 2);
    rest.erase(0, 2);
  }
  std::size_t sep = GbkFindLastSeparator(rest);
  if (sep != std::string::npos) {
    parts.dir = rest.substr(0, sep + 1);
    rest.erase(0, sep + 1);
  }
  // The extension starts at the last dot of the file name; a name that is only dots has none.
  std::size_t dot = std::string::npos;
  for (std::size_t i = 0; i < rest.size(); ++i) {
    auto c = static_cast<unsigned char>(rest[i]);
    if (IsGbkLeadByte(c)) {
      ++i;
    } else if (c == '.') {
      dot = i;
    }
  }
  if (dot != std::string::npos && rest.find_first_not_of('.') != std::string::npos) {
    parts.ext = rest.substr(dot);
    rest.erase(dot);
  }
  parts.fname = rest;
  return parts;
}

int IsFileType(std::string path, std::string ext) {
  PathParts parts = SplitPath(path);
  if (parts.ext.size() < 2) return 0;
  return GbkEqualsNoCase(parts.ext.substr(1), ext) ? 1 : 0;
}

int IsFileOrPath(std::string path) {
  if (path.empty()) return 0;
  if (GbkFindLastSeparator(path) == path.size() - 1) return 0;
  // An existing folder named without the separator is a folder all the same: taken for a file,
  // its name would become the output file's, and the output would fail or land beside it.
  return IsDirExisting(path) ? 0 : 1;
}

unsigned char IsFileExisting(std::string path) {
  struct stat st;
  if (path.empty() || ::stat(OsPath(path).c_str(), &st) != 0) return 0;
  return S_ISREG(st.st_mode) ? 1 : 0;
}

unsigned char IsDirExisting(std::string path) {
  struct stat st;
  std::string os = path.empty() ? "." : OsPath(path);
  return ::stat(os.c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 1 : 0;
}

int MakeLongDir(std::string path) {
  if (path.empty() || IsDirExisting(path)) return 0;
  // Strip trailing separators, then make the parent first.
  while (path.size() > 1 && GbkFindLastSeparator(path) == path.size() - 1) path.pop_back();
  std::size_t sep = GbkFindLastSeparator(path);
  if (sep != std::string::npos && sep > 0) {
    int r = MakeLongDir(path.substr(0, sep));
    if (r != 0) return r;
  }
  if (::mkdir(OsPath(path).c_str(), 0777) == 0) return 0;
  return errno == EEXIST && IsDirExisting(path) ? 0 : 1;
}

void SplitString(const std::string& text, const std::string& separator, StringList& list) {
  if (separator.empty()) {
    list.push_back(text);
    return;
  }
  std::size_t start = 0;
  for (;;) {
    std::size_t pos = GbkFind(text, separator, start);
    if (pos == std::string::npos) {
      list.push_back(text.substr(start));
      return;
    }
    list.push_back(text.substr(start, pos - start));
    start = pos + separator.size();
  }
}

void cleanMapStringToStringArray(StringToStringListMap& map) { map.clear(); }
