#pragma once
// The host's property set over a flat key/value list. Keys compare ignoring case (GBK-aware, as
// the framework's option names do); when a key stands twice the later value wins, as in the
// parameter lists; a key without its value is not found.
#include <string>
#include <vector>

#include "host/ComObject.h"
#include "host/IPropertySet.h"

class PropertySet : public ComObject<PropertySet, IPropertySet> {
 public:
  HRESULT GetValue(const char16_t* name, BSTR* value) override;
  HRESULT AddItem(const char16_t* item) override;

  // Convenience for hosts and tests: appends a key and its value.
  void Set(const std::u16string& key, const std::u16string& value);
  const std::vector<std::u16string>& Items() const { return items_; }

 private:
  std::vector<std::u16string> items_;
};
