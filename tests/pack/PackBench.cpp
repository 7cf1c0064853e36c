// Prints how fast members of pack archives open through CFile (./dev bench):
//  - opening every member of archives of 100, 1,000 and 10,000 small members, per open, with the
//    index cache and (for scale) with the index read again on every open;
//  - decoding large members through CFile against zlib's own uncompress of the same streams.

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "foundation/Folders.h"
#include "pack/File.h"
#include "pack/PackFormat.h"
#include "pack/PackIndexCache.h"
#include "pack/ZipCodec.h"

namespace {

double Now() {
  static LARGE_INTEGER frequency = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  return double(counter.QuadPart) / double(frequency.QuadPart);
}

// Processor time of this thread (user and kernel): unlike the clock, it does not grow while other
// programs have the processor. Coarse (the system's tick), so it is summed over many rounds.
double ThreadSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  auto seconds = [](const FILETIME& t) { return (uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e7; };
  return seconds(kernel) + seconds(user);
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(file);
  return ok;
}

// Opens and reads a member whole; false when it does not open or read.
bool OpenAndRead(const std::string& path, std::vector<uint8_t>& buffer) {
  CFile file;
  if (file.Open(path) != 1) return false;
  buffer.resize(file.GetSize());
  return buffer.empty() || file.Read(buffer.data(), 1, file.GetSize()) == file.GetSize();
}

std::string MemberName(int i) {
  char name[32];
  std::snprintf(name, sizeof name, "sub\\member%05d.txt", i);
  return name;
}

std::string SetBase(const std::string& folder, int count) { return folder + "\\set" + std::to_string(count); }

bool WriteSet(const std::string& folder, int count) {
  std::vector<std::pair<std::string, std::string>> members;
  for (int i = 0; i < count; ++i)
    members.push_back({MemberName(i), "contents of member " + std::to_string(i) + "\r\n"});
  std::string archive;
  return BuildPackArchive(members, 6, &archive) && WriteBytes(SetBase(folder, count) + ".pak", archive);
}

// Seconds per open over every member, the index kept; or, with `readIndexEveryTime`, over up to 100
// members with the kept indexes dropped before each open. Negative when an open fails.
double TimeOpens(const std::string& folder, int count, bool readIndexEveryTime) {
  std::string base = SetBase(folder, count);
  std::vector<uint8_t> buffer;
  int opens = readIndexEveryTime ? std::min(count, 100) : count;
  if (!readIndexEveryTime && !OpenAndRead(base + "\\" + MemberName(0), buffer)) return -1;  // index read
  double start = Now();
  for (int i = 0; i < opens; ++i) {
    if (readIndexEveryTime) ClearPackIndexCache();
    if (!OpenAndRead(base + "\\" + MemberName(count - 1 - i * (count / opens)), buffer)) return -1;
  }
  return (Now() - start) / opens;
}

bool BenchOpens(const std::string& folder) {
  const int kCounts[] = {100, 1000, 10000};
  for (int count : kCounts) {
    if (!WriteSet(folder, count)) return false;
  }
  // The sizes take turns and the best round counts: other work on the machine (and Wine's own
  // warming up) slows single rounds down by several times.
  double best[3] = {1e9, 1e9, 1e9}, bestUncached[3] = {1e9, 1e9, 1e9};
  for (int round = 0; round < 7; ++round) {
    for (int k = 0; k < 3; ++k) {
      double cached = TimeOpens(folder, kCounts[k], false);
      double uncached = TimeOpens(folder, kCounts[k], true);
      if (cached < 0 || uncached < 0) return false;
      best[k] = std::min(best[k], cached);
      bestUncached[k] = std::min(bestUncached[k], uncached);
    }
  }
  for (int k = 0; k < 3; ++k) {
    std::printf("%6d members: %7.1f us per open with the index kept; %8.1f us reading the index on every open\n",
                kCounts[k], best[k] * 1e6, bestUncached[k] * 1e6);
    DeleteFileA((SetBase(folder, kCounts[k]) + ".pak").c_str());
  }
  return true;
}

// Data that compresses about as well as game text and bitmaps (roughly 3:1 to 4:1).
std::string TextLikeData(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"sorvane ",  "data ", "gamedata ", "bitmap ", "0x1F, ",  "\r\n", "voice ",
                                       "quellith ", "pack ", "member ",   "index ",  "stream ", "\t",   "12345 "};
  std::string out;
  out.reserve(size);
  uint32_t state = seed;
  while (out.size() < size) {
    state = state * 1664525u + 1013904223u;
    if ((state >> 28) == 0) {
      out.push_back(static_cast<char>(state >> 16));
    } else {
      out += kWords[(state >> 16) % (sizeof kWords / sizeof kWords[0])];
    }
  }
  out.resize(size);
  return out;
}

bool BenchDecode(const std::string& folder) {
  const size_t kSize = 48 << 20;
  struct Kind {
    const char* label;
    std::string data;
  };
  std::vector<Kind> kinds;
  kinds.push_back({"text-like", TextLikeData(kSize, 1)});
  std::string pixels(kSize, '\0');
  for (size_t i = 0; i < kSize; ++i) pixels[i] = static_cast<char>((i / 4) % 251 + ((i * 7) >> 12));
  kinds.push_back({"gradient pixels", pixels});

  for (Kind& kind : kinds) {
    std::string archive;
    if (!BuildPackArchive({{"big.bin", kind.data}}, 6, &archive)) return false;
    std::string base = folder + "\\big";
    if (!WriteBytes(base + ".pak", archive)) return false;
    // The same stream, unscrambled, for zlib alone.
    PackIndex index(reinterpret_cast<const uint8_t*>(archive.data()) + kPackHeaderSize,
                    archive.size() - kPackHeaderSize);
    const PackEntry& entry = index.GetAt(0);
    std::vector<uint8_t> stream(archive.begin() + entry.offset, archive.begin() + entry.offset + entry.length - 4);
    ScramblePackHead(stream.data(), entry.length);

    double bestFront = 1e9, bestRaw = 1e9, cpuFront = 0, cpuRaw = 0;
    std::vector<uint8_t> buffer;
    for (int round = 0; round < 9; ++round) {
      double start = Now(), cpu = ThreadSeconds();
      {
        CFile file;
        if (file.Open(base + "\\big.bin") != 1 || file.GetSize() != kind.data.size()) return false;
      }
      bestFront = std::min(bestFront, Now() - start);
      cpuFront += ThreadSeconds() - cpu;

      start = Now();
      cpu = ThreadSeconds();
      {
        std::unique_ptr<uint8_t[]> out(new uint8_t[kind.data.size() + 1]);
        uLongf length = static_cast<uLongf>(kind.data.size());
        if (uncompress(out.get(), &length, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) return false;
      }
      bestRaw = std::min(bestRaw, Now() - start);
      cpuRaw += ThreadSeconds() - cpu;
    }
    double megabytes = kind.data.size() / 1048576.0;
    std::printf(
        "%-16s %3.0f MiB (stored %5.1f MiB): CFile::Open %6.1f MiB/s, zlib uncompress %6.1f MiB/s, ratio %.3f;\n"
        "                 by processor time over the 9 rounds: %6.1f and %6.1f MiB/s, ratio %.3f\n",
        kind.label, megabytes, entry.length / 1048576.0, megabytes / bestFront, megabytes / bestRaw,
        bestRaw / bestFront, 9 * megabytes / cpuFront, 9 * megabytes / cpuRaw, cpuRaw / cpuFront);
    DeleteFileA((base + ".pak").c_str());
  }
  return true;
}

// Building the index of the largest pack a reader accepts, of names that share all but their last
// bytes (the worst case for comparing names; no hash is involved, so no names are worse).
bool BenchIndexBuild() {
  std::vector<PackEntry> entries(kPackIndexBudget.entries);
  const std::string prefix(kMaxMemberNameSize - 1 - 8, 'p');
  for (size_t i = 0; i < entries.size(); ++i) {
    char tail[16];
    std::snprintf(tail, sizeof tail, "%08X", static_cast<unsigned>((i * 2654435761u) % entries.size()));
    entries[i].name = prefix.substr(0, static_cast<size_t>(kPackIndexBudget.nameBytes / entries.size()) - 8) + tail;
  }
  std::string block = MakeIndexBlock(entries);
  double best = 1e9;
  for (int round = 0; round < 3; ++round) {
    double start = Now();
    PackIndex index(reinterpret_cast<const uint8_t*>(block.data()), block.size());
    if (index.GetCount() != entries.size() || !index.Find(entries[12345].name)) return false;
    best = std::min(best, Now() - start);
  }
  std::printf("%u entries of %u-byte names differing in their last 8: %.1f ms to build the index (best of 3)\n",
              static_cast<unsigned>(entries.size()), static_cast<unsigned>(entries[0].name.size()), best * 1e3);
  return true;
}

}  // namespace

int main() {
  std::string folder = GetTempDirectory() + "pack_bench_" + std::to_string(GetCurrentProcessId());
  if (!CreateDirectoryA(folder.c_str(), nullptr)) {
    std::fprintf(stderr, "pack_bench: cannot make %s\n", folder.c_str());
    return 1;
  }
  std::printf("Opening members of one archive through CFile (open, read, close; best of 7 rounds):\n");
  bool ok = BenchOpens(folder);
  std::printf("Decoding large members (best of 9 by the clock; ratio = zlib time / CFile time):\n");
  ok = ok && BenchDecode(folder);
  std::printf("The largest index a reader accepts:\n");
  ok = ok && BenchIndexBuild();
  RemoveDirectoryA(folder.c_str());
  if (!ok) {
    std::fprintf(stderr, "pack_bench: a step failed\n");
    return 1;
  }
  return 0;
}
