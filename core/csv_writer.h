// Writes the rows of a result list to a CSV file: a fixed header line, then
// one line per row with every cell followed by a comma. The cells come in as
// bytes and go out unchanged, except that a cell holding a comma, a double
// quote or a line break is quoted (inner quotes doubled) so that it cannot
// shift the later columns in a spreadsheet.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>

namespace tav {

inline constexpr std::string_view kCsvHeader = "No,Date,Time,Result,PID,OPID,Note\n";

// The cells of a list by row and column index (column-index order, hidden
// columns included).
class CsvCellSource {
  public:
    virtual ~CsvCellSource() = default;
    virtual size_t Rows() const = 0;
    virtual int Columns() const = 0;
    virtual std::string_view Cell(size_t row, int column) const = 0;
};

// Appends `cell` as one CSV field: as it stands, or in double quotes with
// inner quotes doubled when it holds ',', '"', CR or LF.
void AppendCsvField(std::string& out, std::string_view cell);

// Appends the data line of `row`: every cell followed by ",", then "\n".
void AppendCsvRow(std::string& out, const CsvCellSource& cells, size_t row);

enum class CsvWriteStatus {
    Written,
    OpenFailed,   // the file could not be created
    WriteFailed,  // a write or the close failed (disk full, removed folder)
    Stopped,      // the progress callback asked to stop
};

// Called with the rows written so far and the row count, every few thousand
// rows and once at the end; returning false stops the writing.
using CsvProgress = std::function<bool(size_t written, size_t total)>;

// Creates or truncates `path` and writes the header and every row, in
// blocks. A file left by a failed or stopped write is removed.
CsvWriteStatus WriteCsvFile(const std::string& path, const CsvCellSource& cells,
                            const CsvProgress& progress = {});

// Rows between two progress calls.
inline constexpr size_t kCsvProgressRows = 16384;

}  // namespace tav
