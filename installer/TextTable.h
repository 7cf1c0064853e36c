#pragma once
// CTextTable: reads a small text file record by record, one line per record, the line split into fields
// by commas (and, when asked, by spaces and tabs). It serves the uninstaller, which reads the uninstall
// information file with it.
//
// Text is in the system code page (Shift-JIS): a lead byte (0x81-0x9F, 0xE0-0xFC) and the byte after it
// are one character, and that trail byte never counts as a separator, a comment mark or a line end.
// Carriage returns are dropped; empty lines are skipped. "//" starts a comment that runs to the end of the
// line, except on a last line that the text ends without a line feed: that line is split as it stands.
//
// The table owns a copy of the text with one line feed after it. Every walk stays inside that copy, so
// any bytes at all can be given to it. The core below needs no operating system; Load (reading through
// the file front CFile) is built only into the Windows programs.

#include <cstddef>
#include <memory>
#include <string>

class CTextTable {
 public:
  CTextTable() = default;
  virtual ~CTextTable() = default;
  CTextTable(const CTextTable&) = delete;
  CTextTable& operator=(const CTextTable&) = delete;

  // Reads the whole file through CFile; false when it cannot be opened or read (the table is then empty).
  bool Load(const std::string& fileName);
  // Copies `size` bytes; false only when no memory can be had for them (the table is then empty).
  bool LoadFromMemory(const void* data, size_t size);
  // Frees the text; reads fail until the next load.
  void Release();

  // The next non-empty line split into at most `count` fields (fields[0] .. fields[count - 1], each
  // cleared first; the rest of the line is ignored). False at the end of the text, without a text, or when
  // the line ends in a lead byte that has no trail byte (the text's last byte); the cursor is then at the
  // end.
  bool ReadRecord(size_t count, std::string* fields);
  // Reads `count` records; true if all of them were there.
  bool SkipRecords(size_t count);
  // True when there is no text or every byte of it has been read (lines that are only empty may remain
  // before the end; ReadRecord then fails).
  bool IsAtEnd() const { return !text_ || cursor_ >= length_; }
  size_t GetRecordCount() const { return recordCount_; }

  // A space or tab ends a field; only while commas separate too. On by default.
  void SetWhitespaceSeparates(bool on) { whitespaceSeparates_ = on; }
  // A comma ends a field. On by default.
  void SetCommaSeparates(bool on) { commaSeparates_ = on; }
  // A run of spaces and tabs counts as its first character, and one leading space of a line is skipped.
  // On by default.
  void SetCollapseWhitespace(bool on) { collapseWhitespace_ = on; }
  // A run of commas counts as one. Off by default.
  void SetCollapseCommas(bool on) { collapseCommas_ = on; }

 private:
  // The next line from the cursor without its carriage returns. endedByText: no line feed ended it.
  // False when the line ends in a lone lead byte.
  bool TakeLine(std::string& line, bool& endedByText);
  std::string CleanLine(const std::string& line) const;
  void SplitLine(const std::string& line, size_t count, std::string* fields) const;
  bool IsSeparator(char c) const;
  // Frees the old text and makes room for `length` bytes and the line feed after them; null when no
  // memory can be had.
  char* Allocate(size_t length);

  std::unique_ptr<char[]> text_;  // length_ bytes of text and a line feed
  size_t cursor_ = 0;             // index into text_
  size_t length_ = 0;
  size_t recordCount_ = 0;
  bool whitespaceSeparates_ = true;
  bool commaSeparates_ = true;
  bool collapseWhitespace_ = true;
  bool collapseCommas_ = false;
};
