#include "host/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <stdexcept>
#include <vector>

namespace {

// Converts with iconv; unconvertible or malformed input becomes '?' in the target encoding.
template <class Out>
Out Convert(const char* to, const char* from, const void* data, std::size_t bytes,
            std::size_t unitIn, const Out& question, bool* replaced = nullptr) {
  Out out;
  if (bytes == 0) return out;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  auto* in = const_cast<char*>(static_cast<const char*>(data));
  std::size_t inLeft = bytes;
  std::vector<char> buf(bytes * 4 + 16);
  using Unit = typename Out::value_type;
  while (inLeft > 0) {
    char* outPtr = buf.data();
    std::size_t outLeft = buf.size();
    std::size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(reinterpret_cast<const Unit*>(buf.data()),
               (buf.size() - outLeft) / sizeof(Unit));
    if (r == static_cast<std::size_t>(-1)) {
      if (errno == E2BIG) continue;
      // EILSEQ or EINVAL: skip one input unit and mark the spot.
      out += question;
      if (replaced) *replaced = true;
      std::size_t skip = std::min(unitIn, inLeft);
      in += skip;
      inLeft -= skip;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

std::string Utf16ToGbk(std::u16string_view text) {
  return Convert<std::string>("GBK", "UTF-16LE", text.data(), text.size() * 2, 2, "?");
}

std::optional<std::string> Utf16ToGbkExact(std::u16string_view text) {
  bool replaced = false;
  std::string gbk =
      Convert<std::string>("GBK", "UTF-16LE", text.data(), text.size() * 2, 2, "?", &replaced);
  if (replaced) return std::nullopt;
  return gbk;
}

std::optional<std::string> Utf16ToGbkExact(const char16_t* text) {
  return Utf16ToGbkExact(text ? std::u16string_view(text) : std::u16string_view());
}

std::string Utf16ToGbk(const char16_t* text) {
  return text ? Utf16ToGbk(std::u16string_view(text)) : std::string();
}

std::u16string GbkToUtf16(std::string_view gbk) {
  return Convert<std::u16string>("UTF-16LE", "GBK", gbk.data(), gbk.size(), 1, u"?");
}

std::string GbkToUtf8(std::string_view gbk) {
  return Convert<std::string>("UTF-8", "GBK", gbk.data(), gbk.size(), 1, "?");
}

std::string Utf8ToGbk(std::string_view utf8) {
  return Convert<std::string>("GBK", "UTF-8", utf8.data(), utf8.size(), 1, "?");
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
  return Convert<std::u16string>("UTF-16LE", "UTF-8", utf8.data(), utf8.size(), 1, u"?");
}

std::string Utf16ToUtf8(std::u16string_view text) {
  return Convert<std::string>("UTF-8", "UTF-16LE", text.data(), text.size() * 2, 2, "?");
}

std::string GbkToUpper(std::string_view gbk) {
  std::string out(gbk);
  for (std::size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (IsGbkLeadByte(c)) {
      ++i;  // the trail byte belongs to the character
    } else if (c >= 'a' && c <= 'z') {
      out[i] = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

int GbkCompareNoCase(std::string_view a, std::string_view b) {
  std::size_t i = 0;
  bool trail = false;
  for (; i < a.size() && i < b.size(); ++i) {
    auto ca = static_cast<unsigned char>(a[i]);
    auto cb = static_cast<unsigned char>(b[i]);
    if (!trail) {
      if (ca >= 'a' && ca <= 'z') ca = static_cast<unsigned char>(ca - 'a' + 'A');
      if (cb >= 'a' && cb <= 'z') cb = static_cast<unsigned char>(cb - 'a' + 'A');
    }
    if (ca != cb) return ca < cb ? -1 : 1;
    trail = !trail && IsGbkLeadByte(ca);
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

std::size_t GbkFind(std::string_view hay, std::string_view needle, std::size_t from) {
  for (std::size_t i = 0; i < hay.size(); ++i) {
    if (i >= from && hay.substr(i, needle.size()) == needle) return i;
    if (IsGbkLeadByte(static_cast<unsigned char>(hay[i]))) ++i;
  }
  return needle.empty() && from <= hay.size() ? from : std::string_view::npos;
}

std::size_t GbkFindLastSeparator(std::string_view path) {
  std::size_t found = std::string_view::npos;
  for (std::size_t i = 0; i < path.size(); ++i) {
    auto c = static_cast<unsigned char>(path[i]);
    if (IsGbkLeadByte(c)) {
      ++i;
    } else if (c == '/' || c == '\\') {
      found = i;
    }
  }
  return found;
}
