#include "apps/geodem/ConsoleEventSink.h"

#include "apps/geodem/Interruption.h"
#include "host/CodePage.h"

ConsoleEventSink::ConsoleEventSink(Console& console, ConversionProgress& progress)
    : console_(console), progress_(progress), previous_(SetGeoEventSink(this)) {}

ConsoleEventSink::~ConsoleEventSink() { SetGeoEventSink(previous_); }

namespace {
// The title line of the statistics table, which the writer logs once a target's work is done.
constexpr std::uint32_t kStatisticsTitle = 0x20042;
}  // namespace

void ConsoleEventSink::OnLog(const std::u16string& text, std::int32_t level, std::uint32_t code) {
  // A stopped run says so in one line: the statistics of what was dropped would only confuse.
  if (Interruption::Signal() && level < kLogError) return;
  if (code == kStatisticsTitle) progress_.EndConversion();  // the bar ends before the table
  console_.Log(level, Utf16ToUtf8(text));
}

void ConsoleEventSink::OnProgress(std::int32_t done, std::int32_t total, std::int32_t,
                                  std::uint32_t, const std::u16string&) {
  progress_.OnWriterProgress(done, total);
}
