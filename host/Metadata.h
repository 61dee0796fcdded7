#pragma once
// The host's metadata object: list names compare exactly.
#include <map>
#include <string>
#include <vector>

#include "host/ComObject.h"
#include "host/IMetadata.h"

class Metadata : public ComObject<Metadata, IMetadata> {
 public:
  HRESULT GetCount(const char16_t* listName, std::int32_t* count) override;
  HRESULT GetItem(const char16_t* listName, std::int32_t index, BSTR* item) override;

  void SetList(const std::u16string& name, std::vector<std::u16string> items);
  // Appends one item to a list, creating the list when it is new.
  void Append(const std::u16string& name, const std::u16string& item);

 private:
  std::map<std::u16string, std::vector<std::u16string>> lists_;
};
