#include "apps/geodem/report/ReportVerdict.h"

#include "apps/geodem/JsonText.h"
#include "apps/geodem/Translation.h"

std::string ReportVerdict::Json() const {
  std::string json = std::string("{\"failing\":") + (failing() ? "true" : "false") +
                     ",\"headline\":" +
                     JsonText::Quote(failing() ? _("Failed") : _("Everything passed")) +
                     ",\"failures\":[";
  for (std::size_t i = 0; i < m_failures.size(); ++i)
    json += (i ? "," : "") + JsonText::Quote(m_failures[i]);
  json += "],\"badges\":[";
  for (std::size_t i = 0; i < m_badges.size(); ++i)
    json += std::string(i ? "," : "") + "{\"kind\":" + JsonText::Quote(m_badges[i].status) +
            ",\"text\":" + JsonText::Quote(m_badges[i].text) + "}";
  return json + "]}";
}
