#pragma once
// A loose file on disk, read and written through one raw file.

#include "foundation/NativeFile.h"
#include "pack/FileBase.h"

class CPlainFile : public CFileBase {
 public:
  CPlainFile() = default;
  ~CPlainFile() override = default;

  bool Create(const std::string& path, int mode) override;
  int Open(const std::string& path) override;  // 1 opened, 0 not
  void Close() override { file_.Close(); }
  uint32_t Read(void* buffer, uint32_t size, uint32_t count) override;
  uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override;
  uint32_t GetSize() override { return file_.GetSize(); }
  bool Seek(int32_t offset, int origin) override;
  uint32_t Tell() override { return file_.Tell(); }
  void Rewind() override { file_.Rewind(); }
  bool IsOpen() override { return file_.IsOpen(); }

 private:
  CNativeFile file_;
};
