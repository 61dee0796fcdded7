#include "HVXCommon/XmlNodeList.h"

#include <libxml/tree.h>

XmlNodeList::XmlNodeList(std::shared_ptr<_xmlDoc> tree, _xmlNode* parent) : tree_(std::move(tree)) {
  // Taken once: libxml2 links siblings in a list, and indexed access into it would make every walk
  // over a large parent quadratic.
  std::size_t count = 0;
  for (xmlNode* n = parent->children; n != nullptr; n = n->next) ++count;
  nodes_.reserve(count);
  for (xmlNode* n = parent->children; n != nullptr; n = n->next) nodes_.push_back(n);
}

XmlNode XmlNodeList::Item(std::size_t index) const {
  return index < nodes_.size() ? XmlNode(tree_, nodes_[index]) : XmlNode();
}
