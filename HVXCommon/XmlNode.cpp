#include "HVXCommon/XmlNode.h"

#include <libxml/tree.h>

#include "HVXCommon/XmlNodeList.h"

namespace {

void AppendContent(std::string& out, const xmlNode* node) {
  if (node->content != nullptr) out += reinterpret_cast<const char*>(node->content);
}

bool IsTextual(const xmlNode* node) {
  return node->type == XML_TEXT_NODE || node->type == XML_CDATA_SECTION_NODE;
}

// Qualified name of an attribute compared with `name`: "prefix:local", or "local" without prefix.
bool QualifiedNameIs(const xmlAttr* attribute, std::string_view name) {
  std::string_view local = reinterpret_cast<const char*>(attribute->name);
  if (attribute->ns == nullptr || attribute->ns->prefix == nullptr) return name == local;
  std::string_view prefix = reinterpret_cast<const char*>(attribute->ns->prefix);
  return name.size() == prefix.size() + 1 + local.size() && name.substr(0, prefix.size()) == prefix &&
         name[prefix.size()] == ':' && name.substr(prefix.size() + 1) == local;
}

}  // namespace

XmlNode::XmlNode(std::shared_ptr<_xmlDoc> tree, _xmlNode* node)
    : tree_(std::move(tree)), node_(node) {}

void XmlNode::Reset() {
  node_ = nullptr;
  tree_.reset();
}

std::int32_t XmlNode::NodeType() const { return node_ ? static_cast<std::int32_t>(node_->type) : 0; }

std::string XmlNode::BaseName() const {
  if (!node_ || node_->name == nullptr) return {};
  switch (node_->type) {
    case XML_ELEMENT_NODE:
    case XML_ATTRIBUTE_NODE:
    case XML_PI_NODE:
    case XML_ENTITY_REF_NODE:
      return reinterpret_cast<const char*>(node_->name);
    default:
      return {};
  }
}

std::string XmlNode::Text() const {
  std::string out;
  if (!node_) return out;
  if (node_->type != XML_ELEMENT_NODE) {
    AppendContent(out, node_);
    return out;
  }
  // Walks the subtree along the parent links instead of recursing, so that no nesting depth can
  // exhaust the stack. Entities are substituted while parsing, so only elements have children.
  const xmlNode* n = node_->children;
  while (n != nullptr) {
    if (IsTextual(n)) AppendContent(out, n);
    if (n->type == XML_ELEMENT_NODE && n->children != nullptr) {
      n = n->children;
      continue;
    }
    while (n != node_ && n->next == nullptr) n = n->parent;
    if (n == node_) break;
    n = n->next;
  }
  return out;
}

XmlNodeList XmlNode::ChildNodes() const {
  return node_ ? XmlNodeList(tree_, node_) : XmlNodeList();
}

std::optional<std::string> XmlNode::Attribute(std::string_view name) const {
  if (!node_ || node_->type != XML_ELEMENT_NODE) return std::nullopt;
  for (const xmlAttr* a = node_->properties; a != nullptr; a = a->next) {
    if (!QualifiedNameIs(a, name)) continue;
    std::string value;
    for (const xmlNode* c = a->children; c != nullptr; c = c->next) AppendContent(value, c);
    return value;
  }
  return std::nullopt;
}
