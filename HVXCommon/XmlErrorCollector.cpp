#include "HVXCommon/XmlErrorCollector.h"

#include <libxml/globals.h>

namespace {

// Only the first errors explain anything; a file with an error on every line must not make the
// collector grow with it.
constexpr std::size_t kMaxEntries = 64;

thread_local XmlErrorCollector* t_current = nullptr;

}  // namespace

XmlErrorCollector::XmlErrorCollector()
    : previous_(t_current),
      previousHandler_(xmlStructuredError),
      previousContext_(xmlStructuredErrorContext) {
  t_current = this;
  xmlSetStructuredErrorFunc(this, &XmlErrorCollector::Handler);
}

XmlErrorCollector::~XmlErrorCollector() {
  xmlSetStructuredErrorFunc(previousContext_, previousHandler_);
  t_current = previous_;
}

void XmlErrorCollector::Watch(xmlParserCtxtPtr ctxt) {
  watched_ = ctxt;
  if (ctxt != nullptr && ctxt->sax != nullptr) ctxt->sax->serror = &XmlErrorCollector::Handler;
}

void XmlErrorCollector::Handler(void* /*data*/, xmlErrorPtr error) {
  if (t_current != nullptr && error != nullptr)
    t_current->Add(*error, error->code == XML_IO_NETWORK_ATTEMPT);
}

void XmlErrorCollector::ReportForThisThread(int code, const std::string& message, bool refused) {
  if (t_current == nullptr) return;
  xmlError error{};
  error.domain = XML_FROM_IO;
  error.code = code;
  // As libxml2 weighs a file it cannot open: a warning, unless the load was refused.
  error.level = refused ? XML_ERR_ERROR : XML_ERR_WARNING;
  std::string text = message;
  error.message = text.data();
  t_current->Add(error, refused);
}

void XmlErrorCollector::Forget() {
  entries_.clear();
  refused_ = false;
  refusal_ = {};
}

void XmlErrorCollector::Add(const xmlError& error, bool refused) {
  Entry entry{{error.code, error.message ? error.message : "", error.line, error.int2},
              error.domain, error.level};
  // A refused load is raised without a context; the parser's position says where the file asked
  // for it.
  if (entry.error.line == 0 && watched_ != nullptr && watched_->input != nullptr) {
    entry.error.line = watched_->input->line;
    entry.error.linePosition = watched_->input->col;
  }
  if (refused && !refused_) {
    refused_ = true;
    refusal_ = entry.error;
  }
  if (entries_.size() < kMaxEntries) entries_.push_back(std::move(entry));
}

XmlParseError XmlErrorCollector::Explanation() const {
  if (refused_) return refusal_;
  // The first error is the cause; later ones are mostly its consequences.
  for (const Entry& e : entries_) {
    if (e.level >= XML_ERR_ERROR) return e.error;
  }
  // A file that cannot be opened at all is only worth a warning to libxml2.
  return entries_.empty() ? XmlParseError{} : entries_.front().error;
}
