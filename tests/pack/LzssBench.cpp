// Prints the LZSS codec's speed (./dev bench, native): decode throughput of CLZSSCodec against the
// plain byte-at-a-time ring decoder, checked bit for bit, and the encoder's speed and ratio against the
// classic binary-tree encoder, on text-like, binary and already-compressed data of a few MiB each.
// Times are the thread's processor time, best of several rounds.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

#include "pack/LzssCore.h"
#include "tests/support/LzssReference.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kSize = 4 << 20;

struct Random {
  uint64_t state;
  uint32_t Next() {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    return uint32_t(state >> 16);
  }
};

// Words with a skewed frequency, lines of varying length, some Shift-JIS: like scripts and text data.
Bytes TextLike() {
  static const char* const kWords[] = {
      "the",      "of",       "and",     "to",           "in",      "a",         "is",    "that",
      "for",      "it",       "as",      "was",          "with",    "be",        "by",    "on",
      "not",      "he",       "this",    "are",          "or",      "his",       "from",  "at",
      "which",    "but",      "have",    "an",           "had",     "they",      "you",   "were",
      "their",    "one",      "all",     "we",           "can",     "her",       "has",   "there",
      "been",     "if",       "more",    "when",         "will",    "would",     "who",   "so",
      "no",       "window",   "archive", "scenario",     "message", "character", "voice", "ゲーム",
      "ファイル", "読み込み", "データ",  "インストール", "終了",    "画面",      "選択",  "「",
      "」",       "、",       "。"};
  const size_t count = sizeof kWords / sizeof *kWords;
  Random random{0x1234567};
  Bytes out;
  out.reserve(kSize + 64);
  size_t lineLength = 0;
  while (out.size() < kSize) {
    uint32_t r = random.Next();
    // Squaring a uniform number favours the first words.
    size_t index = size_t((uint64_t(r % 1024) * (r % 1024)) * count / (1024 * 1024));
    const char* word = kWords[index];
    out.insert(out.end(), word, word + std::strlen(word));
    lineLength += std::strlen(word) + 1;
    if (lineLength > 40 + random.Next() % 40) {
      out.push_back('\r');
      out.push_back('\n');
      lineLength = 0;
    } else {
      out.push_back(' ');
    }
  }
  out.resize(kSize);
  return out;
}

// Half a 24-bit picture (gradients, flat areas and noise), half tables of little-endian records.
Bytes BinaryLike() {
  Random random{0x9876543};
  Bytes out;
  out.reserve(kSize);
  const int width = 640;
  for (int y = 0; out.size() < kSize / 2; ++y) {
    for (int x = 0; x < width; ++x) {
      bool flat = ((x / 64) + (y / 48)) % 3 == 0;
      uint8_t noise = uint8_t(random.Next() % 4);
      out.push_back(flat ? 0x20 : uint8_t(x / 3 + noise));
      out.push_back(flat ? 0x40 : uint8_t(y + noise));
      out.push_back(flat ? 0x80 : uint8_t((x + y) / 5));
    }
  }
  for (uint32_t id = 0; out.size() < kSize; ++id) {
    uint32_t fields[8] = {id, id * 16, 0, 1, random.Next() % 100, 0xFFFFFFFFu, id % 7, 0x00010000u};
    const uint8_t* bytes = reinterpret_cast<const uint8_t*>(fields);
    out.insert(out.end(), bytes, bytes + sizeof fields);
  }
  out.resize(kSize);
  return out;
}

// Bytes with no structure left to find, as in files that are compressed already.
Bytes AlreadyCompressed() {
  Random random{0x55AA55AA};
  Bytes out(kSize);
  for (auto& b : out) b = uint8_t(random.Next());
  return out;
}

// Processor time of this thread, so that other work on a shared machine does not count.
double ThreadSeconds() {
  timespec now;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return now.tv_sec + now.tv_nsec * 1e-9;
}

template <typename Run>
double BestSeconds(int rounds, Run run) {
  double best = 1e30;
  for (int i = 0; i < rounds; ++i) {
    double start = ThreadSeconds();
    run();
    best = std::min(best, ThreadSeconds() - start);
  }
  return best;
}

double MiBPerSecond(size_t bytes, double seconds) { return bytes / (1024.0 * 1024.0) / seconds; }

bool Measure(const char* name, const Bytes& data) {
  Bytes stream;
  CLZSSCodec codec;
  double encodeSeconds = BestSeconds(1, [&] { LzssEncode(data.data(), data.size(), &stream); });
  Bytes classic;
  double classicSeconds =
      BestSeconds(1, [&] { classic = testing_support::ReferenceLzssEncode(data.data(), data.size()); });

  Bytes fast(data.size() + 8), plain(data.size() + 8);
  const uint32_t z = uint32_t(stream.size()), l = uint32_t(data.size());
  int64_t fastResult = -1, plainResult = -1;
  // Rounds of the two decoders alternate, and the best of each counts, so that other work on the
  // machine weighs on both alike.
  double plainSeconds = 1e30, fastSeconds = 1e30;
  for (int round = 0; round < 15; ++round) {
    plainSeconds = std::min(plainSeconds, BestSeconds(1, [&] {
                              plainResult = testing_support::ReferenceLzssDecode(stream.data(), z, plain.data(), l);
                            }));
    fastSeconds =
        std::min(fastSeconds, BestSeconds(1, [&] { fastResult = codec.Decode(stream.data(), z, fast.data(), l); }));
  }
  bool exact = fastResult == int64_t(l) && plainResult == int64_t(l) && std::memcmp(fast.data(), data.data(), l) == 0 &&
               std::memcmp(plain.data(), data.data(), l) == 0;
  // The classic encoder's stream decodes with the project's decoder too.
  Bytes check(data.size() + 8);
  bool classicDecodes = codec.Decode(classic.data(), uint32_t(classic.size()), check.data(), l) == int64_t(l) &&
                        std::memcmp(check.data(), data.data(), l) == 0;

  std::printf("%-20s %5.2f MiB\n", name, data.size() / 1048576.0);
  std::printf("  decode  plain ring loop %8.1f MiB/s   CLZSSCodec %8.1f MiB/s   %.2fx   %s\n",
              MiBPerSecond(l, plainSeconds), MiBPerSecond(l, fastSeconds), plainSeconds / fastSeconds,
              exact ? "bit-exact" : "MISMATCH");
  std::printf("  encode  CLZSSCodec %6.1f MiB/s ratio %.4f (%u bytes)   classic %6.1f MiB/s ratio %.4f (%u bytes)%s\n",
              MiBPerSecond(l, encodeSeconds), double(stream.size()) / l, unsigned(stream.size()),
              MiBPerSecond(l, classicSeconds), double(classic.size()) / l, unsigned(classic.size()),
              classicDecodes ? "" : "   CLASSIC STREAM DOES NOT DECODE");
  return exact && classicDecodes && stream.size() <= classic.size();
}

}  // namespace

int main() {
  bool good = true;
  good &= Measure("text-like", TextLike());
  good &= Measure("binary", BinaryLike());
  good &= Measure("already compressed", AlreadyCompressed());
  if (!good) std::printf("FAILED: a stream did not decode exactly, or the encoder lost to the classic one\n");
  return good ? 0 : 1;
}
