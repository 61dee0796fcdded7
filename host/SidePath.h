#pragma once
// The path of a file that lives beside another one, named after it: "<file name><suffix>" in the
// same folder. A file name near the system's limit is shortened first, so that the side file can
// always be made.
#include <climits>
#include <string>
#include <string_view>

inline std::string SidePath(const std::string& path, std::string_view suffix) {
  constexpr std::size_t kNameMax = NAME_MAX;
  std::size_t nameStart = path.find_last_of('/');
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  std::string side = path;
  if (path.size() - nameStart + suffix.size() > kNameMax)
    side.resize(nameStart + kNameMax - suffix.size());
  side += suffix;
  return side;
}
