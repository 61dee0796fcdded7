#include "apps/geodem/batch/BatchProgress.h"
#include "apps/geodem/Translation.h"

#include <cstdio>

BatchProgress::BatchProgress(Console& console, bool shown, bool terminal, std::size_t total,
                             std::size_t done, std::size_t failed)
    : console_(console),
      shown_(shown),
      terminal_(terminal),
      total_(total),
      done_(done),
      failed_(failed) {
  Show();
}

void BatchProgress::TileEnded(bool failed) {
  ++endedThisRun_;
  if (failed)
    ++failed_;
  else
    ++done_;
  Show();
}

void BatchProgress::Finish() {
  if (shown_ && terminal_) console_.EndProgressLine();
}

std::string BatchProgress::Duration(double seconds) {
  long long s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

std::string BatchProgress::Text() const {
  double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
  std::string text = Tr("batch: %s/%s done, %s failed, %s elapsed", std::to_string(done_).c_str(),
                        std::to_string(total_).c_str(), std::to_string(failed_).c_str(),
                        Duration(elapsed).c_str());
  std::size_t left = total_ - done_ - failed_;
  if (endedThisRun_ > 0 && left > 0)
    text += Tr(", about %s left", Duration(elapsed / static_cast<double>(endedThisRun_) *
                                           static_cast<double>(left))
                                      .c_str());
  return text;
}

void BatchProgress::Show() {
  if (!shown_) return;
  if (terminal_)
    console_.Progress("\r" + Text() + "\033[K", false);
  else
    console_.Progress(Text(), true);
}
