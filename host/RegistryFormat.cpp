#include "host/RegistryFormat.h"

#include "host/CodePage.h"
#include "host/RegistryError.h"

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";

// How one kind of text marks the bytes that cannot stand as they are in a line of the file.
struct Escaping {
  bool (*mustEscape)(unsigned char asciiByte);
  void (*escape)(std::string& out, unsigned char byte);
};

void AppendHex(std::string& out, unsigned char byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0xF];
}

bool QuotedMustEscape(unsigned char c) { return c < 0x20 || c == 0x7F || c == '\\' || c == '"'; }

void QuotedEscape(std::string& out, unsigned char c) {
  switch (c) {
    case '\\':
      out += "\\\\";
      return;
    case '"':
      out += "\\\"";
      return;
    case '\n':
      out += "\\n";
      return;
    case '\r':
      out += "\\r";
      return;
    case '\t':
      out += "\\t";
      return;
    default:
      out += "\\x";
      AppendHex(out, c);
  }
}

bool NameMustEscape(unsigned char c) { return c < 0x20 || c == 0x7F || c == '%'; }

void NameEscape(std::string& out, unsigned char c) {
  out += '%';
  AppendHex(out, c);
}

constexpr Escaping kQuoted{QuotedMustEscape, QuotedEscape};
constexpr Escaping kName{NameMustEscape, NameEscape};

// True when the GBK text converts to UTF-8 and back unchanged; utf8 receives the conversion.
bool ConvertsBothWays(std::string_view gbk, std::string& utf8) {
  utf8 = GbkToUtf8(gbk);
  return Utf8ToGbk(utf8) == gbk;
}

// UTF-8 text as it stands, its special ASCII bytes escaped (multibyte sequences have no ASCII).
void AppendUtf8(std::string& out, std::string_view utf8, const Escaping& escaping) {
  for (char ch : utf8) {
    auto c = static_cast<unsigned char>(ch);
    if (c < 0x80 && escaping.mustEscape(c)) {
      escaping.escape(out, c);
    } else {
      out += ch;
    }
  }
}

bool IsAscii(std::string_view text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

void AppendEncoded(std::string& out, std::string_view gbk, const Escaping& escaping) {
  if (IsAscii(gbk)) return AppendUtf8(out, gbk, escaping);  // most of a registry: no conversion
  std::string utf8;
  if (ConvertsBothWays(gbk, utf8)) return AppendUtf8(out, utf8, escaping);
  // Some bytes do not convert: go character by character and escape just those.
  for (std::size_t i = 0; i < gbk.size(); ++i) {
    auto c = static_cast<unsigned char>(gbk[i]);
    if (c < 0x80) {
      AppendUtf8(out, gbk.substr(i, 1), escaping);
    } else if (IsGbkLeadByte(c) && i + 1 < gbk.size() && ConvertsBothWays(gbk.substr(i, 2), utf8)) {
      out += utf8;
      ++i;
    } else {
      escaping.escape(out, c);
    }
  }
}

std::string Quoted(std::string_view gbk) {
  std::string out = "\"";
  AppendEncoded(out, gbk, kQuoted);
  out += '"';
  return out;
}

void WriteKey(std::string& out, const RegistryTree::Key& key, const std::string& path,
              bool isRoot) {
  if (!isRoot || !key.values.empty()) {
    out += "\n[" + path + "]\n";
    for (const auto& [name, value] : key.values)
      out += (name.empty() ? std::string("@") : Quoted(name)) + "=" + Quoted(value) + "\n";
  }
  for (const auto& [name, subkey] : key.subkeys) {
    std::string subPath = isRoot ? std::string() : path + "\\";
    AppendEncoded(subPath, name, kName);
    WriteKey(out, subkey, subPath, false);
  }
}

// Reads one line of the file; every complaint names the file and the line.
class LineReader {
 public:
  LineReader(std::string_view line, const std::string& source, std::size_t number)
      : line_(line), source_(source), number_(number) {}

  [[noreturn]] void Fail(const std::string& reason) const {
    throw RegistryError(ERROR_BADDB, Utf8ToGbk(source_) + ":" + std::to_string(number_) + ": " +
                                         reason + " (the registry file is not changed)");
  }

  bool AtEnd() const { return pos_ >= line_.size(); }
  char Peek() const { return AtEnd() ? '\0' : line_[pos_]; }
  void Expect(char c, const char* what) {
    if (Peek() != c) Fail(std::string("expected ") + what);
    ++pos_;
  }

  // A quoted text starting at the current position, as GBK.
  std::string Quoted() {
    Expect('"', "'\"'");
    std::string gbk, run;
    for (;;) {
      if (AtEnd()) Fail("unterminated quoted text");
      char ch = line_[pos_++];
      if (ch == '"') break;
      if (static_cast<unsigned char>(ch) < 0x20) Fail("unescaped control character");
      if (ch != '\\') {
        run += ch;
        continue;
      }
      if (AtEnd()) Fail("unterminated quoted text");
      switch (char e = line_[pos_++]) {
        case '\\':
        case '"':
          run += e;
          break;
        case 'n':
          run += '\n';
          break;
        case 'r':
          run += '\r';
          break;
        case 't':
          run += '\t';
          break;
        case 'x':
          Flush(run, gbk);
          gbk += HexByte(line_.size());
          break;
        default:
          Fail(std::string("unknown escape \\") + e);
      }
    }
    Flush(run, gbk);
    return gbk;
  }

  // The key path of a header line "[...]".
  RegistryKeyPath Header() {
    if (line_.size() < 2 || line_.back() != ']') Fail("a key header must end with ']'");
    RegistryKeyPath path;
    const std::size_t end = line_.size() - 1;
    if (end == 1) return path;  // "[]": values of the root
    std::string gbk, run;
    for (pos_ = 1; pos_ <= end;) {
      char ch = line_[pos_];
      if (pos_ == end || ch == '\\') {
        Flush(run, gbk);
        if (gbk.empty()) Fail("empty key name in the path");
        path.push_back(std::move(gbk));
        gbk.clear();
        ++pos_;
      } else if (ch == '%') {
        ++pos_;
        Flush(run, gbk);
        gbk += HexByte(end);
      } else {
        if (static_cast<unsigned char>(ch) < 0x20) Fail("unescaped control character");
        run += ch;
        ++pos_;
      }
    }
    return path;
  }

 private:
  // Two hex digits at the current position, before `limit`.
  char HexByte(std::size_t limit) {
    if (pos_ + 2 > limit) Fail("an escape needs two hex digits");
    int value = 0;
    for (std::size_t i = pos_; i < pos_ + 2; ++i) {
      char c = line_[i];
      int digit = c >= '0' && c <= '9'   ? c - '0'
                  : c >= 'A' && c <= 'F' ? c - 'A' + 10
                  : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                         : -1;
      if (digit < 0) Fail("an escape needs two hex digits");
      value = value * 16 + digit;
    }
    pos_ += 2;
    return static_cast<char>(value);
  }

  // Moves a run of plain UTF-8 text into the GBK result.
  void Flush(std::string& run, std::string& gbk) const {
    if (IsAscii(run)) {
      gbk += run;
      run.clear();
      return;
    }
    std::string converted = Utf8ToGbk(run);
    if (GbkToUtf8(converted) != run) Fail("text that is not UTF-8 or has a character outside GBK");
    gbk += converted;
    run.clear();
  }

  std::string_view line_;
  const std::string& source_;
  std::size_t number_;
  std::size_t pos_ = 0;
};

bool IsBlank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

}  // namespace

std::string RegistryFormat::Write(const RegistryTree& tree) {
  std::string out(kSignature);
  out +=
      "\n; HKEY_CLASSES_ROOT of the geodem host runtime, rewritten whole on every change.\n"
      "; [key\\path] starts a key; @=\"text\" is its default value, \"name\"=\"text\" a named "
      "value.\n"
      "; The text is UTF-8; quoted texts escape \\\\ \\\" \\n \\r \\t and other bytes as \\xHH, "
      "key names escape % and control bytes as %HH.\n";
  WriteKey(out, tree.Root(), std::string(), true);
  return out;
}

RegistryTree RegistryFormat::Read(std::string_view text, const std::string& source) {
  constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";  // left by some editors
  if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
  RegistryTree tree;
  RegistryTree::Key* current = nullptr;
  bool signed_ = false;
  std::size_t number = 0;
  while (!text.empty()) {
    std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (IsBlank(line) || line.front() == ';' || line.front() == '#') continue;
    LineReader reader(line, source, number);
    if (!signed_) {
      if (line != kSignature)
        reader.Fail("not a registry file: its first line must read \"" + std::string(kSignature) +
                    "\"");
      signed_ = true;
      continue;
    }
    if (line.front() == '[') {
      current = &tree.Create(reader.Header());
      continue;
    }
    if (!current) reader.Fail("a value before the first key header");
    std::string name;
    if (reader.Peek() == '@') {
      reader.Expect('@', "'@'");
    } else {
      name = reader.Quoted();
      if (name.empty()) reader.Fail("an empty value name (the default value is written @)");
    }
    reader.Expect('=', "'=' after the value name");
    std::string value = reader.Quoted();
    if (!reader.AtEnd()) reader.Fail("text after the value");
    current->values[name] = std::move(value);
  }
  return tree;
}
