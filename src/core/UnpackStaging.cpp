#include "UnpackStaging.h"

#include <charconv>

#include "Text.h"
#include "ZipReader.h"

namespace cvl {
namespace {

constexpr std::string_view kJournalHeader = "CVL unpack journal 1";
constexpr std::string_view kJournalEnd = "end";
constexpr std::u16string_view kJournalName = u"journal";
constexpr std::u16string_view kJournalBeside = u"journal.new";

[[noreturn]] void Fail(std::u16string_view reason) { throw EZipError(std::u16string(reason)); }

std::string_view PhaseName(TUnpackPhase phase) {
  switch (phase) {
    case TUnpackPhase::Moving:
      return "moving";
    case TUnpackPhase::Undoing:
      return "undoing";
    default:
      return "staging";
  }
}

// Lines gathered into pieces of a bounded size: a journal of tens of thousands of
// entries is never held whole in memory.
class TLineWriter {
 public:
  explicit TLineWriter(TZipOutput& out) : FOut(out) {}
  void Line(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
    FBuffer.append(a);
    for (const std::string_view more : {b, c}) {
      if (more.empty()) continue;
      FBuffer += ' ';
      FBuffer.append(more);
    }
    FBuffer += '\n';
    if (FBuffer.size() >= kPiece) Drain();
  }
  void Drain() {
    FOut.Write(FBuffer);
    FBuffer.clear();
  }

 private:
  static constexpr std::size_t kPiece = 64 * 1024;
  TZipOutput& FOut;
  std::string FBuffer;
};

std::string ReadWhole(IZipFiles& files, const std::u16string& path) {
  const std::unique_ptr<TZipSource> source = files.OpenSource(path);
  std::string bytes(static_cast<std::size_t>(source->Size()), '\0');
  if (!bytes.empty()) source->ReadAt(0, bytes.data(), bytes.size());
  return bytes;
}

TUnpackJournal ParseJournal(std::string_view text) {
  auto damaged = [] { Fail(u"the unpack journal is damaged"); };
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    if (end == std::string_view::npos) damaged();
    lines.push_back(text.substr(0, end));
    text.remove_prefix(end + 1);
  }
  if (lines.size() < 3 || lines.front() != kJournalHeader || lines.back() != kJournalEnd) damaged();
  TUnpackJournal journal;
  const std::string_view phase = lines[1];
  if (phase == "phase moving") {
    journal.Phase = TUnpackPhase::Moving;
  } else if (phase == "phase undoing") {
    journal.Phase = TUnpackPhase::Undoing;
  } else if (phase != "phase staging") {
    damaged();
  }
  for (std::size_t i = 2; i + 1 < lines.size(); ++i) {
    const std::string_view line = lines[i];
    if (line.starts_with("folder ")) {
      journal.Folders.push_back(Utf8ToUtf16(line.substr(7)));
    } else if (line.starts_with("file ")) {
      const std::string_view rest = line.substr(5);
      const std::size_t space = rest.find(' ');
      std::size_t number = 0;
      if (space == std::string_view::npos ||
          std::from_chars(rest.data(), rest.data() + space, number).ptr != rest.data() + space) {
        damaged();
      }
      journal.Files.push_back({number, Utf8ToUtf16(rest.substr(space + 1))});
    } else {
      damaged();
    }
  }
  return journal;
}

}  // namespace

std::u16string JoinPath(std::u16string base, std::u16string_view name) {
  if (!base.empty() && !IsPathSeparator(base.back())) base += PathSeparator();
  base += name;
  return base;
}

std::u16string TStaging::Subfolder(std::size_t file) const {
  return JoinPath(FFolder, u"d" + IntToText(static_cast<long long>(file / kFilesPerFolder)));
}

std::u16string TStaging::StagedFile(std::size_t file) const {
  return JoinPath(Subfolder(file), IntToText(static_cast<long long>(file)));
}

std::u16string TStaging::OlderCopy(std::size_t file) const {
  return JoinPath(Subfolder(file), u"b" + IntToText(static_cast<long long>(file)));
}

std::u16string TStaging::Journal() const { return JoinPath(FFolder, kJournalName); }

void WriteJournal(IZipFiles& files, const TStaging& staging, const TUnpackJournal& journal) {
  const std::u16string beside = JoinPath(staging.Folder(), kJournalBeside);
  {
    const std::unique_ptr<TZipOutput> out = files.NewFile(beside);
    TLineWriter lines(*out);
    lines.Line(kJournalHeader);
    lines.Line("phase", PhaseName(journal.Phase));
    for (const std::u16string& folder : journal.Folders) lines.Line("folder", Utf16ToUtf8(folder));
    for (const TStagedFile& file : journal.Files) {
      lines.Line("file", std::to_string(file.Number), Utf16ToUtf8(file.Path));
    }
    lines.Line(kJournalEnd);
    lines.Drain();
    out->Flush();
    out->Close();
  }
  files.MovePath(beside, staging.Journal());
}

std::optional<TUnpackJournal> ReadJournal(IZipFiles& files, const TStaging& staging) {
  if (files.PathKind(staging.Journal()) == TPathKind::None) return std::nullopt;
  return ParseJournal(ReadWhole(files, staging.Journal()));
}

void MoveIntoPlace(IZipFiles& files, const std::u16string& target, const TStaging& staging,
                   const TUnpackJournal& journal) {
  for (const std::u16string& folder : journal.Folders) {
    const std::u16string path = JoinPath(target, folder);
    if (files.PathKind(path) == TPathKind::None) files.CreateFolder(path);
  }
  for (const TStagedFile& file : journal.Files) {
    const std::u16string staged = staging.StagedFile(file.Number);
    if (files.PathKind(staged) == TPathKind::None) continue;  // placed before
    const std::u16string path = JoinPath(target, file.Path);
    const std::u16string older = staging.OlderCopy(file.Number);
    const TPathKind there = files.PathKind(path);
    // A folder is never set aside for a file: two entries of one archive may claim the
    // same place as a file and as a folder.
    if (there == TPathKind::Folder || there == TPathKind::Link) {
      Fail(u"\"" + file.Path + u"\" would replace a folder or a link");
    }
    if (there == TPathKind::File && files.PathKind(older) == TPathKind::None) files.MovePath(path, older);
    files.MovePath(staged, path);
  }
}

bool PutOlderCopiesBack(IZipFiles& files, const std::u16string& target, const TStaging& staging,
                        const TUnpackJournal& journal) noexcept {
  bool whole = true;
  for (auto it = journal.Files.rbegin(); it != journal.Files.rend(); ++it) {
    try {
      // A placed file goes back to where it was staged before its older copy returns, so
      // that every step leaves a state the next attempt reads the same way.
      const std::u16string path = JoinPath(target, it->Path);
      const std::u16string staged = staging.StagedFile(it->Number);
      const std::u16string older = staging.OlderCopy(it->Number);
      if (files.PathKind(staged) == TPathKind::None && files.PathKind(path) == TPathKind::File) {
        files.MovePath(path, staged);
      }
      if (files.PathKind(older) != TPathKind::None) files.MovePath(older, path);
    } catch (...) {
      whole = false;  // undo as much as can be undone; the rest waits for the next start
    }
  }
  // Folders the move made go when empty; one that stays loses nothing.
  for (auto it = journal.Folders.rbegin(); it != journal.Folders.rend(); ++it) {
    try {
      files.RemovePath(JoinPath(target, *it));
    } catch (...) {
    }
  }
  return whole;
}

void RemoveStaging(IZipFiles& files, const TStaging& staging) noexcept {
  files.RemovePath(staging.Journal());
  files.RemoveTree(staging.Folder());
}

void RecoverStaging(IZipFiles& files, const std::u16string& target, const TStaging& staging) noexcept {
  try {
    std::optional<TUnpackJournal> journal = ReadJournal(files, staging);
    if (journal && journal->Phase == TUnpackPhase::Moving) {
      try {
        MoveIntoPlace(files, target, staging, *journal);
        RemoveStaging(files, staging);
        return;
      } catch (...) {
        journal->Phase = TUnpackPhase::Undoing;
        try {
          WriteJournal(files, staging, *journal);
        } catch (...) {
          // Undone all the same; should that stop half-way, the next start finishes the move.
        }
      }
    }
    if (journal && journal->Phase == TUnpackPhase::Undoing && !PutOlderCopiesBack(files, target, staging, *journal)) {
      return;  // the older copies that could not go back stay where they are
    }
    // Staging only, or no journal at all: the target was not touched.
    RemoveStaging(files, staging);
  } catch (...) {
    // A damaged journal, or no memory: the folder stays as it is, nothing is lost.
  }
}

}  // namespace cvl
