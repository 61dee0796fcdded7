#pragma once
// A small component module for the host tests: one class, a counter, served through the four
// entry points that a component module exports.
#include <cstdint>

#include "host/Unknown.h"

struct ITestCounter : IUnknown {
  static constexpr IID iid = MakeGuid("{6F1C2E0A-3B7D-4C55-9E21-8A4D0B6C7E13}");
  // Adds amount to the counter and gives the new total.
  virtual HRESULT Add(std::int32_t amount, std::int32_t* total) = 0;

 protected:
  ~ITestCounter() = default;
};

inline constexpr CLSID CLSID_TestCounter = MakeGuid("{2B8E5D41-7C0F-4A96-B3E2-5D1F8C4A9E07}");
inline constexpr GUID LIBID_TestCounter = MakeGuid("{9D3A6F12-4E8B-4C07-A5D1-3E7B2F9C8A64}");
inline constexpr char kTestCounterDescription[] = "GeodemTest Counter Class";
inline constexpr char kTestCounterProgId[] = "GeodemTest.Counter.1";
inline constexpr char kTestCounterVersionIndependentProgId[] = "GeodemTest.Counter";
