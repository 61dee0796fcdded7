#pragma once
// File-system and string utilities of the framework. Paths are narrow GBK strings; they are turned
// into UTF-8 only where they meet the operating system. A path is split at '/' and at '\\' alike
// (at character boundaries, so a GBK trail byte 0x5C is never taken for a separator): that is how
// the framework's backslash paths read on this platform.
#include <string>
#include <unordered_map>
#include <vector>

using StringList = std::vector<std::string>;
using StringToStringListMap = std::unordered_map<std::string, StringList>;

// Drive, directory (with its trailing separator), file name and extension (with its dot) of a path.
struct PathParts {
  std::string drive;
  std::string dir;
  std::string fname;
  std::string ext;
};
PathParts SplitPath(const std::string& path);

// 1 when the file name of path has the extension ext (given without the dot, compared ignoring
// case), else 0.
int IsFileType(std::string path, std::string ext);
// 0 when the path names a folder that a file name is to be appended to: it is empty, ends in a
// separator or names an existing folder. Any other path is used as a file path: 1.
int IsFileOrPath(std::string path);
// 1 when a regular file (or a link to one) exists at the path.
unsigned char IsFileExisting(std::string path);
// 1 when a folder exists at the path; the empty path is the current folder.
unsigned char IsDirExisting(std::string path);
// Creates the folder and every missing parent; 0 on success (also when it already existed).
int MakeLongDir(std::string path);
// Appends the pieces of text between separators to list, in order.
void SplitString(const std::string& text, const std::string& separator, StringList& list);
// Frees every list of the map and empties it.
void cleanMapStringToStringArray(StringToStringListMap& map);
