#pragma once
// The framework's file interface and the base of the readers that decode a whole packed file into memory
// when it is opened. Sizes and positions are unsigned 32-bit byte counts. Read and Write work like
// fread and fwrite: they move whole elements and answer how many.

#include <cstdint>
#include <string>

class CFileBase {
 public:
  virtual ~CFileBase() = default;

  // Opens for writing. mode 1: an empty file; mode 0: opened or created, positioned at its end.
  virtual bool Create(const std::string& name, int mode) = 0;
  // Opens for reading; 1 is success, any other value failure (readers of packed files answer 0 for a
  // name they do not hold and -1 for one they hold but cannot use).
  virtual int Open(const std::string& name) = 0;
  virtual void Close() = 0;
  // Whole elements of `size` bytes moved, at most `count`.
  virtual uint32_t Read(void* buffer, uint32_t size, uint32_t count) = 0;
  virtual uint32_t Write(const void* buffer, uint32_t size, uint32_t count) = 0;
  virtual uint32_t GetSize() = 0;
  // origin 0: from the start, 1: from the position, 2: from the end; any other origin fails.
  virtual bool Seek(int32_t offset, int origin) = 0;
  virtual uint32_t Tell() = 0;
  virtual void Rewind() = 0;
  virtual bool IsOpen() = 0;
};

// A read-only file whose decoded bytes are held in memory. Derived readers fill the buffer in _Load and
// give it up in ReleaseData. The position may be set anywhere by Seek, inside the file or not; a read
// from a position outside the file moves nothing.
class CCompressFileBase : public CFileBase {
 public:
  CCompressFileBase() = default;
  ~CCompressFileBase() override = default;
  CCompressFileBase(const CCompressFileBase&) = delete;
  CCompressFileBase& operator=(const CCompressFileBase&) = delete;

  bool Create(const std::string& name, int mode) override;  // refused
  int Open(const std::string& path) override;               // Close, _Load, Rewind: _Load's result
  void Close() override;
  uint32_t Read(void* buffer, uint32_t size, uint32_t count) override;
  uint32_t Write(const void* buffer, uint32_t size, uint32_t count) override;  // refused
  uint32_t GetSize() override { return size_; }
  bool Seek(int32_t offset, int origin) override;
  uint32_t Tell() override { return position_; }
  void Rewind() override { Seek(0, 0); }
  bool IsOpen() override { return data_ != nullptr; }

  // Decodes the file at `path` (a full path) into memory and hands it to SetData: 1 loaded, 0 absent,
  // -1 present but unusable.
  virtual int _Load(const std::string& path) = 0;
  // Frees what the last _Load handed over.
  virtual void ReleaseData() = 0;

 protected:
  // The decoded bytes, owned by the derived reader until its ReleaseData. A zero-length file still has
  // a non-null pointer, so that it counts as open.
  void SetData(const uint8_t* data, uint32_t size);

 private:
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  const uint8_t* cursor_ = nullptr;
  uint32_t position_ = 0;
};
