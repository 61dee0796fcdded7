#pragma once
// Gathers what libxml2 reports while one document is loaded, so that a failed load can say why.
//
// Errors arrive by two roads: a parser context hands its own to the structured handler set on it
// (Watch), and loads refused by the entity loader (or libxml2's own refusal of the network) come
// without any context, through the calling thread's collector. The collector is that thread handler
// for exactly its own lifetime and puts the previous one back when it goes, so nothing is left
// behind between loads.
#include <cstddef>
#include <string>
#include <vector>

#include <libxml/parser.h>
#include <libxml/xmlerror.h>

#include "HVXCommon/XmlParseError.h"

class XmlErrorCollector {
 public:
  struct Entry {
    XmlParseError error;
    int domain;
    int level;
  };

  XmlErrorCollector();
  ~XmlErrorCollector();
  XmlErrorCollector(const XmlErrorCollector&) = delete;
  XmlErrorCollector& operator=(const XmlErrorCollector&) = delete;

  // Routes the errors of ctxt here and takes positions for errors without one from its input;
  // null stops taking positions.
  void Watch(xmlParserCtxtPtr ctxt);
  // Libxml2's structured-error signature, for the schema contexts too (data is ignored: the
  // collector of the calling thread takes the error).
  static void Handler(void* data, xmlErrorPtr error);

  // Records an error of a load that the process's entity loader made itself, in the collector of
  // the calling thread (if any). A refused load (the network, something that is not a regular
  // file) fails the document whatever the parser thinks of it.
  static void ReportForThisThread(int code, const std::string& message, bool refused);
  bool Refused() const { return refused_; }
  // Forgets what was recorded (before a second pass over the same file).
  void Forget();

  // The error that best explains a failed load: the first refused load, then the first error, then
  // the first warning; an empty error (code 0) when nothing was recorded.
  XmlParseError Explanation() const;

 private:
  void Add(const xmlError& error, bool refused);

  std::vector<Entry> entries_;
  bool refused_ = false;
  XmlParseError refusal_;
  xmlParserCtxtPtr watched_ = nullptr;
  XmlErrorCollector* previous_;
  xmlStructuredErrorFunc previousHandler_;
  void* previousContext_;
};
