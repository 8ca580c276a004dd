#include "ArchiveCheck.h"

#include <memory>
#include <set>

#include "core/Text.h"
#include "core/ZipNameText.h"
#include "core/ZipPath.h"
#include "core/ZipReader.h"

namespace cvl {
namespace {

constexpr std::uint16_t kFlagUtf8 = 0x0800;
// What the archiver of macOS adds beside every file: resource forks nobody wants.
constexpr std::u16string_view kMacFolder = u"__MACOSX";

bool IsAscii(std::string_view text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

std::u16string Joined(const std::vector<std::u16string>& parts, std::size_t count) {
  std::u16string path;
  for (std::size_t i = 0; i < count; ++i) path += (i ? u"/" : u"") + UpperAscii(parts[i]);
  return path;
}

std::u16string Shown(const std::u16string& name) { return u"'" + name + u"'"; }

}  // namespace

TArchiveReport CheckArchive(const std::string& path) {
  TArchiveReport report;
  std::unique_ptr<TZipReader> reader;
  try {
    reader = std::make_unique<TZipReader>(Utf8ToUtf16(path));
  } catch (const EZipError& error) {
    report.Faults.push_back(u"the launcher cannot unpack it: " + error.Message());
    return report;
  }
  std::set<std::u16string> files, folders;
  std::size_t macEntries = 0, unflagged = 0;
  std::u16string firstUnflagged;
  for (const TZipEntry& entry : reader->Entries()) {
    if (entry.IsLink) {
      report.Faults.push_back(u"holds a link " + Shown(entry.Name) + u", which the launcher refuses");
      continue;
    }
    std::vector<std::u16string> parts;
    try {
      parts = SafeEntryPath(entry.Name);
    } catch (const EZipError& error) {
      report.Faults.push_back(u"the launcher refuses it: " + error.Message());
      continue;
    }
    if (parts.empty() && !entry.IsDirectory) {
      report.Faults.push_back(u"an entry has no name; the launcher refuses it");
      continue;
    }
    if (!parts.empty() && UpperAscii(parts[0]) == UpperAscii(kMacFolder)) ++macEntries;
    if (!IsAscii(entry.RawName) && (entry.Flags & kFlagUtf8) == 0 && entry.Name == DecodeZipName(entry.RawName, false)) {
      if (unflagged++ == 0) firstUnflagged = entry.Name;
    }
    for (std::size_t i = 1; i < parts.size(); ++i) folders.insert(Joined(parts, i));
    if (entry.IsDirectory) {
      if (!parts.empty()) folders.insert(Joined(parts, parts.size()));
    } else {
      if (parts.size() == 1) report.TopFiles.push_back(parts[0]);
      files.insert(Joined(parts, parts.size()));
      try {
        reader->ReadEntry(entry, [](std::string_view) {});
      } catch (const EZipError& error) {
        report.Faults.push_back(Shown(entry.Name) + u" does not unpack: " + error.Message());
      }
    }
  }
  for (const std::u16string& file : files) {
    if (folders.count(file) != 0) {
      report.Faults.push_back(Shown(file) + u" is a file and a folder at once; the launcher cannot unpack both");
    }
  }
  if (macEntries > 0) {
    report.Faults.push_back(u"holds the folder __MACOSX/ (" + IntToText(static_cast<long long>(macEntries)) +
                            (macEntries == 1 ? u" entry" : u" entries") +
                            u" a macOS archiver adds); players would get it in their client folder");
  }
  if (unflagged > 0) {
    report.Faults.push_back(IntToText(static_cast<long long>(unflagged)) +
                            u" name(s) outside ASCII without the UTF-8 flag; the launcher reads them in code page 437, "
                            u"e.g. " + Shown(firstUnflagged));
  }
  return report;
}

}  // namespace cvl
