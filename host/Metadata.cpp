#include "host/Metadata.h"

HRESULT Metadata::GetCount(const char16_t* listName, std::int32_t* count) {
  if (!listName || !count) return E_POINTER;
  auto it = lists_.find(listName);
  *count = it == lists_.end() ? 0 : static_cast<std::int32_t>(it->second.size());
  return it == lists_.end() ? S_FALSE : S_OK;
}

HRESULT Metadata::GetItem(const char16_t* listName, std::int32_t index, BSTR* item) {
  if (!listName || !item) return E_POINTER;
  *item = nullptr;
  auto it = lists_.find(listName);
  if (it == lists_.end() || index < 0 || static_cast<std::size_t>(index) >= it->second.size())
    return E_INVALIDARG;
  *item = SysAllocString(it->second[static_cast<std::size_t>(index)]);
  return S_OK;
}

void Metadata::SetList(const std::u16string& name, std::vector<std::u16string> items) {
  lists_[name] = std::move(items);
}

void Metadata::Append(const std::u16string& name, const std::u16string& item) {
  lists_[name].push_back(item);
}
