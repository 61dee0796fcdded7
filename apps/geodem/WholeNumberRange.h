#pragma once
// The whole numbers a numeric option takes, and the one way every such option reads its value:
// decimal digits after an optional minus sign and nothing else, so that "0x10", "1e5", "1.5",
// "+3", " 7" and "" are refused rather than read as some other number.
#include <optional>
#include <string>

class WholeNumberRange {
 public:
  constexpr WholeNumberRange(long long min, long long max) : min_(min), max_(max) {}

  // The value of `text`, or nothing and `error` naming `option` (as the user gave it: "--zoom",
  // "-p DEM_ZOOM") with the range in plain numbers.
  std::optional<long long> Read(const std::string& option, const std::string& text,
                                std::string& error) const;
  // The same as an error text, empty when `text` is a number in range.
  std::string Check(const std::string& option, const std::string& text) const;

  long long min() const { return min_; }
  long long max() const { return max_; }

 private:
  long long min_, max_;
};
