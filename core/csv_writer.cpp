#include "core/csv_writer.h"

#include <cstdio>
#include <memory>

namespace tav {

namespace {

bool NeedsQuotes(std::string_view cell) {
    return cell.find_first_of(",\"\r\n") != std::string_view::npos;
}

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

constexpr size_t kBlockBytes = 1 << 20;

}  // namespace

void AppendCsvField(std::string& out, std::string_view cell) {
    if (!NeedsQuotes(cell)) {
        out.append(cell);
        return;
    }
    out.push_back('"');
    for (char ch : cell) {
        if (ch == '"') out.push_back('"');
        out.push_back(ch);
    }
    out.push_back('"');
}

void AppendCsvRow(std::string& out, const CsvCellSource& cells, size_t row) {
    const int columns = cells.Columns();
    for (int c = 0; c < columns; ++c) {
        AppendCsvField(out, cells.Cell(row, c));
        out.push_back(',');
    }
    out.push_back('\n');
}

CsvWriteStatus WriteCsvFile(const std::string& path, const CsvCellSource& cells,
                            const CsvProgress& progress) {
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "wb"));
    if (!file) return CsvWriteStatus::OpenFailed;
    // Our own blocks go straight to the file.
    std::setvbuf(file.get(), nullptr, _IONBF, 0);

    auto fail = [&](CsvWriteStatus status) {
        file.reset();
        std::remove(path.c_str());
        return status;
    };
    std::string block;
    block.reserve(kBlockBytes + 4096);
    auto flush = [&] {
        const bool ok =
            block.empty() || std::fwrite(block.data(), 1, block.size(), file.get()) == block.size();
        block.clear();
        return ok;
    };

    block.append(kCsvHeader);
    const size_t rows = cells.Rows();
    for (size_t row = 0; row < rows; ++row) {
        AppendCsvRow(block, cells, row);
        if (block.size() >= kBlockBytes && !flush()) return fail(CsvWriteStatus::WriteFailed);
        if (progress && (row + 1) % kCsvProgressRows == 0 && !progress(row + 1, rows))
            return fail(CsvWriteStatus::Stopped);
    }
    if (!flush()) return fail(CsvWriteStatus::WriteFailed);
    if (std::fclose(file.release()) != 0) {
        std::remove(path.c_str());
        return CsvWriteStatus::WriteFailed;
    }
    if (progress) progress(rows, rows);
    return CsvWriteStatus::Written;
}

}  // namespace tav
