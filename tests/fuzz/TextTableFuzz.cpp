// CTextTable on any bytes: the first byte chooses the four options and the number of fields, the rest
// is the text. Every record is read; a read that fails must leave the table at its end, and the table
// must never read outside its copy of the text (the sanitizers watch).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "installer/TextTable.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t choice = data[0];
  CTextTable table;
  table.SetWhitespaceSeparates(choice & 1);
  table.SetCommaSeparates(choice & 2);
  table.SetCollapseWhitespace(choice & 4);
  table.SetCollapseCommas(choice & 8);
  const size_t count = choice >> 4;  // 0 to 15 fields
  if (!table.LoadFromMemory(data + 1, size - 1)) return 0;

  std::vector<std::string> fields(count);
  size_t records = 0;
  while (table.ReadRecord(count, fields.data())) {
    ++records;
    // Every record takes at least one byte of the text.
    if (records > size) std::abort();
    size_t total = 0;
    for (const std::string& field : fields) total += field.size();
    if (total > size) std::abort();
  }
  if (!table.IsAtEnd() || table.GetRecordCount() != records) std::abort();
  return 0;
}
