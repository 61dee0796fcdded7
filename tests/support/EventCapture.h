#pragma once
// Captures log and progress events for the lifetime of the object, converted back to GBK and UTF-8
// for easy comparison.
#include <cstdint>
#include <string>
#include <vector>

#include "host/CodePage.h"
#include "host/GeoEvents.h"

struct CapturedLog {
  std::u16string text;
  std::int32_t level;
  std::uint32_t code;
  std::string Utf8() const { return Utf16ToUtf8(text); }
  std::string Gbk() const { return Utf16ToGbk(text); }
};

struct CapturedProgress {
  std::int32_t done, total, reserved;
  std::uint32_t code;
  std::u16string text;
  std::string Utf8() const { return Utf16ToUtf8(text); }
};

class EventCapture : public GeoEventSink {
 public:
  EventCapture() { previous_ = SetGeoEventSink(this); }
  ~EventCapture() override { SetGeoEventSink(previous_); }

  void OnLog(const std::u16string& text, std::int32_t level, std::uint32_t code) override {
    logs.push_back({text, level, code});
  }
  void OnProgress(std::int32_t done, std::int32_t total, std::int32_t reserved, std::uint32_t code,
                  const std::u16string& text) override {
    progress.push_back({done, total, reserved, code, text});
  }
  // Log texts in UTF-8, in order.
  std::vector<std::string> LogTexts() const {
    std::vector<std::string> out;
    for (const auto& l : logs) out.push_back(l.Utf8());
    return out;
  }
  void Clear() {
    logs.clear();
    progress.clear();
  }

  std::vector<CapturedLog> logs;
  std::vector<CapturedProgress> progress;

 private:
  GeoEventSink* previous_;
};
