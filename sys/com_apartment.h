#pragma once

#include <objbase.h>

#include "sys/lazy_api.h"

// COM for the calling thread while the object lives: the URL moniker download runs on the
// installation worker, which nobody else initialises.
class ComApartment {
  public:
    ComApartment() : m_result(LazyApi::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~ComApartment() {
        if (SUCCEEDED(m_result)) LazyApi::CoUninitialize();
    }
    ComApartment(const ComApartment&) = delete;
    ComApartment& operator=(const ComApartment&) = delete;

  private:
    HRESULT m_result;
};
