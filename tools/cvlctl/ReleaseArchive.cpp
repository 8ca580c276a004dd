#include "ReleaseArchive.h"

#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "ReleaseFiles.h"
#include "ToolSupport.h"

namespace cvl {
namespace {

constexpr std::size_t kBlock = 1 << 20;
constexpr std::size_t kDictionary = 32 * 1024;
constexpr int kLevel = 6;
constexpr std::size_t kHashChunk = 1 << 20;

[[noreturn]] void Changed(const std::string& path) {
  throw EBadInput(ShownPath(path) + u" changed while it was read; nothing was published, run the release again");
}

// One block of one file.
struct TBlock {
  std::size_t File = 0;
  std::uint64_t Offset = 0;
  std::size_t Length = 0;
  bool Last = false;
};

// The blocks of every file in order; an empty file has none.
class TBlockCursor {
 public:
  explicit TBlockCursor(const std::vector<TArchiveSource>& sources) : FSources(sources) {}

  std::optional<TBlock> Next() {
    while (FFile < FSources.size() && FOffset >= FSources[FFile].Size) {
      ++FFile;
      FOffset = 0;
    }
    if (FFile >= FSources.size()) return std::nullopt;
    TBlock block;
    block.File = FFile;
    block.Offset = FOffset;
    block.Length = static_cast<std::size_t>(std::min<std::uint64_t>(kBlock, FSources[FFile].Size - FOffset));
    FOffset += block.Length;
    block.Last = FOffset == FSources[FFile].Size;
    return block;
  }

  static std::uint64_t Count(const std::vector<TArchiveSource>& sources) {
    std::uint64_t count = 0;
    for (const TArchiveSource& source : sources) count += (source.Size + kBlock - 1) / kBlock;
    return count;
  }

 private:
  const std::vector<TArchiveSource>& FSources;
  std::size_t FFile = 0;
  std::uint64_t FOffset = 0;
};

// A block's input (its dictionary first) and its deflated form.
struct TSlot {
  std::string Input;
  std::size_t DataStart = 0;
  std::string Deflated;
  std::uint32_t Crc = 0;
  bool Ready = false;
};

class TDeflater {
 public:
  TDeflater() {
    if (deflateInit2(&FStream, kLevel, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
      throw EBadInput(u"deflate cannot start");
    }
  }
  ~TDeflater() { deflateEnd(&FStream); }
  TDeflater(const TDeflater&) = delete;
  TDeflater& operator=(const TDeflater&) = delete;

  // Deflates `data` after `dictionary`; the last block of a file ends the stream, every
  // other one ends on a byte boundary with a sync flush so the next block can follow.
  void Run(std::string_view dictionary, std::string_view data, bool last, std::string& out) {
    if (deflateReset(&FStream) != Z_OK) throw EBadInput(u"deflate failed");
    if (!dictionary.empty() &&
        deflateSetDictionary(&FStream, reinterpret_cast<const Bytef*>(dictionary.data()),
                             static_cast<uInt>(dictionary.size())) != Z_OK) {
      throw EBadInput(u"deflate failed");
    }
    out.resize(deflateBound(&FStream, static_cast<uLong>(data.size())) + 64);
    FStream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    FStream.avail_in = static_cast<uInt>(data.size());
    FStream.next_out = reinterpret_cast<Bytef*>(out.data());
    FStream.avail_out = static_cast<uInt>(out.size());
    const int flush = last ? Z_FINISH : Z_SYNC_FLUSH;
    for (;;) {
      const int status = deflate(&FStream, flush);
      if (status == Z_STREAM_END || (!last && status == Z_OK && FStream.avail_in == 0 && FStream.avail_out > 0)) break;
      if (status != Z_OK && status != Z_BUF_ERROR) throw EBadInput(u"deflate failed");
      if (FStream.avail_out == 0) {
        const std::size_t used = out.size();
        out.resize(out.size() * 2);
        FStream.next_out = reinterpret_cast<Bytef*>(out.data() + used);
        FStream.avail_out = static_cast<uInt>(out.size() - used);
      }
    }
    out.resize(out.size() - FStream.avail_out);
  }

 private:
  z_stream FStream{};
};

// A worker's open file, kept while its blocks come one after another.
class TOpenFile {
 public:
  const TOsFile& Get(const TArchiveSource& source, std::size_t index) {
    if (!FFile || FIndex != index) {
      FFile.reset();
      FFile.emplace(TOsFile::OpenForReading(source.Path));
      FIndex = index;
    }
    return *FFile;
  }

 private:
  std::optional<TOsFile> FFile;
  std::size_t FIndex = 0;
};

// Reads a block with the dictionary before it; the last block also looks one byte past
// the listed end, to see a file that grew.
void ReadBlock(const TArchiveSource& source, const TOsFile& file, const TBlock& block, TSlot& slot) {
  const std::size_t dictionary = static_cast<std::size_t>(std::min<std::uint64_t>(kDictionary, block.Offset));
  const std::size_t wanted = dictionary + block.Length + (block.Last ? 1 : 0);
  slot.Input.resize(wanted);
  const std::size_t got = file.ReadAt(block.Offset - dictionary, slot.Input.data(), wanted);
  if (got != dictionary + block.Length) Changed(source.Path);
  slot.Input.resize(got);
  slot.DataStart = dictionary;
}

class TPipeline {
 public:
  TPipeline(const std::vector<TArchiveSource>& sources, unsigned threads)
      : FSources(sources), FCursor(sources), FSlots(2 * threads + 2) {}

  void Worker() {
    TDeflater deflater;
    TOpenFile open;
    std::unique_lock<std::mutex> lock(FLock);
    for (;;) {
      FWork.wait(lock, [&] { return FStop || FClaimed < FConsumed + FSlots.size(); });
      if (FStop) return;
      const std::optional<TBlock> block = FCursor.Next();
      if (!block) return;
      TSlot& slot = FSlots[FClaimed++ % FSlots.size()];
      lock.unlock();
      try {
        const TArchiveSource& source = FSources[block->File];
        ReadBlock(source, open.Get(source, block->File), *block, slot);
        const std::string_view input(slot.Input);
        const std::string_view data = input.substr(slot.DataStart, block->Length);
        slot.Crc = static_cast<std::uint32_t>(
            crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
        deflater.Run(input.substr(0, slot.DataStart), data, block->Last, slot.Deflated);
      } catch (...) {
        lock.lock();
        Stop(std::current_exception());
        return;
      }
      lock.lock();
      slot.Ready = true;
      FReady.notify_all();
    }
  }

  // The next block in order, once deflated; the slot is the caller's until Release().
  TSlot& Take(std::uint64_t sequence) {
    std::unique_lock<std::mutex> lock(FLock);
    TSlot& slot = FSlots[sequence % FSlots.size()];
    FReady.wait(lock, [&] { return slot.Ready || FError; });
    if (FError) std::rethrow_exception(FError);
    return slot;
  }

  void Release(TSlot& slot) {
    const std::lock_guard<std::mutex> lock(FLock);
    slot.Ready = false;
    ++FConsumed;
    FWork.notify_all();
  }

  void Stop(std::exception_ptr error) {
    if (error && !FError) FError = error;
    FStop = true;
    FWork.notify_all();
    FReady.notify_all();
  }

  void StopAll() {
    const std::lock_guard<std::mutex> lock(FLock);
    Stop(nullptr);
  }

 private:
  const std::vector<TArchiveSource>& FSources;
  std::mutex FLock;
  std::condition_variable FWork;
  std::condition_variable FReady;
  TBlockCursor FCursor;
  std::vector<TSlot> FSlots;
  std::uint64_t FClaimed = 0;
  std::uint64_t FConsumed = 0;
  bool FStop = false;
  std::exception_ptr FError;
};

// The threads of a pipeline, stopped and joined on every way out.
class TWorkers {
 public:
  TWorkers(TPipeline& pipeline, unsigned count) : FPipeline(pipeline) {
    for (unsigned i = 0; i < count; ++i) FThreads.emplace_back([&pipeline] { pipeline.Worker(); });
  }
  ~TWorkers() {
    FPipeline.StopAll();
    for (std::thread& thread : FThreads) thread.join();
  }
  TWorkers(const TWorkers&) = delete;
  TWorkers& operator=(const TWorkers&) = delete;

 private:
  TPipeline& FPipeline;
  std::vector<std::thread> FThreads;
};

void Hash(TSha256& hash, std::string_view bytes) {
  hash.Update(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
}

}  // namespace

unsigned WorkerThreads() {
  constexpr unsigned kMostThreads = 16;
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMostThreads);
}

std::vector<TSha256Digest> WriteReleaseArchive(const std::vector<TArchiveSource>& sources, TZipWriter& zip) {
  std::vector<TSha256Digest> digests(sources.size());
  const unsigned threads = static_cast<unsigned>(
      std::min<std::uint64_t>(WorkerThreads(), std::max<std::uint64_t>(1, TBlockCursor::Count(sources))));
  TPipeline pipeline(sources, threads);
  TWorkers workers(pipeline, threads);

  std::uint64_t sequence = 0;
  for (std::size_t file = 0; file < sources.size(); ++file) {
    const TArchiveSource& source = sources[file];
    const std::unique_ptr<TSha256> hash = CreateSha256();
    if (source.Size == 0) {
      // An empty file is stored: no deflate stream to get wrong, but still looked at.
      if (TOsFile::OpenForReading(source.Path).Size() != 0) Changed(source.Path);
      zip.BeginEntry(source.Name, 0, TZipMethod::Stored);
      zip.EndEntry(0);
      digests[file] = hash->Finish();
      continue;
    }
    zip.BeginEntry(source.Name, source.Size, TZipMethod::Deflated);
    std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, nullptr, 0));
    for (std::uint64_t done = 0; done < source.Size; ++sequence) {
      TSlot& slot = pipeline.Take(sequence);
      const std::string_view data = std::string_view(slot.Input).substr(slot.DataStart);
      const std::string_view block = data.substr(0, std::min<std::uint64_t>(data.size(), source.Size - done));
      Hash(*hash, block);
      crc = static_cast<std::uint32_t>(crc32_combine(crc, slot.Crc, static_cast<z_off_t>(block.size())));
      zip.WriteData(slot.Deflated);
      done += block.size();
      pipeline.Release(slot);
    }
    zip.EndEntry(crc);
    digests[file] = hash->Finish();
  }
  return digests;
}

std::vector<TSha256Digest> HashFiles(const std::vector<TArchiveSource>& files) {
  std::vector<TSha256Digest> digests(files.size());
  std::atomic<std::size_t> next{0};
  std::atomic<bool> failed{false};
  std::exception_ptr firstError;
  std::mutex errorLock;
  auto work = [&] {
    try {
      std::string buffer(kHashChunk, '\0');
      for (std::size_t i = next++; i < files.size() && !failed; i = next++) {
        const TOsFile file = TOsFile::OpenForReading(files[i].Path);
        const std::unique_ptr<TSha256> hash = CreateSha256();
        std::uint64_t offset = 0;
        for (;;) {
          const std::size_t got = file.ReadAt(offset, buffer.data(), buffer.size());
          if (got == 0) break;
          Hash(*hash, std::string_view(buffer.data(), got));
          offset += got;
        }
        if (offset != files[i].Size) Changed(files[i].Path);
        digests[i] = hash->Finish();
      }
    } catch (...) {
      const std::lock_guard<std::mutex> lock(errorLock);
      if (!firstError) firstError = std::current_exception();
      failed = true;
    }
  };
  const unsigned threads = static_cast<unsigned>(std::min<std::size_t>(WorkerThreads(), std::max<std::size_t>(files.size(), 1)));
  std::vector<std::thread> helpers;
  for (unsigned t = 1; t < threads; ++t) helpers.emplace_back(work);
  work();
  for (std::thread& helper : helpers) helper.join();
  if (firstError) std::rethrow_exception(firstError);
  return digests;
}

}  // namespace cvl
