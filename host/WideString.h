#pragma once
// Wide strings that cross an interface: UTF-16, allocated by the host library and freed by whoever
// receives them. A null BSTR is an absent string, which is not the same as an empty one.
#include <cstddef>
#include <string>

using BSTR = char16_t*;

BSTR SysAllocString(const char16_t* text);
BSTR SysAllocStringLen(const char16_t* text, std::size_t length);
BSTR SysAllocString(const std::u16string& text);
void SysFreeString(BSTR text);
std::size_t SysStringLen(const char16_t* text);

// Owns one BSTR; empty (null) until an out-argument fills it.
class BstrHolder {
 public:
  BstrHolder() = default;
  explicit BstrHolder(BSTR owned) : s_(owned) {}
  BstrHolder(const BstrHolder&) = delete;
  BstrHolder& operator=(const BstrHolder&) = delete;
  BstrHolder(BstrHolder&& o) noexcept : s_(o.Detach()) {}
  ~BstrHolder() { SysFreeString(s_); }

  BSTR* Put() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  BSTR Get() const { return s_; }
  BSTR Detach() {
    BSTR s = s_;
    s_ = nullptr;
    return s;
  }
  explicit operator bool() const { return s_ != nullptr; }

 private:
  BSTR s_ = nullptr;
};
