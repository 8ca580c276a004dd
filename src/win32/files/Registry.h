// Reading the registry; the launcher never writes to it.
#pragma once

#include <windows.h>

#include <string>

namespace cvl {

// A string value (REG_SZ, or REG_EXPAND_SZ left unexpanded), up to its first null. The
// key is opened for reading with no registry-view flag; a leading "\" in the key path
// means "from the root". A key or value that is missing or cannot be read gives an empty
// text; a value of another type raises ERegistryException.
std::u16string ReadRegistryString(HKEY root, const std::u16string& keyPath, const std::u16string& valueName);

}  // namespace cvl
