// How fast a result list is written to a CSV file: the program's block
// writer beside the row-by-row design (one unbuffered write per list line),
// both on the same rows in the same run. Rows look like the all-data list's:
// seven cells, about 70 bytes a line.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "core/csv_writer.h"

namespace tav {
namespace {

std::string Prefixed(const char* prefix, size_t number) {
    std::string text(prefix);
    text += std::to_string(number);
    return text;
}

// The list's cells in one buffer, as the list control keeps them.
class ListCells final : public CsvCellSource {
  public:
    explicit ListCells(size_t rows) {
        const char* notes[] = {"", "Analyzer Tilted", "ok"};
        for (size_t r = 0; r < rows; ++r) {
            const std::string cells[7] = {std::to_string(r + 1),
                                          Prefixed("2024-03-", 10 + r % 20),
                                          r % 2 ? "09:30 AM" : "09:05 PM",
                                          r % 7 ? "6.5 %" : "< 4 %",
                                          Prefixed("P", 100000 + r % 20000),
                                          Prefixed("OP", r % 40),
                                          notes[r % 3]};
            for (const std::string& cell : cells) {
                text_ += cell;
                ends_.push_back(text_.size());
            }
        }
    }
    size_t Rows() const override { return ends_.size() / 7; }
    int Columns() const override { return 7; }
    std::string_view Cell(size_t row, int column) const override {
        const size_t i = row * 7 + column;
        const uint64_t begin = i ? ends_[i - 1] : 0;
        return std::string_view(text_).substr(begin, ends_[i] - begin);
    }

  private:
    std::string text_;
    std::vector<uint64_t> ends_;
};

std::string TempFile() {
    char templ[] = "/tmp/tav-bench-XXXXXX";
    const std::string dir = mkdtemp(templ);
    return dir + "/list.csv";
}

void Finish(benchmark::State& state, const std::string& path, size_t rows) {
    // items_per_second is rows per second of wall-clock time.
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * rows));
    std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

// The program: cells appended to 1 MB blocks, one write per block, with the
// progress callback the window uses.
void BM_ExportCsvBlocks(benchmark::State& state) {
    const ListCells cells(static_cast<size_t>(state.range(0)));
    const std::string path = TempFile();
    size_t calls = 0;
    for (auto _ : state) {
        const CsvWriteStatus status = WriteCsvFile(path, cells, [&](size_t, size_t) {
            ++calls;
            return true;
        });
        if (status != CsvWriteStatus::Written) state.SkipWithError("write failed");
    }
    benchmark::DoNotOptimize(calls);
    Finish(state, path, cells.Rows());
}
BENCHMARK(BM_ExportCsvBlocks)
    ->Arg(200'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// The row-by-row design: each line composed and written unbuffered.
void BM_ExportCsvRowByRow(benchmark::State& state) {
    const ListCells cells(static_cast<size_t>(state.range(0)));
    const std::string path = TempFile();
    for (auto _ : state) {
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) {
            state.SkipWithError("open failed");
            break;
        }
        bool ok = ::write(fd, kCsvHeader.data(), kCsvHeader.size()) >= 0;
        std::string line;
        for (size_t row = 0; row < cells.Rows() && ok; ++row) {
            line.clear();
            AppendCsvRow(line, cells, row);
            ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
        }
        ::close(fd);
        if (!ok) state.SkipWithError("write failed");
    }
    Finish(state, path, cells.Rows());
}
BENCHMARK(BM_ExportCsvRowByRow)
    ->Arg(200'000)
    ->Arg(1'000'000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace
}  // namespace tav
