// The sections and keys of "CVLauncher.cfg", written here once: the creation handler
// reads them, the profile edits write them, and cvlctl read-config reports them.
#pragma once

#include <string_view>

namespace cvl {

inline constexpr std::u16string_view OptionsSection = u"Options";
inline constexpr std::u16string_view UserSection = u"User";
inline constexpr std::u16string_view PreSection = u"Pre";

// [Options]
inline constexpr std::u16string_view InstallClientKey = u"InstallClient";
inline constexpr std::u16string_view LanguageKey = u"Language";
inline constexpr std::u16string_view ZephraneKey = u"Zephrane";
inline constexpr std::u16string_view UpdateClientLanguageKey = u"UpdateClientLanguage";
inline constexpr std::u16string_view PatchVersionKey = u"PatchVersion";
inline constexpr std::u16string_view KeepUpdateFilesKey = u"KeepUpdateFiles";

// [User]: the connector server's address and port, each protected with the user key.
inline constexpr std::u16string_view RecoveryKey = u"recovery";
inline constexpr std::u16string_view EmailKey = u"email";

}  // namespace cvl
