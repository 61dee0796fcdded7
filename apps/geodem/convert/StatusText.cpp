#include "apps/geodem/convert/StatusText.h"

#include <cstdio>

std::string StatusText(HRESULT hr) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%08X", static_cast<unsigned>(hr));
  return buf;
}
