#pragma once
// The child nodes of one node, taken when the list is made, with count and indexed access. The
// list shares ownership of the tree like the nodes it hands out.
#include <cstddef>
#include <memory>
#include <vector>

#include "HVXCommon/XmlNode.h"

class XmlNodeList {
 public:
  XmlNodeList() = default;
  XmlNodeList(std::shared_ptr<_xmlDoc> tree, _xmlNode* parent);

  std::size_t Count() const { return nodes_.size(); }
  // The node at index, or an empty node past the end.
  XmlNode Item(std::size_t index) const;

 private:
  std::shared_ptr<_xmlDoc> tree_;
  std::vector<_xmlNode*> nodes_;
};
