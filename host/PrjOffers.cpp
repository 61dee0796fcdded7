#include "host/PrjOffers.h"

#include <map>
#include <mutex>

namespace {

std::mutex g_mutex;

std::map<std::string, std::string>& Offers() {
  static std::map<std::string, std::string> offers;
  return offers;
}

}  // namespace

void PrjOffers::Offer(const std::string& grid, const std::string& text) {
  const std::lock_guard<std::mutex> hold(g_mutex);
  Offers()[grid] = text;
}

std::optional<std::string> PrjOffers::Find(const std::string& grid) {
  const std::lock_guard<std::mutex> hold(g_mutex);
  const auto found = Offers().find(grid);
  if (found == Offers().end()) return std::nullopt;
  return found->second;
}

void PrjOffers::Withdraw(const std::string& grid) {
  const std::lock_guard<std::mutex> hold(g_mutex);
  Offers().erase(grid);
}
