#pragma once
// A failure of the registry file, carrying the error code that the registry functions return and a
// readable account (GBK) of what went wrong where.
#include <stdexcept>
#include <string>

#include "host/Registry.h"

class RegistryError : public std::runtime_error {
 public:
  RegistryError(LONG code, const std::string& message) : std::runtime_error(message), code_(code) {}
  LONG Code() const { return code_; }

 private:
  LONG code_;
};
