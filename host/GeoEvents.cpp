#include "host/GeoEvents.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <vector>

#include "host/CodePage.h"

namespace {
std::atomic<GeoEventSink*> g_sink{nullptr};
}

GeoEventSink* SetGeoEventSink(GeoEventSink* sink) { return g_sink.exchange(sink); }

void FireGeoLog(const char16_t* text, std::int32_t level, std::uint32_t code) {
  if (GeoEventSink* sink = g_sink.load()) sink->OnLog(text ? text : u"", level, code);
}

void FireGeoProgress(std::int32_t done, std::int32_t total, std::int32_t reserved,
                     std::uint32_t code, const char16_t* text, std::int32_t* /*flag*/) {
  if (GeoEventSink* sink = g_sink.load())
    sink->OnProgress(done, total, reserved, code, text ? text : u"");
}

std::string FormatGbk(const char* utf8Format, ...) {
  // Formats are literals of the component; converting each call keeps this free of shared caches.
  std::string format = Utf8ToGbk(utf8Format);
  va_list args;
  va_start(args, utf8Format);
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(nullptr, 0, format.c_str(), copy);
  va_end(copy);
  std::string out;
  if (n > 0) {
    std::vector<char> buf(static_cast<std::size_t>(n) + 1);
    std::vsnprintf(buf.data(), buf.size(), format.c_str(), args);
    out.assign(buf.data(), static_cast<std::size_t>(n));
  }
  va_end(args);
  return out;
}

void FireGeoLogGbk(const std::string& gbkText, std::int32_t level, std::uint32_t code) {
  std::u16string wide = GbkToUtf16(gbkText);
  FireGeoLog(wide.c_str(), level, code);
}
