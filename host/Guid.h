#pragma once
// 16-byte identifiers of classes and interfaces, written in the braced form
// "{8E6D9C84-C547-4C93-B722-E7C63307398E}".
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

struct GUID {
  std::uint32_t Data1 = 0;
  std::uint16_t Data2 = 0;
  std::uint16_t Data3 = 0;
  std::array<std::uint8_t, 8> Data4{};

  friend constexpr bool operator==(const GUID&, const GUID&) = default;

  // The braced form, upper-case hex digits.
  std::string ToString() const;
  // Accepts the braced form (braces optional), either letter case; nothing for anything else.
  static std::optional<GUID> Parse(std::string_view text);
};

using IID = GUID;
using CLSID = GUID;

namespace guid_detail {
constexpr std::uint32_t HexDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0');
  if (c >= 'a' && c <= 'f') return static_cast<std::uint32_t>(c - 'a' + 10);
  if (c >= 'A' && c <= 'F') return static_cast<std::uint32_t>(c - 'A' + 10);
  throw "invalid hex digit in GUID literal";
}
constexpr std::uint32_t Hex(std::string_view s, std::size_t pos, std::size_t n) {
  std::uint32_t v = 0;
  for (std::size_t i = 0; i < n; ++i) v = v * 16 + HexDigit(s[pos + i]);
  return v;
}
}  // namespace guid_detail

// Compile-time GUID from "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}".
consteval GUID MakeGuid(std::string_view s) {
  if (s.size() != 38 || s[0] != '{' || s[37] != '}' || s[9] != '-' || s[14] != '-' ||
      s[19] != '-' || s[24] != '-')
    throw "malformed GUID literal";
  GUID g;
  g.Data1 = guid_detail::Hex(s, 1, 8);
  g.Data2 = static_cast<std::uint16_t>(guid_detail::Hex(s, 10, 4));
  g.Data3 = static_cast<std::uint16_t>(guid_detail::Hex(s, 15, 4));
  g.Data4[0] = static_cast<std::uint8_t>(guid_detail::Hex(s, 20, 2));
  g.Data4[1] = static_cast<std::uint8_t>(guid_detail::Hex(s, 22, 2));
  for (std::size_t i = 0; i < 6; ++i)
    g.Data4[2 + i] = static_cast<std::uint8_t>(guid_detail::Hex(s, 25 + 2 * i, 2));
  return g;
}

struct GuidHash {
  std::size_t operator()(const GUID& g) const noexcept {
    std::size_t h = g.Data1;
    h = h * 31 + g.Data2;
    h = h * 31 + g.Data3;
    for (auto b : g.Data4) h = h * 31 + b;
    return h;
  }
};
