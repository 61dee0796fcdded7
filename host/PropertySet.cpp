#include "host/PropertySet.h"

#include "host/CodePage.h"

HRESULT PropertySet::GetValue(const char16_t* name, BSTR* value) {
  if (!name || !value) return E_POINTER;
  *value = nullptr;
  std::string wanted = Utf16ToGbk(name);
  for (std::size_t i = items_.size(); i >= 2; --i) {
    if ((i % 2) != 0) continue;  // i is the end of a complete pair
    if (GbkEqualsNoCase(Utf16ToGbk(items_[i - 2]), wanted)) {
      *value = SysAllocString(items_[i - 1]);
      return S_OK;
    }
  }
  return S_FALSE;
}

HRESULT PropertySet::AddItem(const char16_t* item) {
  if (!item) return E_POINTER;
  items_.emplace_back(item);
  return S_OK;
}

void PropertySet::Set(const std::u16string& key, const std::u16string& value) {
  items_.push_back(key);
  items_.push_back(value);
}
