// COM's owners: an interface pointer, released exactly once, a text COM allocated for
// the caller, and the calling thread's apartment for as long as a piece of work needs COM.
#pragma once

#include <objbase.h>
#include <oleauto.h>
#include <unknwn.h>

#include "win32/base/ScopedHandle.h"

namespace cvl {

// One reference to an interface, taken over from whoever handed it out.
template <class T>
struct TComPtrTraits {
  using THandle = T*;
  static T* NullHandle() { return nullptr; }
  static bool IsValid(T* pointer) { return pointer != nullptr; }
  static bool Close(T* pointer) {
    pointer->Release();
    return true;
  }
};
template <class T>
using TComPtr = TGenericScopedHandle<TComPtrTraits<T>>;

// A text (BSTR) that COM handed out.
struct TBstrTraits {
  using THandle = BSTR;
  static BSTR NullHandle() { return nullptr; }
  static bool IsValid(BSTR text) { return text != nullptr; }
  static bool Close(BSTR text) {
    ::SysFreeString(text);
    return true;
  }
};
using TScopedBstr = TGenericScopedHandle<TBstrTraits>;

// CoInitialize's result stands for the apartment: one that succeeded (S_OK, or S_FALSE
// for a thread already in this kind of apartment) is undone at the end. A thread already
// in another kind keeps it, and then there is nothing of ours to undo.
struct TComApartmentTraits {
  using THandle = HRESULT;
  static HRESULT NullHandle() { return CO_E_NOTINITIALIZED; }
  static bool IsValid(HRESULT result) { return SUCCEEDED(result); }
  static bool Close(HRESULT) {
    ::CoUninitialize();
    return true;
  }
};
class TComApartment : public TGenericScopedHandle<TComApartmentTraits> {
 public:
  TComApartment() : TGenericScopedHandle(::CoInitialize(nullptr)) {}
};

}  // namespace cvl
