#pragma once
// The XML document behind the mapping-file reader: a small DOM over libxml2 with just what the
// reader needs.
//
// Loading never touches the network and never waits on a FIFO or a device: external DTDs,
// entities and schemas are read from regular files only (XmlEntityLoader), and a reference to an
// http:// (or any other non-file) address or to a special file fails the load. A document
// that declares a DTD, or names an XSD through xsi:schemaLocation or
// xsi:noNamespaceSchemaLocation on its root, is validated against it when validation is on; one
// that declares neither need only be well-formed (namespaces included). libxml2's limits on
// entity expansion, nesting depth and text size stay on, so entity bombs and absurdly deep files
// are refused as parse errors.
#include <memory>
#include <string>

#include "HVXCommon/XmlNode.h"
#include "HVXCommon/XmlParseError.h"

class XmlErrorCollector;

class XmlDocument {
 public:
  // A new, empty document; shared, like the nodes that will keep its tree alive.
  static std::shared_ptr<XmlDocument> Create();

  // The three load options. Loading is always synchronous, so asking for asynchronous loading is
  // refused (false); the other two are taken as given.
  bool SetAsync(bool on);
  bool SetResolveExternals(bool on);
  bool SetValidateOnParse(bool on);

  // Parses the file at a GBK path, replacing what the document held. True when it parsed (and
  // validated, where it asks for it); otherwise ParseError says why.
  bool Load(const std::string& gbkPath);
  const XmlParseError& ParseError() const { return error_; }
  // The root element, or an empty node when nothing is loaded.
  XmlNode DocumentElement() const;

 private:
  XmlDocument() = default;

  std::shared_ptr<_xmlDoc> Parse(const std::string& url, bool validate,
                                 XmlErrorCollector& errors) const;
  bool ValidateAgainstNamedSchema(_xmlDoc* doc, XmlErrorCollector& errors) const;

  bool resolveExternals_ = false;
  bool validateOnParse_ = true;
  std::shared_ptr<_xmlDoc> tree_;
  XmlParseError error_;
};
