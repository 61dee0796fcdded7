#include "apps/geodem/DecimalNumber.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>

std::optional<double> DecimalNumber::Parse(const std::string& text) {
  if (text.empty() || text.find_first_not_of("0123456789.-+eE") != std::string::npos)
    return std::nullopt;
  char* end = nullptr;
  errno = 0;
  double value = std::strtod(text.c_str(), &end);
  if (errno != 0 || *end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}
