#pragma once
// A counted reference to one node of a parsed document: every copy shares ownership of the whole
// tree, so a node stays valid however long it is held, even after its document has been reloaded.
// Texts are UTF-8, as the parser keeps them.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct _xmlDoc;
struct _xmlNode;
class XmlNodeList;

// Node types, numbered as the DOM numbers them.
inline constexpr std::int32_t kXmlElementNode = 1;
inline constexpr std::int32_t kXmlTextNode = 3;
inline constexpr std::int32_t kXmlCommentNode = 8;

class XmlNode {
 public:
  XmlNode() = default;
  XmlNode(std::shared_ptr<_xmlDoc> tree, _xmlNode* node);

  explicit operator bool() const { return node_ != nullptr; }
  void Reset();

  std::int32_t NodeType() const;
  // The name without any namespace prefix: elements, attributes and processing instructions have
  // one; text, comments and the document itself give "".
  std::string BaseName() const;
  // The concatenated text of every text and CDATA node below this one, in document order; for a
  // text, comment or processing instruction its own content.
  std::string Text() const;
  XmlNodeList ChildNodes() const;
  // The value of the attribute whose qualified name is exactly `name`; none when the node is not
  // an element or has no such attribute.
  std::optional<std::string> Attribute(std::string_view name) const;

 private:
  std::shared_ptr<_xmlDoc> tree_;
  _xmlNode* node_ = nullptr;
};
