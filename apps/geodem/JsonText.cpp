#include "apps/geodem/JsonText.h"

#include <charconv>
#include <cstdio>

namespace JsonText {

namespace {

// The length of the well-formed UTF-8 sequence at `at`, or 0 (stray, overlong or surrogate bytes,
// code points past U+10FFFF).
std::size_t Utf8SequenceAt(const std::string& text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned lead = byte(at);
  if (lead < 0x80) return 1;
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC2 ? 2 : 0;
  if (length == 0 || lead > 0xF4 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(at + i) & 0xC0) != 0x80) return 0;
  const unsigned second = byte(at + 1);
  if ((lead == 0xE0 && second < 0xA0) || (lead == 0xED && second >= 0xA0) ||
      (lead == 0xF0 && second < 0x90) || (lead == 0xF4 && second >= 0x90))
    return 0;
  return length;
}

}  // namespace

std::string Quote(const std::string& utf8) {
  std::string out = "\"";
  for (std::size_t at = 0; at < utf8.size(); ++at) {
    // A name of another code page (a GBK file name from a Windows share) must not make the
    // whole report unreadable: each byte that is not UTF-8 becomes U+FFFD.
    if (std::size_t length = Utf8SequenceAt(utf8, at); length != 1) {
      out += length == 0 ? std::string("\xEF\xBF\xBD") : utf8.substr(at, length);
      at += length == 0 ? 0 : length - 1;
      continue;
    }
    const char c = utf8[at];
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
          out += escaped;
        } else {
          out += c;
        }
    }
  }
  return out + "\"";
}

std::string Number(double value) {
  char text[32];
  auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

namespace {

class FlatReader {
 public:
  explicit FlatReader(const std::string& text) : text_(text) {}

  bool Read(std::map<std::string, std::string>& members) {
    if (!Skip('{')) return false;
    if (Skip('}')) return AtEnd();
    do {
      std::string key, value;
      if (!String(key) || !Skip(':') || !Value(value)) return false;
      members[key] = value;
    } while (Skip(','));
    return Skip('}') && AtEnd();
  }

 private:
  void Blank() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\r' || text_[pos_] == '\n'))
      ++pos_;
  }
  bool Skip(char c) {
    Blank();
    if (pos_ < text_.size() && text_[pos_] == c) return ++pos_, true;
    return false;
  }
  bool AtEnd() {
    Blank();
    return pos_ == text_.size();
  }
  bool String(std::string& out) {
    if (!Skip('"')) return false;
    while (pos_ < text_.size()) {
      char c = text_[pos_++];
      if (c == '"') return true;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (pos_ >= text_.size()) return false;
      char e = text_[pos_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'n': out += '\n'; break;
        case 't': out += '\t'; break;
        case 'r': out += '\r'; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'u': {
          // Only what Quote writes: control characters.
          unsigned code = 0;
          if (pos_ + 4 > text_.size()) return false;
          auto r = std::from_chars(text_.data() + pos_, text_.data() + pos_ + 4, code, 16);
          if (r.ptr != text_.data() + pos_ + 4 || code >= 0x80) return false;
          out += static_cast<char>(code);
          pos_ += 4;
          break;
        }
        default:
          return false;
      }
    }
    return false;
  }
  bool Value(std::string& out) {
    Blank();
    if (pos_ < text_.size() && text_[pos_] == '"') return String(out);
    std::size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != '}' &&
           text_[pos_] != ' ')
      ++pos_;
    out = text_.substr(start, pos_ - start);
    return !out.empty() && out.find_first_of("{[\"") == std::string::npos;
  }

  const std::string& text_;
  std::size_t pos_ = 0;
};

}  // namespace

std::optional<std::map<std::string, std::string>> ParseFlatObject(const std::string& text) {
  std::map<std::string, std::string> members;
  if (!FlatReader(text).Read(members)) return std::nullopt;
  return members;
}

}  // namespace JsonText
