#pragma once
// Gathers what libxml2 reports while one document is loaded, so that a failed load can say why.
//
// Errors arrive by two roads: a parser context hands its own to the structured handler set on it
// (Watch), and libxml2 reports a refused network load without any context, through the calling
// thread's structured handler. The collector is that thread handler for exactly its own lifetime
// and puts the previous one back when it goes, so nothing is left behind between loads.
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

  // Records that a load of url was refused because it would go to the network.
  void RefuseNetwork(const char* url);
  bool RefusedNetwork() const { return refusedNetwork_; }
  // Forgets what was recorded (before a second pass over the same file).
  void Forget();

  // The error that best explains a failed load: a refused network load first, then the first
  // error, then the first warning; an empty error (code 0) when nothing was recorded.
  XmlParseError Explanation() const;

 private:
  void Add(const xmlError& error);

  std::vector<Entry> entries_;
  bool refusedNetwork_ = false;
  xmlParserCtxtPtr watched_ = nullptr;
  XmlErrorCollector* previous_;
  xmlStructuredErrorFunc previousHandler_;
  void* previousContext_;
};
