#include "image/BmpImage.h"

#include <climits>

#include "foundation/PathText.h"
#include "pack/File.h"

namespace {

// The decoder's view of an open CFile. The front seeks with signed 32-bit offsets and reads 32-bit
// counts: anything beyond that is refused rather than wrapped.
class FileByteSource : public BmpByteSource {
 public:
  explicit FileByteSource(CFile& file) : file_(file), size_(file.GetSize()) {}
  uint64_t Size() override { return size_; }
  bool ReadAt(uint64_t offset, void* buffer, size_t count) override {
    if (offset > size_ || count > size_ - offset || offset > INT32_MAX || count > UINT32_MAX) return false;
    if (count == 0) return true;
    if (!file_.Seek(static_cast<int32_t>(offset), 0)) return false;
    return file_.Read(buffer, static_cast<uint32_t>(count), 1) == 1;
  }

 private:
  CFile& file_;
  uint64_t size_;
};

}  // namespace

std::string CBmpImage::AlphaFileName(const std::string& path) {
  PathParts parts = SplitPath(path);
  return parts.drive + parts.directory + parts.title + ".alp";
}

bool CBmpImage::Load(const std::string& path) {
  Release();
  BmpDecoded image;
  {
    CFile file;
    if (file.Open(path) != 1) return false;
    FileByteSource source(file);
    if (DecodeBmp(source, &image) != BmpStatus::kOk) return false;
  }
  fileHeader_ = image.fileHeader;
  infoHeader_ = image.infoHeader;
  layout_ = image.layout;
  pixels_ = std::move(image.pixels);

  CFile alphaFile;
  if (alphaFile.Open(AlphaFileName(path)) == 1) {
    FileByteSource source(alphaFile);
    alpha_ = DecodeAlp(source, layout_.width, layout_.height);
  }
  fileName_ = path;
  return true;
}

void CBmpImage::Release() {
  fileHeader_ = BmpFileHeader();
  infoHeader_ = BmpInfoHeader();
  layout_ = BmpLayout();
  pixels_.reset();
  alpha_.reset();
  fileName_.clear();
}

void CBmpImage::GetSize(int* width, int* height) const {
  if (width) *width = layout_.width;
  if (height) *height = layout_.height;
}

bool CBmpImage::Draw(HDC dc, int x, int y) const {
  if (!pixels_ || !dc) return false;
  BITMAPINFOHEADER info = {};
  static_assert(sizeof(BITMAPINFOHEADER) == kBmpInfoHeaderSize, "the information header is 40 bytes");
  info.biSize = sizeof info;
  info.biWidth = layout_.width;
  info.biHeight = layout_.height;  // bottom row first, as the buffer is
  info.biPlanes = 1;
  info.biBitCount = static_cast<WORD>(layout_.depth);
  info.biCompression = BI_RGB;
  const int lines = SetDIBitsToDevice(dc, x, y, layout_.width, layout_.height, 0, 0, 0, layout_.height, pixels_.get(),
                                      reinterpret_cast<const BITMAPINFO*>(&info), DIB_RGB_COLORS);
  return lines > 0;
}

bool CImageFile::Open(const std::string& path) {
  reader_ = std::make_unique<CBmpImage>();
  if (!reader_->Load(path)) {
    reader_.reset();
    return false;
  }
  return true;
}

void CImageFile::GetSize(int* width, int* height) const {
  if (reader_) {
    reader_->GetSize(width, height);
    return;
  }
  if (width) *width = 0;
  if (height) *height = 0;
}
