#include "apps/geodem/WholeNumberRange.h"

#include <cerrno>
#include <cstdlib>

#include "apps/geodem/Translation.h"

namespace {

bool IsDecimalWhole(const std::string& text) {
  const std::size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
  if (text.size() == digits) return false;
  for (std::size_t i = digits; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

}  // namespace

std::optional<long long> WholeNumberRange::Read(const std::string& option, const std::string& text,
                                                std::string& error) const {
  const std::string min = std::to_string(min_), max = std::to_string(max_);
  if (!IsDecimalWhole(text)) {
    error = Tr("%s must be a whole number from %s to %s, not '%s'", option.c_str(), min.c_str(),
               max.c_str(), text.c_str());
    return std::nullopt;
  }
  errno = 0;
  const long long value = std::strtoll(text.c_str(), nullptr, 10);
  // Digits past what a long long holds are out of range as well.
  if (errno == ERANGE || value < min_ || value > max_) {
    error = Tr("%s must be from %s to %s, not %s", option.c_str(), min.c_str(), max.c_str(),
               text.c_str());
    return std::nullopt;
  }
  return value;
}

std::string WholeNumberRange::Check(const std::string& option, const std::string& text) const {
  std::string error;
  Read(option, text, error);
  return error;
}
