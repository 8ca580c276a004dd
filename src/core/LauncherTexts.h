// The texts the start-up sequence shows, logs and writes, each in one place.
#pragma once

namespace cvl::texts {

inline constexpr char16_t kChecking[] = u"Checking the system. Please wait...";
inline constexpr char16_t kDownloading[] = u"Downloading ";
inline constexpr char16_t kDecompressing[] = u"Decompressing ";
inline constexpr char16_t kInstalling[] = u"Installing ";
inline constexpr char16_t kStageEnd[] = u"...";
inline constexpr char16_t kApplyingPatches[] = u"Applying patches. Please wait...";
inline constexpr char16_t kClientUpToDate[] = u"The client is up to date";
inline constexpr char16_t kPrerequisitesFailed[] =
    u"The installation of the redistributables has failed.\r\nDo you want to launch Vardune?";
inline constexpr char16_t kUpdateFailed[] = u"The update of the client has failed.\r\nDo you want to launch Vardune?";
inline constexpr char16_t kServerNotAvailable[] = u"Server not available! Closing the launcher...";

inline constexpr char16_t kLogDownloadStatus[] = u"DownloadStatus is not correct: ";
inline constexpr char16_t kLogApplyPatch[] = u"Apply patch (directory, cmdline): ";
// A downloaded file without a good signature, when the launcher carries update keys.
inline constexpr char16_t kLogSignatureNotCorrect[] = u"Signature is not correct: ";

inline constexpr char16_t kLabelWebView[] = u"Microsoft Edge Web View";
inline constexpr char16_t kLabelRuntime2012[] = u"Visual Studio Code 2012";
inline constexpr char16_t kLabelRuntime2022[] = u"Visual Studio Code 2022";
inline constexpr char16_t kLabelPatch[] = u"Patch ";
inline constexpr char16_t kLabelEnglishPatch[] = u"English language Patch";
inline constexpr char16_t kLabelKoreanPatch[] = u"Korean language Patch";

inline constexpr char16_t kPatchFilePrefix[] = u"patch_";  // + the level + kPatchFileExtension
inline constexpr char16_t kPatchFileExtension[] = u".zip";
inline constexpr char16_t kLanguagePatchFolder[] = u"/connector/patch/";
inline constexpr char16_t kEnglishPatchFile[] = u"patch_english_lang.zip";
inline constexpr char16_t kKoreanPatchFile[] = u"patch_korean_lang.zip";
inline constexpr char16_t kInstallerSwitches[] = u" /silent /install";

inline constexpr char16_t kClientLauncherSwitch[] = u" /EMUL";

}  // namespace cvl::texts
