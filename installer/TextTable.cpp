#include "installer/TextTable.h"

#include <cstring>
#include <new>

#include "foundation/ShiftJis.h"

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

char* CTextTable::Allocate(size_t length) {
  Release();
  if (length == static_cast<size_t>(-1)) return nullptr;
  text_.reset(new (std::nothrow) char[length + 1]);
  if (!text_) return nullptr;
  text_[length] = '\n';
  length_ = length;
  return text_.get();
}

bool CTextTable::LoadFromMemory(const void* data, size_t size) {
  char* text = Allocate(size);
  if (!text) return false;
  if (size > 0) std::memcpy(text, data, size);
  return true;
}

void CTextTable::Release() {
  text_.reset();
  cursor_ = 0;
  length_ = 0;
  recordCount_ = 0;
}

bool CTextTable::TakeLine(std::string& line, bool& endedByText) {
  line.clear();
  size_t i = cursor_;
  while (i < length_) {
    const unsigned char c = static_cast<unsigned char>(text_[i]);
    if (c == '\n') break;
    if (c == '\r') {
      ++i;
      continue;
    }
    if (IsShiftJisLeadByte(c)) {
      // Its trail byte would be the line feed after the text: the text ends inside a character.
      if (i + 1 >= length_) {
        cursor_ = length_;
        return false;
      }
      line.append(&text_[i], 2);
      i += 2;
      continue;
    }
    line += static_cast<char>(c);
    ++i;
  }
  endedByText = i >= length_;
  cursor_ = endedByText ? length_ : i + 1;
  return true;
}

std::string CTextTable::CleanLine(const std::string& line) const {
  std::string out;
  out.reserve(line.size());
  char previous = '\0';  // the last single-byte character kept; none after a double-byte one
  size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (IsShiftJisLeadByte(static_cast<unsigned char>(c)) && i + 1 < line.size()) {
      out.append(line, i, 2);
      previous = '\0';
      i += 2;
      continue;
    }
    if (c == '/' && i + 1 < line.size() && line[i + 1] == '/') break;  // a comment to the end of the line
    const bool dropped =
        (collapseWhitespace_ && IsBlank(c) && IsBlank(previous)) || (collapseCommas_ && c == ',' && previous == ',');
    if (!dropped) {
      out += c;
      previous = c;
    }
    ++i;
  }
  return out;
}

bool CTextTable::IsSeparator(char c) const {
  if (!commaSeparates_) return false;
  return c == ',' || (whitespaceSeparates_ && IsBlank(c));
}

void CTextTable::SplitLine(const std::string& line, size_t count, std::string* fields) const {
  if (count == 0) return;
  size_t field = 0;
  size_t i = (collapseWhitespace_ && !line.empty() && line[0] == ' ') ? 1 : 0;
  while (i < line.size()) {
    const char c = line[i];
    if (IsShiftJisLeadByte(static_cast<unsigned char>(c)) && i + 1 < line.size()) {
      fields[field].append(line, i, 2);
      i += 2;
      continue;
    }
    if (IsSeparator(c)) {
      if (++field == count) return;
    } else {
      fields[field] += c;
    }
    ++i;
  }
}

bool CTextTable::ReadRecord(size_t count, std::string* fields) {
  for (size_t k = 0; k < count; ++k) fields[k].clear();
  if (!text_) return false;
  std::string line;
  while (cursor_ < length_) {
    bool endedByText = false;
    if (!TakeLine(line, endedByText)) return false;
    if (line.empty()) continue;
    // A last line without its line feed is split as it stands, comment marks and all.
    if (!endedByText) {
      line = CleanLine(line);
      if (line.empty()) continue;
    }
    SplitLine(line, count, fields);
    ++recordCount_;
    return true;
  }
  return false;
}

bool CTextTable::SkipRecords(size_t count) {
  for (size_t k = 0; k < count; ++k) {
    if (!ReadRecord(0, nullptr)) return false;
  }
  return true;
}
