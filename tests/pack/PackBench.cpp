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

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
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

bool BenchOpens(const std::string& folder, int count) {
  std::vector<std::pair<std::string, std::string>> members;
  for (int i = 0; i < count; ++i) members.push_back({MemberName(i), "contents of member " + std::to_string(i) + "\r\n"});
  std::string archive;
  std::string base = folder + "\\set" + std::to_string(count);
  if (!BuildPackArchive(members, 6, &archive) || !WriteBytes(base + ".pak", archive)) return false;

  std::vector<uint8_t> buffer;
  ClearPackIndexCache();
  double start = Now();
  if (!OpenAndRead(base + "\\" + MemberName(0), buffer)) return false;
  double first = Now() - start;
  // Best of three passes over every member: the machine may be busy with other work meanwhile.
  double rest = 1e9;
  for (int pass = 0; pass < 3; ++pass) {
    start = Now();
    for (int i = 0; i < count; ++i) {
      if (!OpenAndRead(base + "\\" + MemberName(i), buffer)) return false;
    }
    rest = std::min(rest, (Now() - start) / count);
  }
  // For scale: the index read again on every open (every open then walks the whole archive head).
  int uncachedOpens = std::min(count, 200);
  start = Now();
  for (int i = 0; i < uncachedOpens; ++i) {
    ClearPackIndexCache();
    if (!OpenAndRead(base + "\\" + MemberName(count - 1 - i * (count / uncachedOpens)), buffer)) return false;
  }
  double uncached = (Now() - start) / uncachedOpens;
  std::printf("%6d members: %7.1f us per open (best of 3 passes; the first open, reading the index: %7.1f us);\n"
              "                %8.1f us per open reading the index every time\n",
              count, rest * 1e6, first * 1e6, uncached * 1e6);
  DeleteFileA((base + ".pak").c_str());
  return true;
}

// Data that compresses about as well as game text and bitmaps (roughly 3:1 to 4:1).
std::string TextLikeData(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"sorvane ", "data ", "gamedata ", "bitmap ", "0x1F, ", "\r\n", "voice ",
                                       "quellith ", "pack ", "member ", "index ", "stream ", "\t", "12345 "};
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
    PackIndex index(reinterpret_cast<const uint8_t*>(archive.data()) + kPackHeaderSize, archive.size() - kPackHeaderSize);
    const PackEntry& entry = index.GetAt(0);
    std::vector<uint8_t> stream(archive.begin() + entry.offset, archive.begin() + entry.offset + entry.length - 4);
    ScramblePackHead(stream.data(), entry.length);

    double bestFront = 1e9, bestRaw = 1e9;
    std::vector<uint8_t> buffer;
    for (int round = 0; round < 5; ++round) {
      double start = Now();
      {
        CFile file;
        if (file.Open(base + "\\big.bin") != 1 || file.GetSize() != kind.data.size()) return false;
      }
      bestFront = std::min(bestFront, Now() - start);

      start = Now();
      {
        std::unique_ptr<uint8_t[]> out(new uint8_t[kind.data.size() + 1]);
        uLongf length = static_cast<uLongf>(kind.data.size());
        if (uncompress(out.get(), &length, stream.data(), static_cast<uLong>(stream.size())) != Z_OK) return false;
      }
      bestRaw = std::min(bestRaw, Now() - start);
    }
    double megabytes = kind.data.size() / 1048576.0;
    std::printf("%-16s %3.0f MiB (stored %5.1f MiB): CFile::Open %6.1f MiB/s, zlib uncompress %6.1f MiB/s, ratio %.3f\n",
                kind.label, megabytes, entry.length / 1048576.0, megabytes / bestFront, megabytes / bestRaw,
                bestRaw / bestFront);
    DeleteFileA((base + ".pak").c_str());
  }
  return true;
}

}  // namespace

int main() {
  std::string folder = GetTempDirectory() + "pack_bench_" + std::to_string(GetCurrentProcessId());
  if (!CreateDirectoryA(folder.c_str(), nullptr)) {
    std::fprintf(stderr, "pack_bench: cannot make %s\n", folder.c_str());
    return 1;
  }
  std::printf("Opening every member of one archive through CFile (open, read, close):\n");
  bool ok = BenchOpens(folder, 100) && BenchOpens(folder, 1000) && BenchOpens(folder, 10000);
  std::printf("Decoding large members (best of 5; ratio = zlib time / CFile time):\n");
  ok = ok && BenchDecode(folder);
  RemoveDirectoryA(folder.c_str());
  if (!ok) {
    std::fprintf(stderr, "pack_bench: a step failed\n");
    return 1;
  }
  return 0;
}
