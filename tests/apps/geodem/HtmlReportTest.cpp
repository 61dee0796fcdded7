// The HTML report page as text: what a file's name or a finding can do to it, and what the page
// declares before its script runs. How it behaves in a browser: report_in_chromium.py.
#include <gtest/gtest.h>

#include <string>

#include "apps/geodem/report/HtmlReport.h"

namespace {

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(HtmlReport, AFileNameCannotEndTheDataElement) {
  HtmlReport report("geodem check");
  report.Add(R"({"file":"a</script><script>alert(1)</script>.dem","status":"ok",)"
             R"("errors":[{"message":"<!-- x & y >"}],"warnings":[]})",
             {});
  const std::string page = report.Page();
  // The data element's end and the page's own script: no other.
  EXPECT_EQ(Count(page, "</script"), 2u);
  EXPECT_EQ(Count(page, "<script"), 2u);
  EXPECT_EQ(Count(page, "<!--"), 0u);
  EXPECT_NE(page.find(R"(a\u003c/script\u003e\u003cscript\u003ealert(1))"), std::string::npos);
}

TEST(HtmlReport, LanguageTitleAndPolicyAreThereBeforeTheScriptRuns) {
  const std::string page = HtmlReport("geodem check").Page();
  EXPECT_NE(page.find("<html lang=\"en\">"), std::string::npos);
  EXPECT_NE(page.find("<title>geodem check report</title>"), std::string::npos);
  EXPECT_EQ(page.find("unsafe-inline"), std::string::npos);
  EXPECT_EQ(page.find('@'), std::string::npos) << "a mark of the template left";
  EXPECT_EQ(Count(page, "'sha256-"), 2u);
}

}  // namespace
