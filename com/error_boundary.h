#pragma once
// The boundary between the driver and a COM host: every member runs its body through Boundary,
// which catches whatever was thrown, hands the number and description to the host's error info
// and returns a failed HRESULT whose code is the error number (0x800A0000 | number), as a VB
// host reads it back through Err.Number and Err.Description.
#include <windows.h>

#include <cstdint>

#include "driver/marlin_error.h"

namespace marlin::com {

HRESULT ErrorHResult(std::int32_t number) noexcept;

// The error number a host reads back from a failed HRESULT (the inverse of ErrorHResult).
std::int32_t ErrorNumber(HRESULT result) noexcept;

// Sets the thread's error info (source, description, interface) and returns the HRESULT.
HRESULT RaiseToHost(REFIID iid, const MarlinError& error) noexcept;

template <class Body>
HRESULT Boundary(REFIID iid, Body&& body) noexcept {
  try {
    body();
    return S_OK;
  } catch (...) {
    try {
      return RaiseToHost(iid, CurrentError());
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
}

}  // namespace marlin::com
