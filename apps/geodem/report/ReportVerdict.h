#pragma once
// What a run found, said once: the exit status, the banner at the top of its page and the page's
// badges all read this one object, so that a page can never call "ok" a run that exits 1.
// Whatever makes the run fail is named by Fail (one line each, with counts); Badge adds a count
// to the summary without failing the run.
#include <string>
#include <vector>

class ReportVerdict {
 public:
  struct Badge {
    std::string status;  // the page's status word, which colours the badge ("errors", "ok", ...)
    std::string text;    // as the user reads it, translated
  };

  void AddBadge(std::string status, std::string text) {
    m_badges.push_back({std::move(status), std::move(text)});
  }
  void Fail(std::string what) { m_failures.push_back(std::move(what)); }

  bool failing() const { return !m_failures.empty(); }
  int ExitStatus() const { return failing() ? 1 : 0; }
  const std::vector<std::string>& failures() const { return m_failures; }
  const std::vector<Badge>& badges() const { return m_badges; }

  // {"failing":true,"headline":"...","failures":["..."],"badges":[{"kind":..,"text":..}]}
  std::string Json() const;

 private:
  std::vector<Badge> m_badges;
  std::vector<std::string> m_failures;
};
