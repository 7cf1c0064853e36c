#pragma once
// The file front: what framework code holds to read a data file or to write one. It owns one reader and
// forwards every operation to it; Open decides where the bytes come from, in this order:
//   1. the loose file at the full path;
//   2. the file's single-file pack beside it;
//   3. the file's member in a pack archive of the nearest enclosing folder that has one;
//   4. for a relative name, the same three below data\gamedata of every CD-ROM drive.
// A loose file that exists but cannot be opened is not looked for in packs. Open failures are silent.

#include <memory>
#include <string>

#include "pack/FileBase.h"

class CFile : public CFileBase {
 public:
  CFile() = default;
  ~CFile() override = default;
  CFile(const CFile&) = delete;
  CFile& operator=(const CFile&) = delete;

  // A loose file at the full path of `name`, for writing (mode as CPlainFile::Create).
  bool Create(const std::string& name, int mode) override;
  // 1 when a reader opened the name; 0 otherwise (the file is then closed).
  int Open(const std::string& name) override;
  void Close() override { reader_.reset(); }
  uint32_t Read(void* buffer, uint32_t size, uint32_t count) override;
  uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override;
  uint32_t GetSize() override { return reader_ ? reader_->GetSize() : 0; }
  bool Seek(int32_t offset, int origin) override { return reader_ && reader_->Seek(offset, origin); }
  uint32_t Tell() override { return reader_ ? reader_->Tell() : 0; }
  void Rewind() override {
    if (reader_) reader_->Rewind();
  }
  bool IsOpen() override { return reader_ && reader_->IsOpen(); }

  // Replaces the reader with the one that fits `fullPath`: the loose-file reader when the path exists,
  // else the single-file pack reader when the path's pack is there, else the pack archive reader.
  void SelectReader(const std::string& fullPath);

 private:
  std::unique_ptr<CFileBase> reader_;
};
