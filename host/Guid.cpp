#include "host/Guid.h"

#include <cstdio>

std::string GUID::ToString() const {
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                static_cast<unsigned>(Data1), Data2, Data3, Data4[0], Data4[1], Data4[2],
                Data4[3], Data4[4], Data4[5], Data4[6], Data4[7]);
  return buf;
}

std::optional<GUID> GUID::Parse(std::string_view text) {
  if (text.size() == 38 && text.front() == '{' && text.back() == '}')
    text = text.substr(1, 36);
  if (text.size() != 36) return std::nullopt;
  static constexpr std::size_t kDashes[] = {8, 13, 18, 23};
  std::string hex;
  for (std::size_t i = 0; i < text.size(); ++i) {
    bool dash = i == kDashes[0] || i == kDashes[1] || i == kDashes[2] || i == kDashes[3];
    char c = text[i];
    if (dash) {
      if (c != '-') return std::nullopt;
      continue;
    }
    bool isHex = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (!isHex) return std::nullopt;
    hex.push_back(c);
  }
  auto field = [&](std::size_t pos, std::size_t n) {
    return static_cast<std::uint32_t>(std::stoul(hex.substr(pos, n), nullptr, 16));
  };
  GUID g;
  g.Data1 = field(0, 8);
  g.Data2 = static_cast<std::uint16_t>(field(8, 4));
  g.Data3 = static_cast<std::uint16_t>(field(12, 4));
  for (std::size_t i = 0; i < 8; ++i) g.Data4[i] = static_cast<std::uint8_t>(field(16 + 2 * i, 2));
  return g;
}
