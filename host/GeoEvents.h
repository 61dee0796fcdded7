#pragma once
// Log and progress events. Components raise them synchronously on the calling thread; the host
// installs one sink for the process (the command line prints them, tests capture them). With no
// sink installed the events are dropped.
#include <cstdint>
#include <string>

void FireGeoLog(const char16_t* text, std::int32_t level, std::uint32_t code);
void FireGeoProgress(std::int32_t done, std::int32_t total, std::int32_t reserved,
                     std::uint32_t code, const char16_t* text, std::int32_t* flag);

class GeoEventSink {
 public:
  virtual ~GeoEventSink() = default;
  virtual void OnLog(const std::u16string& text, std::int32_t level, std::uint32_t code) = 0;
  virtual void OnProgress(std::int32_t done, std::int32_t total, std::int32_t reserved,
                          std::uint32_t code, const std::u16string& text) = 0;
};

// Installs the sink (null removes it) and returns the one installed before.
GeoEventSink* SetGeoEventSink(GeoEventSink* sink);

// Message levels.
inline constexpr std::int32_t kLogInfo = 0;
inline constexpr std::int32_t kLogError = 2;
inline constexpr std::int32_t kLogException = 3;

// Composes a message: the format is a UTF-8 literal of the source, turned into GBK first so that
// printf widths count GBK bytes; the arguments are GBK strings and numbers.
std::string FormatGbk(const char* utf8Format, ...) __attribute__((format(printf, 1, 2)));
// Raises a log event for a GBK text (converted to UTF-16 for the call).
void FireGeoLogGbk(const std::string& gbkText, std::int32_t level, std::uint32_t code);
