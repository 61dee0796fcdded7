#include "apps/geodem/Interruption.h"

#include <atomic>
#include <iterator>

#include "apps/geodem/Translation.h"
#include "host/GeoCancel.h"

namespace {

std::atomic<int> g_signal{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

constexpr int kSignals[] = {SIGINT, SIGTERM};  // as m_saved

void OnSignal(int signal) {
  int none = 0;
  if (g_signal.compare_exchange_strong(none, signal)) {
    RequestGeoCancel();
    return;
  }
  // A second signal, of either kind: the stop did not come, and the process ends as that signal
  // bids (pending until this handler returns).
  struct sigaction fallback {};
  fallback.sa_handler = SIG_DFL;
  sigemptyset(&fallback.sa_mask);
  sigaction(signal, &fallback, nullptr);
  raise(signal);
}

}  // namespace

Interruption::Interruption() {
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    sigaction(kSignals[i], &action, &m_saved[i]);
}

Interruption::~Interruption() {
  for (std::size_t i = 0; i < std::size(kSignals); ++i)
    sigaction(kSignals[i], &m_saved[i], nullptr);
}

int Interruption::Signal() { return g_signal.load(); }

const char* Interruption::Text() {
  return Signal() == SIGTERM ? _("interrupted by SIGTERM") : _("interrupted by SIGINT");
}

int Interruption::ExitStatus() { return 128 + Signal(); }
