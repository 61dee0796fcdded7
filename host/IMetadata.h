#pragma once
// The host's description of the input datasets: named lists of strings (InDatasetName, Width, ...),
// item i of every list describing source i.
#include <cstdint>

#include "host/Guid.h"
#include "host/Unknown.h"
#include "host/WideString.h"

struct IMetadata : IUnknown {
  static constexpr IID iid = MakeGuid("{B1D56E0F-3446-49AF-8D59-22EFDBEC8695}");
  // S_OK and the list's item count; S_FALSE and 0 when there is no list of that name.
  virtual HRESULT GetCount(const char16_t* listName, std::int32_t* count) = 0;
  // S_OK and item `index` of the list (caller frees); E_INVALIDARG when out of range or no list.
  virtual HRESULT GetItem(const char16_t* listName, std::int32_t index, BSTR* item) = 0;

 protected:
  ~IMetadata() = default;
};
