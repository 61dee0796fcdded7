#pragma once
// The valid name nearest to a mistyped one (a subcommand, an option), for a "did you mean" hint:
// letters inserted, dropped, changed or swapped with their neighbour count one edit each, letter
// case and leading dashes count nothing. Only names within about a third of the typed word's
// length are offered, so that a word that resembles nothing gets no hint.
#include <algorithm>
#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

class ClosestName {
 public:
  // The nearest of `names` to `typed` (the first of equals), or empty when none is near enough.
  static std::string Among(std::string_view typed, const std::vector<std::string>& names) {
    const std::string word = Bare(typed);
    const std::size_t allowed = word.size() / 3;
    std::string best;
    std::size_t bestDistance = allowed + 1;
    for (const std::string& name : names) {
      const std::size_t d = Distance(word, Bare(name));
      if (d < bestDistance) {
        bestDistance = d;
        best = name;
      }
    }
    return best;
  }

  // Edits from a to b: insertions, deletions, changes and swaps of neighbours.
  static std::size_t Distance(std::string_view a, std::string_view b) {
    // rows[0..2]: the rows of the table two back, one back and now.
    std::vector<std::vector<std::size_t>> rows(3, std::vector<std::size_t>(b.size() + 1));
    for (std::size_t j = 0; j <= b.size(); ++j) rows[1][j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
      std::vector<std::size_t>& now = rows[2];
      const std::vector<std::size_t>& last = rows[1];
      now[0] = i;
      for (std::size_t j = 1; j <= b.size(); ++j) {
        const std::size_t change = last[j - 1] + (a[i - 1] == b[j - 1] ? 0 : 1);
        now[j] = std::min({last[j] + 1, now[j - 1] + 1, change});
        if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1])
          now[j] = std::min(now[j], rows[0][j - 2] + 1);
      }
      std::rotate(rows.begin(), rows.begin() + 1, rows.end());
    }
    return rows[1][b.size()];
  }

 private:
  static std::string Bare(std::string_view name) {
    name.remove_prefix(std::min(name.find_first_not_of('-'), name.size()));
    std::string lower(name);
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
  }
};
