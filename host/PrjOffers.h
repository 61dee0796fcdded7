#pragma once
// The .prj texts a program prepared for the grids it is about to write, by grid path, for the
// commit that writes the grid to put beside it under the target's lock. The commit may run in a
// component module that the program loaded (geodem drives the writer component), so the offers are
// one state in the process, kept in the shared host library.
#include <optional>
#include <string>

class PrjOffers {
 public:
  static void Offer(const std::string& grid, const std::string& text);
  static std::optional<std::string> Find(const std::string& grid);
  static void Withdraw(const std::string& grid);
};
