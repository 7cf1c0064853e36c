// How long packtool.exe takes to pack a generated game-data tree with one job and with one per
// processor, and the ratio; the same for its LZSS archives. The tree (about 300 MB in files of mixed
// sizes: text-like, pixel-like and already-compressed) is made from a fixed seed in a scratch folder
// below FOLDER and removed afterwards. Each command runs twice with each count, the better time
// counts. Each archive is checked to be the same with every job count.
//
//   packtool_bench PACKTOOL.EXE FOLDER [MEGABYTES]    (default 300)
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

// A fixed-seed generator, so that every run packs the same bytes.
struct Random {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
};

std::string TextLike(size_t size, Random& random) {
  static const char* const kWords[] = {"the",  "setup", "disc", "ゲーム",  "データ", "表示",    "ソフト", "能力",
                                       "予定", "十",    "copy", "install", "folder", "message", "\r\n",   ", "};
  std::string text;
  while (text.size() < size) {
    text += kWords[random.Next() % 16];
    text += ' ';
  }
  text.resize(size);
  return text;
}

// Smooth gradients with noise in the low bits, as pictures are.
std::string PixelLike(size_t size, Random& random) {
  std::string pixels(size, '\0');
  const uint32_t width = 640 * 3;
  for (size_t i = 0; i < size; ++i) {
    uint32_t x = static_cast<uint32_t>(i % width), y = static_cast<uint32_t>(i / width);
    pixels[i] = static_cast<char>((x / 3 + y * (1 + i % 3)) / 4 + (random.Next() & 7));
  }
  return pixels;
}

std::string Compressed(size_t size, Random& random) {
  std::string bytes(size, '\0');
  for (char& c : bytes) c = static_cast<char>(random.Next() >> 13);
  return bytes;
}

bool WriteFileAt(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool good =
      WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
  CloseHandle(file);
  return good;
}

bool SameFiles(const std::string& a, const std::string& b) {
  FILE* one = std::fopen(a.c_str(), "rb");
  FILE* two = std::fopen(b.c_str(), "rb");
  bool same = one && two;
  std::vector<char> x(1 << 20), y(1 << 20);
  while (same) {
    size_t n = std::fread(x.data(), 1, x.size(), one), m = std::fread(y.data(), 1, y.size(), two);
    same = n == m && std::equal(x.begin(), x.begin() + n, y.begin());
    if (n == 0) break;
  }
  if (one) std::fclose(one);
  if (two) std::fclose(two);
  return same;
}

// Runs the command line in `folder` to its end; its seconds, or -1 when it failed.
double TimeRun(const std::string& commandLine, const std::string& folder) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup, &process)) {
    return -1;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  QueryPerformanceCounter(&end);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return code == 0 ? double(end.QuadPart - start.QuadPart) / double(frequency.QuadPart) : -1;
}

void RemoveTree(const std::string& folder) {
  WIN32_FIND_DATAA found;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &found);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = found.cFileName;
      if (name == "." || name == "..") continue;
      std::string path = folder + "\\" + name;
      if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(path);
      else
        DeleteFileA(path.c_str());
    } while (FindNextFileA(find, &found));
    FindClose(find);
  }
  RemoveDirectoryA(folder.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: packtool_bench PACKTOOL.EXE FOLDER [MEGABYTES]\n");
    return 2;
  }
  const std::string tool = argv[1];
  const std::string root = std::string(argv[2]) + "\\packtool-bench";
  const uint64_t total = (argc > 3 ? std::strtoull(argv[3], nullptr, 10) : 300) << 20;
  RemoveTree(root);
  CreateDirectoryA(root.c_str(), nullptr);
  const std::string data = root + "\\data";
  CreateDirectoryA(data.c_str(), nullptr);
  Random random{20261209};
  uint64_t made = 0;
  unsigned files = 0;
  for (unsigned folder = 0; made < total; ++folder) {
    const std::string sub = data + "\\" + (folder % 2 ? "表" : "ソ") + std::to_string(folder);
    CreateDirectoryA(sub.c_str(), nullptr);
    for (int i = 0; i < 40 && made < total; ++i, ++files) {
      // Mostly small files, some of a few MB: 4 KB to 6 MB.
      uint32_t roll = random.Next() % 100;
      size_t size = roll < 70   ? 4096 + random.Next() % 200000
                    : roll < 95 ? 200000 + random.Next() % 1800000
                                : 2000000 + random.Next() % 4000000;
      std::string bytes;
      const char* kind;
      switch (files % 3) {
        case 0: bytes = TextLike(size, random), kind = ".txt"; break;
        case 1: bytes = PixelLike(size, random), kind = ".bmp"; break;
        default: bytes = Compressed(size, random), kind = ".ogg"; break;
      }
      if (!WriteFileAt(sub + "\\" + std::to_string(i) + kind, bytes)) {
        std::fprintf(stderr, "cannot write the tree below %s\n", root.c_str());
        return 1;
      }
      made += size;
    }
  }
  SYSTEM_INFO system;
  GetSystemInfo(&system);
  const unsigned processors = system.dwNumberOfProcessors;
  std::printf("tree: %u files, %.1f MB; %u processors\n", files, made / 1e6, processors);
  int status = 0;
  for (const char* command : {"pack", "lzss"}) {
    const char* extension = std::string(command) == "pack" ? ".pak" : ".dat";
    const std::string one = std::string("one") + extension, all = std::string("all") + extension;
    // Two rounds in turn, the order swapped in the second, so that neither count always runs first;
    // the better time of each counts (the machine may be shared).
    const std::string line = "\"" + tool + "\" " + command + " data ";
    double single = 1e30, every = 1e30;
    for (int round = 0; round < 2 && single >= 0 && every >= 0; ++round) {
      for (int turn = 0; turn < 2; ++turn) {
        const bool alone = (turn == 0) == (round == 0);
        double seconds = alone ? TimeRun(line + one + " --jobs 1", root)
                               : TimeRun(line + all + " --jobs " + std::to_string(processors), root);
        double& best = alone ? single : every;
        best = seconds < 0 ? -1 : std::min(best, seconds);
      }
    }
    if (single < 0 || every < 0) {
      std::printf("packtool %s: failed\n", command);
      status = 1;
      continue;
    }
    const bool same = SameFiles(root + "\\" + one, root + "\\" + all);
    std::printf("packtool %s: 1 job %.2f s (%.1f MB/s), %u jobs %.2f s (%.1f MB/s), ratio %.2f, archives %s\n", command,
                single, made / 1e6 / single, processors, every, made / 1e6 / every, single / every,
                same ? "the same" : "DIFFER");
    if (!same) status = 1;
  }
  RemoveTree(root);
  return status;
}
