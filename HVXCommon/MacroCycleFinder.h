#pragma once
// Finds the macros whose expansion would never end: those whose value leads back to the macro
// itself through the references in the values, directly or through other macros. Expansion asks
// before it substitutes a macro, so a cycle ends it at once with the text as it stood.
//
// The answers are remembered until the number of macros changes (macros are only ever added
// while a file is read, and a new macro can close a cycle through names that were missing).
#include <cstddef>
#include <string>
#include <unordered_map>

using StringMap = std::unordered_map<std::string, std::string>;

class MacroCycleFinder {
 public:
  bool IsCyclic(const StringMap& macros, const std::string& name);
  // Forgets every answer: the macros of another load may have the same count and other values.
  void Reset();

 private:
  // Strongly connected components of everything reachable from start that is not known yet
  // (Tarjan's algorithm, without recursion so that no chain of macros can exhaust the stack).
  void Explore(const StringMap& macros, const std::string& start);

  std::unordered_map<std::string, bool> known_;
  std::size_t knownForCount_ = 0;
};
