// The data built into the program's own executable.
#pragma once

#include <objidl.h>
#include <windows.h>

#include <string>

#include "win32/base/ComScoped.h"

namespace cvl {

// Resource types of the program's own data.
inline constexpr wchar_t ResourceTypeStyle[] = L"CVSTYLE";

// The bytes of resource name/type; names are matched without regard to letter case.
// Raises cvl::Exception "EResNotFound" when there is none.
std::string LoadResourceBytes(const wchar_t* name, const wchar_t* type);
bool ResourceExists(const wchar_t* name, const wchar_t* type);

// A read-only stream over a copy of the bytes (for GDI+).
TComPtr<IStream> StreamOnBytes(const std::string& bytes);

}  // namespace cvl
