#pragma once
// CBmpImage: one bitmap file read through the file front (so it may lie in a pack archive), with its
// ".alp" alpha companion when there is one beside it. Decoding is BmpCodec's: 8-bit files come out as
// 24 bits, rows are bottom row first, and a file that is malformed or shorter than its pixel data
// fails Load. CImageFile holds the reader of one file.

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <utility>

#include "image/BmpCodec.h"

class CBmpImage {
 public:
  CBmpImage() = default;
  virtual ~CBmpImage() { Release(); }
  CBmpImage(const CBmpImage&) = delete;
  CBmpImage& operator=(const CBmpImage&) = delete;

  // False (and empty) when the file cannot be opened or is not a usable 8-, 24- or 32-bit bitmap. A
  // missing or short alpha companion is no error: the image then has no alpha.
  bool Load(const std::string& path);
  void Release();

  // Rows bottom row first, GetStride() bytes each; null when nothing is loaded.
  const uint8_t* GetPixels() const { return pixels_.get(); }
  // width x height bytes, top row first, GetAlphaStride() (= width) bytes a row; null without alpha.
  const uint8_t* GetAlpha() const { return alpha_.get(); }
  int GetDepth() const { return layout_.depth; }  // 24 or 32; 0 when empty
  std::pair<int, int> GetSize() const { return {layout_.width, layout_.height}; }
  void GetSize(int* width, int* height) const;
  int GetStride() const { return static_cast<int>(layout_.stride); }
  int GetAlphaStride() const { return layout_.width; }
  // SetDIBitsToDevice of the whole image at (x, y) of dc; false when empty or GDI refuses.
  bool Draw(HDC dc, int x, int y) const;
  // Bytes of the decoded pixels (stride x height).
  uint64_t GetTotalBytes() const { return layout_.bytes; }
  bool HasPixels() const { return pixels_ != nullptr; }
  const std::string& GetFileName() const { return fileName_; }
  // The headers as read from the file.
  const BmpFileHeader& GetFileHeader() const { return fileHeader_; }
  const BmpInfoHeader& GetInfoHeader() const { return infoHeader_; }

  // The companion's name: the path with its extension replaced by ".alp".
  static std::string AlphaFileName(const std::string& path);

 private:
  BmpFileHeader fileHeader_;
  BmpInfoHeader infoHeader_;
  BmpLayout layout_;
  std::unique_ptr<uint8_t[]> pixels_;
  std::unique_ptr<uint8_t[]> alpha_;
  std::string fileName_;
};

class CImageFile {
 public:
  CImageFile() = default;
  virtual ~CImageFile() = default;
  CImageFile(const CImageFile&) = delete;
  CImageFile& operator=(const CImageFile&) = delete;

  // Discards the previous reader and loads `path`; on failure there is no reader.
  bool Open(const std::string& path);
  void Close() { reader_.reset(); }

  const uint8_t* GetPixels() const { return reader_ ? reader_->GetPixels() : nullptr; }
  const uint8_t* GetAlpha() const { return reader_ ? reader_->GetAlpha() : nullptr; }
  int GetDepth() const { return reader_ ? reader_->GetDepth() : 0; }
  std::pair<int, int> GetSize() const { return reader_ ? reader_->GetSize() : std::pair<int, int>(0, 0); }
  void GetSize(int* width, int* height) const;
  int GetStride() const { return reader_ ? reader_->GetStride() : 0; }
  int GetAlphaStride() const { return reader_ ? reader_->GetAlphaStride() : 0; }
  bool Draw(HDC dc, int x, int y) const { return reader_ && reader_->Draw(dc, x, y); }
  uint64_t GetTotalBytes() const { return reader_ ? reader_->GetTotalBytes() : 0; }
  bool HasPixels() const { return reader_ && reader_->HasPixels(); }
  std::string GetFileName() const { return reader_ ? reader_->GetFileName() : std::string(); }

 private:
  std::unique_ptr<CBmpImage> reader_;
};
