#pragma once
// A set's folder as a journal names it (`from`, where it was written) and where it is read now
// (`to`): a name under the one is the same name under the other, so that a moved or copied set
// is judged by its own files. Names outside `from` stay as they are.
#include <string>

class FolderMove {
 public:
  FolderMove() = default;
  FolderMove(std::string from, std::string to) : m_from(std::move(from)), m_to(std::move(to)) {}

  bool moved() const { return !m_from.empty() && m_from != m_to; }
  std::string Path(const std::string& path) const {
    if (!moved() || path.size() <= m_from.size() || path.compare(0, m_from.size(), m_from) != 0 ||
        path[m_from.size()] != '/')
      return path;
    return m_to + path.substr(m_from.size());
  }

 private:
  std::string m_from, m_to;  // absolute, without a trailing '/'
};
