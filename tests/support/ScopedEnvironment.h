#pragma once
// Sets or unsets environment variables for the lifetime of the object and restores them afterwards.
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScopedEnvironment {
 public:
  // Each name with its value, or nothing to unset it.
  ScopedEnvironment(
      std::initializer_list<std::pair<std::string, std::optional<std::string>>> settings) {
    for (const auto& [name, value] : settings) {
      const char* previous = std::getenv(name.c_str());
      saved_.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
      Apply(name, value);
    }
  }
  ~ScopedEnvironment() {
    for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) Apply(it->first, it->second);
  }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  static void Apply(const std::string& name, const std::optional<std::string>& value) {
    value ? ::setenv(name.c_str(), value->c_str(), 1) : ::unsetenv(name.c_str());
  }

  std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
