#include "apps/geodem/JsonText.h"

#include <gtest/gtest.h>

namespace {

// Every report must stay valid JSON whatever bytes a file name holds: UTF-8 passes, control
// characters are escaped, each byte that is not UTF-8 becomes U+FFFD.
TEST(JsonText, QuoteWritesValidUtf8ForAnyBytes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"a\"b\\c", "\"a\\\"b\\\\c\""},
      {"\x01\n", "\"\\u0001\\u000a\""},
      {"高程.dem", "\"高程.dem\""},
      {"\xca\xfd\xbe\xdd.dem", "\"\uFFFD\uFFFD\uFFFD\uFFFD.dem\""},  // GBK bytes
      {"\xe9\xab", "\"\uFFFD\uFFFD\""},                          // cut short
      {"\xc0\xaf", "\"\uFFFD\uFFFD\""},                          // overlong
      {"\xed\xa0\x80", "\"\uFFFD\uFFFD\uFFFD\""},                // surrogate
      {"\xf4\x90\x80\x80", "\"\uFFFD\uFFFD\uFFFD\uFFFD\""},      // past U+10FFFF
      {"\xf0\x9f\x97\xba", "\"\xf0\x9f\x97\xba\""},              // four bytes, valid
  };
  for (const auto& c : cases) EXPECT_EQ(JsonText::Quote(c.in), c.out) << c.in;
}

}  // namespace
