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
  if (t_current != nullptr && error != nullptr) t_current->Add(*error);
}

void XmlErrorCollector::RefuseNetwork(const char* url) {
  xmlError error{};
  error.domain = XML_FROM_IO;
  error.code = XML_IO_NETWORK_ATTEMPT;
  error.level = XML_ERR_ERROR;
  std::string message = std::string("Attempt to load network entity ") + url;  // libxml2's words
  error.message = message.data();
  Add(error);
}

void XmlErrorCollector::Forget() {
  entries_.clear();
  refusedNetwork_ = false;
}

void XmlErrorCollector::Add(const xmlError& error) {
  if (error.code == XML_IO_NETWORK_ATTEMPT) refusedNetwork_ = true;
  if (entries_.size() >= kMaxEntries) return;
  Entry entry{{error.code, error.message ? error.message : "", error.line, error.int2},
              error.domain, error.level};
  // A refused network load is raised without a context; the parser's position says where the
  // file asked for it.
  if (entry.error.line == 0 && watched_ != nullptr && watched_->input != nullptr) {
    entry.error.line = watched_->input->line;
    entry.error.linePosition = watched_->input->col;
  }
  entries_.push_back(std::move(entry));
}

XmlParseError XmlErrorCollector::Explanation() const {
  const Entry* error = nullptr;
  for (const Entry& e : entries_) {
    if (e.error.errorCode == XML_IO_NETWORK_ATTEMPT) return e.error;
    if (!error && e.level >= XML_ERR_ERROR) error = &e;
  }
  // The first error is the cause; later ones are mostly its consequences.
  if (error) return error->error;
  // A file that cannot be opened at all is only worth a warning to libxml2.
  return entries_.empty() ? XmlParseError{} : entries_.front().error;
}
