#include "apps/geodem/convert/ConsoleEventSink.h"

#include <utility>

#include "apps/geodem/Interruption.h"
#include "apps/geodem/Translation.h"
#include "apps/geodem/convert/WriterReasonText.h"
#include "host/CodePage.h"

ConsoleEventSink::ConsoleEventSink(Console& console, ConversionProgress& progress,
                                   std::string hiddenMapping)
    : console_(console),
      progress_(progress),
      hiddenMapping_(std::move(hiddenMapping)),
      previous_(SetGeoEventSink(this)) {}

ConsoleEventSink::~ConsoleEventSink() { SetGeoEventSink(previous_); }

namespace {
// The title line of the statistics table, which the writer logs once a target's work is done.
constexpr std::uint32_t kStatisticsTitle = 0x20042;
// "打开映射文件 <path>", the mapping file's loader opening a job.
constexpr std::uint32_t kOpenMappingFile = 0x30410;
}  // namespace

void ConsoleEventSink::OnLog(const std::u16string& text, std::int32_t level, std::uint32_t code) {
  // A stopped run says so in one line: the statistics of what was dropped would only confuse.
  if (Interruption::Signal() && level < kLogError) return;
  std::string line = Utf16ToUtf8(text);
  if (code == kOpenMappingFile && !hiddenMapping_.empty() &&
      line.size() > hiddenMapping_.size() && line.ends_with(" " + hiddenMapping_))
    return;
  if (code == kStatisticsTitle) {
    progress_.EndConversion();  // the bar ends before the table
    // The table is the writer's, in its own words; this says what it counts.
    console_.Info(
        _("the writer's statistics below count raster blocks per grid file: received (总数), "
          "written (输出), not written (未输出)"));
  }
  console_.Log(level, line);
  // A refusal is the writer's own Chinese sentence; a user who reads English gets it in English.
  if (level == kLogError && !Translation::ReadsChinese()) {
    const std::string english = WriterReasonText::English(code, line);
    if (!english.empty()) console_.Log(level, Tr("the writer: %s", english.c_str()));
  }
}

void ConsoleEventSink::OnProgress(std::int32_t done, std::int32_t total, std::int32_t,
                                  std::uint32_t, const std::u16string&) {
  progress_.OnWriterProgress(done, total);
}
