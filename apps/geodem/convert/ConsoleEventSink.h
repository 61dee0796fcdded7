#pragma once
// Receives the writer's log and progress events for as long as it lives: log lines go to the
// console in UTF-8, progress steps to the target's progress. The writer announces the mapping file
// it opens; a file that geodem made for the job (`hiddenMapping`) is not the user's concern.
#include <string>

#include "apps/geodem/Console.h"
#include "apps/geodem/convert/ConversionProgress.h"
#include "host/GeoEvents.h"

class ConsoleEventSink : public GeoEventSink {
 public:
  ConsoleEventSink(Console& console, ConversionProgress& progress, std::string hiddenMapping = {});
  ~ConsoleEventSink() override;
  ConsoleEventSink(const ConsoleEventSink&) = delete;
  ConsoleEventSink& operator=(const ConsoleEventSink&) = delete;

  void OnLog(const std::u16string& text, std::int32_t level, std::uint32_t code) override;
  void OnProgress(std::int32_t done, std::int32_t total, std::int32_t reserved, std::uint32_t code,
                  const std::u16string& text) override;

 private:
  Console& console_;
  ConversionProgress& progress_;
  std::string hiddenMapping_;
  GeoEventSink* previous_;
};
