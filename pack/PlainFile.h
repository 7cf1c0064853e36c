#pragma once
// A loose file on disk, read and written through one raw file.
//
// The file interface describes sizes and positions in 32 bits. A file opened through it (Open, Create)
// must stay describable: one whose size does not fit 32 bits does not open, and no seek or write may
// take the position past what 32 bits hold, so that nobody acts on a cut size. Readers that work past
// 4 GiB open with OpenLarge and use the 64-bit calls; GetSize and Tell then answer 0xFFFFFFFF for a
// size or position beyond 32 bits. Tell answers 0 when closed.

#include "foundation/NativeFile.h"
#include "pack/FileBase.h"

class CPlainFile : public CFileBase {
 public:
  CPlainFile() = default;
  ~CPlainFile() override = default;

  bool Create(const std::string& path, int mode) override;
  int Open(const std::string& path) override;  // 1 opened, 0 not (also for a file of 4 GiB or more)
  void Close() override { file_.Close(); }
  uint32_t Read(void* buffer, uint32_t size, uint32_t count) override;
  uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override;
  uint32_t GetSize() override;
  bool Seek(int32_t offset, int origin) override;
  uint32_t Tell() override;
  void Rewind() override { file_.Rewind(); }
  bool IsOpen() override { return file_.IsOpen(); }

  // For reading, whatever the size: 1 opened, 0 not.
  int OpenLarge(const std::string& path);
  // All ones when closed or unknown.
  uint64_t GetSize64() const { return file_.GetSize64(); }
  uint64_t Tell64() const { return file_.Tell64(); }
  // To an offset from the start; past 4 GiB only for a file opened with OpenLarge.
  bool SeekTo64(uint64_t offset);

 private:
  // The largest position the file may take: 32 bits unless opened with OpenLarge.
  uint64_t Limit() const { return large_ ? uint64_t(INT64_MAX) : 0xFFFFFFFFu; }

  CNativeFile file_;
  bool large_ = false;
};
