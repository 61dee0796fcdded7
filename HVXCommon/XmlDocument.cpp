#include "HVXCommon/XmlDocument.h"

#include <libxml/parser.h>
#include <libxml/tree.h>
#include <libxml/uri.h>
#include <libxml/xmlIO.h>
#include <libxml/xmlschemas.h>

#include <sstream>
#include <stdexcept>
#include <string_view>

#include "HVXCommon/XmlEntityLoader.h"
#include "HVXCommon/XmlErrorCollector.h"
#include "host/CodePage.h"

namespace {

constexpr const char* kXsiNamespace = "http://www.w3.org/2001/XMLSchema-instance";

template <class T, void (*Free)(T*)>
struct LibXmlDeleter {
  void operator()(T* p) const { Free(p); }
};
using ParserContext = std::unique_ptr<xmlParserCtxt, LibXmlDeleter<xmlParserCtxt, xmlFreeParserCtxt>>;
using SchemaParserContext =
    std::unique_ptr<xmlSchemaParserCtxt,
                    LibXmlDeleter<xmlSchemaParserCtxt, xmlSchemaFreeParserCtxt>>;
using Schema = std::unique_ptr<xmlSchema, LibXmlDeleter<xmlSchema, xmlSchemaFree>>;
using SchemaValidContext =
    std::unique_ptr<xmlSchemaValidCtxt, LibXmlDeleter<xmlSchemaValidCtxt, xmlSchemaFreeValidCtxt>>;

// Takes over a string that libxml2 allocated.
std::string TakeString(xmlChar* text) {
  if (text == nullptr) return {};
  std::string out = reinterpret_cast<const char*>(text);
  xmlFree(text);
  return out;
}

bool HasXsiAttribute(xmlNode* node, const char* name) {
  return xmlHasNsProp(node, BAD_CAST name, BAD_CAST kXsiNamespace) != nullptr;
}

std::string XsiAttribute(xmlNode* node, const char* name) {
  return TakeString(xmlGetNsProp(node, BAD_CAST name, BAD_CAST kXsiNamespace));
}

// The schema that the root names: xsi:noNamespaceSchemaLocation, or from the pairs of
// xsi:schemaLocation the location given for the root's namespace (the first one when none is).
// Empty when the root names none.
std::string NamedSchemaLocation(xmlNode* root) {
  std::istringstream words;
  if (HasXsiAttribute(root, "noNamespaceSchemaLocation")) {
    words.str(XsiAttribute(root, "noNamespaceSchemaLocation"));
    std::string location;
    words >> location;
    return location;
  }
  if (!HasXsiAttribute(root, "schemaLocation")) return {};
  words.str(XsiAttribute(root, "schemaLocation"));
  std::string_view rootNamespace =
      root->ns && root->ns->href ? reinterpret_cast<const char*>(root->ns->href) : "";
  std::string ns, location, first;
  while (words >> ns >> location) {
    if (ns == rootNamespace) return location;
    if (first.empty()) first = location;
  }
  return first;
}

// A location relative to the document that names it.
std::string ResolveAgainst(const std::string& location, const xmlChar* base) {
  std::string resolved = TakeString(xmlBuildURI(BAD_CAST location.c_str(), base));
  return resolved.empty() ? location : resolved;
}

}  // namespace

std::shared_ptr<XmlDocument> XmlDocument::Create() {
  InstallXmlEntityLoader();
  return std::shared_ptr<XmlDocument>(new XmlDocument());
}

bool XmlDocument::SetAsync(bool on) { return !on; }

bool XmlDocument::SetResolveExternals(bool on) {
  resolveExternals_ = on;
  return true;
}

bool XmlDocument::SetValidateOnParse(bool on) {
  validateOnParse_ = on;
  return true;
}

bool XmlDocument::Load(const std::string& gbkPath) {
  tree_.reset();
  error_ = {};
  XmlErrorCollector errors;
  const std::string url = OsPath(gbkPath);
  std::shared_ptr<xmlDoc> tree = Parse(url, false, errors);
  // A declared DTD is checked in a second pass that validates while parsing, so that every
  // violation keeps its place in the file; a document without one is never asked for one.
  if (tree && validateOnParse_ && tree->intSubset != nullptr) {
    errors.Forget();
    tree = Parse(url, true, errors);
  }
  if (tree && validateOnParse_ && !ValidateAgainstNamedSchema(tree.get(), errors)) tree.reset();
  if (!tree) {
    error_ = errors.Explanation();
    return false;
  }
  tree_ = std::move(tree);
  return true;
}

XmlNode XmlDocument::DocumentElement() const {
  xmlNode* root = tree_ ? xmlDocGetRootElement(tree_.get()) : nullptr;
  return root ? XmlNode(tree_, root) : XmlNode();
}

std::shared_ptr<_xmlDoc> XmlDocument::Parse(const std::string& url, bool validate,
                                            XmlErrorCollector& errors) const {
  ParserContext ctxt(xmlNewParserCtxt());
  if (!ctxt) throw std::runtime_error("cannot create an XML parser context");
  // Entities are substituted while parsing, where libxml2 bounds their expansion. Every file comes
  // through the process's entity loader, which refuses the network and anything but a regular
  // file; NONET says the same to libxml2 itself.
  int options = XML_PARSE_NONET | XML_PARSE_NOENT;
  if (resolveExternals_) options |= XML_PARSE_DTDLOAD | XML_PARSE_DTDATTR;
  if (validate) options |= XML_PARSE_DTDVALID;
  errors.Watch(ctxt.get());
  std::shared_ptr<xmlDoc> tree(xmlCtxtReadFile(ctxt.get(), url.c_str(), nullptr, options),
                               &xmlFreeDoc);
  errors.Watch(nullptr);
  const bool parsed = tree && ctxt->wellFormed && ctxt->nsWellFormed && !errors.Refused() &&
                      (!validate || ctxt->valid);
  return parsed ? tree : nullptr;
}

bool XmlDocument::ValidateAgainstNamedSchema(_xmlDoc* doc, XmlErrorCollector& errors) const {
  xmlNode* root = xmlDocGetRootElement(doc);
  const std::string location = root ? NamedSchemaLocation(root) : std::string();
  if (location.empty()) return true;
  const std::string url = ResolveAgainst(location, doc->URL);
  std::shared_ptr<xmlDoc> schemaDoc = Parse(url, false, errors);
  if (!schemaDoc) return false;
  SchemaParserContext parser(xmlSchemaNewDocParserCtxt(schemaDoc.get()));
  if (!parser) throw std::runtime_error("cannot create a schema parser context");
  xmlSchemaSetParserStructuredErrors(parser.get(), &XmlErrorCollector::Handler, &errors);
  // Imports and includes come through the process's entity loader like every other file.
  Schema schema(xmlSchemaParse(parser.get()));
  if (!schema || errors.Refused()) return false;
  SchemaValidContext validator(xmlSchemaNewValidCtxt(schema.get()));
  if (!validator) throw std::runtime_error("cannot create a schema validation context");
  xmlSchemaSetValidStructuredErrors(validator.get(), &XmlErrorCollector::Handler, &errors);
  return xmlSchemaValidateDoc(validator.get(), doc) == 0;
}
