#pragma once
// IUnknown for a class that implements one or more interfaces: an atomic reference count and
// QueryInterface over IUnknown and the listed interfaces (and each one's bases that name an iid).
#include <atomic>
#include <tuple>
#include <type_traits>

#include "host/Unknown.h"

template <class Derived, class... Interfaces>
class ComObject : public Interfaces... {
 public:
  ComObject() = default;
  ComObject(const ComObject&) = delete;
  ComObject& operator=(const ComObject&) = delete;

  HRESULT QueryInterface(const IID& iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (iid == IUnknown::iid) {
      *object = Identity();
    } else {
      (TryInterface<Interfaces>(iid, object) || ...);
    }
    if (!*object) return E_NOINTERFACE;
    AddRef();
    return S_OK;
  }
  std::uint32_t AddRef() override { return ++refs_; }
  std::uint32_t Release() override {
    std::uint32_t left = --refs_;
    if (left == 0) delete static_cast<Derived*>(this);
    return left;
  }

  // Creates an object whose caller holds its first reference.
  template <class... Args>
  static Derived* Create(Args&&... args) {
    auto* d = new Derived(std::forward<Args>(args)...);
    d->AddRef();
    return d;
  }

 protected:
  virtual ~ComObject() = default;

  IUnknown* Identity() { return static_cast<FirstInterface*>(static_cast<Derived*>(this)); }

 private:
  using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

  template <class I>
  bool TryInterface(const IID& iid, void** object) {
    if (iid == I::iid) {
      *object = static_cast<I*>(static_cast<Derived*>(this));
      return true;
    }
    if constexpr (std::is_base_of_v<IDispatch, I> && !std::is_same_v<IDispatch, I>) {
      if (iid == IDispatch::iid) {
        *object = static_cast<IDispatch*>(static_cast<I*>(static_cast<Derived*>(this)));
        return true;
      }
    }
    return false;
  }

  std::atomic<std::uint32_t> refs_{0};
};
