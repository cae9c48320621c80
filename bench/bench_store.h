// Realistic result stores for the benchmarks, built once and cached: results
// over ten years (2015-2024) from about 20,000 patients and a few operators,
// some tilted or flagged, stored exactly as a download stores them. Each
// store is a home folder as the program leaves it (both database files and
// the INI files), in two forms: as an older version left it (no duplicate
// index) and as this version leaves it after its first start.
//
// Record i of a store is a pure function of i, so a benchmark can download
// results it knows are stored (StoredRecord) or new ones (NewRecord).
#pragma once

#include <sqlite3.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "protocol/record_decoder.h"
#include "store/result_database.h"
#include "tools/analyzer-sim/model/records.h"

namespace tav::bench {

inline constexpr int kPatients = 20000;
inline constexpr int kOperators = 6;
// Bump when the generated content changes: cached stores are rebuilt.
inline constexpr int kStoreVersion = 1;

inline uint64_t Mix(uint64_t x) {
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    return x ^ (x >> 31);
}

inline std::string PatientId(uint64_t h) {
    // Clinic ids of 6 to 10 digits; a few patients are entered as zeros.
    const int patient = static_cast<int>(h % kPatients);
    if (patient % 997 == 0) return std::string(sim::kIdLength, '0');
    const int digits = 6 + patient % 5;
    std::string id = std::to_string(1000000000ull + static_cast<uint64_t>(patient) * 48271u);
    return id.substr(id.size() - static_cast<size_t>(digits));
}

inline std::string OperatorId(uint64_t h) {
    return "OP" + std::to_string(1 + (h >> 20) % kOperators);
}

inline sim::ResultFlag Flag(uint64_t h) {
    const int f = static_cast<int>((h >> 40) % 100);
    return f < 2   ? sim::ResultFlag::Tilted
           : f < 7 ? sim::ResultFlag::Flagged
                   : sim::ResultFlag::Plain;
}

// Result tenths between 4.0 % and 14.0 %, most between 5.5 % and 8.5 %.
inline int Tenths(uint64_t h) {
    const int common = 55 + static_cast<int>((h >> 8) % 31);
    const int any = 40 + static_cast<int>((h >> 16) % 101);
    return (h >> 24) % 10 < 9 ? common : any;
}

// Record i of the stored history: any day of 2015-2024, clinic hours.
inline std::string StoredRecord(uint64_t i) {
    const uint64_t h = Mix(i);
    sim::ResultFields f;
    const int first = sim::DayNumber({2015, 1, 1});
    const int last = sim::DayNumber({2024, 12, 31});
    f.date = sim::DateFromDayNumber(first + static_cast<int>(h % (last - first + 1)));
    f.hour = 7 + static_cast<int>((h >> 32) % 12);
    f.minute = static_cast<int>((h >> 36) % 60);
    f.tenths = Tenths(h);
    f.flag = Flag(h);
    f.pid = PatientId(Mix(h));
    f.opid = OperatorId(h);
    return sim::MakeRecord(f);
}

// Record i of a download made after the history: 2025 onward, 40 a day, so
// never stored and never repeated within a download.
inline std::string NewRecord(uint64_t i, uint64_t salt = 0) {
    const uint64_t h = Mix(i ^ (salt << 40) ^ 0x5EEDull);
    sim::ResultFields f;
    f.date = sim::DateFromDayNumber(sim::DayNumber({2025, 1, 1}) +
                                    static_cast<int>(i / 40 + salt * 300));
    f.hour = 8 + static_cast<int>(i % 40) / 4;
    f.minute = static_cast<int>(i % 4) * 15;
    f.tenths = Tenths(h);
    f.flag = Flag(h);
    f.pid = PatientId(Mix(h));
    f.opid = OperatorId(h);
    return sim::MakeRecord(f);
}

inline std::string Payload(const std::vector<std::string>& records) {
    std::string payload;
    payload.reserve(records.size() * sim::kRecordLength);
    for (const std::string& r : records) payload += r;
    return payload;
}

inline std::string CacheDir() {
    const char* dir = std::getenv("TAV_BENCH_CACHE");
    if (dir && *dir) return dir;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : "/tmp") + "/.cache/tav-bench";
}

class NoPauseClock final : public Clock {
  public:
    int64_t NowMs() const override { return inner_.NowMs(); }
    int64_t Ticks() const override { return inner_.Ticks(); }
    double TicksPerMs() const override { return inner_.TicksPerMs(); }
    void SleepMs(int64_t ms) override { inner_.SleepMs(ms); }

  private:
    VirtualClock inner_;
};

// Writes `count` results straight into the main table of a fresh home folder
// made by the program's own first start, then drops the duplicate index so
// that the folder is what an older version left.
inline bool BuildOldHome(const std::string& home, int64_t count) {
    std::filesystem::create_directories(home);
    NoPauseClock clock;
    std::string mainPath;
    {
        ResultDatabase db(clock);
        db.InitResultDatabase(home);
        mainPath = db.MainDbPath;
        db.Close();
    }
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(mainPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return false;
    sqlite3_exec(db, ("DROP INDEX [" + DuplicateIndexName(kMainTableName) + "]").c_str(), nullptr,
                 nullptr, nullptr);
    sqlite3_exec(db, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO [HospitalTlb] VALUES(?,?,?,?,?,?,'','19000101',0,0,?,'','')",
                       -1, &insert, nullptr);
    for (int64_t i = 0; i < count; ++i) {
        const DecodedRecord r = DecodeRecord(StoredRecord(static_cast<uint64_t>(i)), 1, {});
        const std::string* texts[] = {&r.DATE, &r.TIME, &r.HbA1c_VALUE,
                                      &r.PID,  &r.OPID, &r.EQ_TYPE};
        for (int k = 0; k < 6; ++k)
            sqlite3_bind_text(insert, k + 1, texts[k]->c_str(), static_cast<int>(texts[k]->size()),
                              SQLITE_TRANSIENT);
        sqlite3_bind_int(insert, 7, r.DATE_YEAR);
        sqlite3_step(insert);
        sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    const bool ok = sqlite3_exec(db, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

inline void CopyHome(const std::string& from, const std::string& to) {
    std::filesystem::remove_all(to);
    std::filesystem::copy(from, to, std::filesystem::copy_options::recursive);
}

// The cached home folder of `count` stored results, as an older version left
// it (`indexed` false) or after this version's first start (`indexed` true).
inline std::string CachedHome(int64_t count, bool indexed) {
    const std::string base =
        CacheDir() + "/v" + std::to_string(kStoreVersion) + "-" + std::to_string(count);
    const std::string old = base + "-old", upgraded = base + "-indexed";
    if (!std::filesystem::exists(old + ".done")) {
        std::fprintf(stderr, "building a store of %lld results in %s ...\n",
                     static_cast<long long>(count), old.c_str());
        std::filesystem::remove_all(old);
        if (!BuildOldHome(old, count)) {
            std::fprintf(stderr, "could not build %s\n", old.c_str());
            std::exit(2);
        }
        std::filesystem::remove_all(upgraded + ".done");
        std::FILE* f = std::fopen((old + ".done").c_str(), "w");
        if (f) std::fclose(f);
    }
    if (!indexed) return old;
    if (!std::filesystem::exists(upgraded + ".done")) {
        CopyHome(old, upgraded);
        std::FILE* f = std::fopen((upgraded + ".done").c_str(), "w");
        if (f) std::fclose(f);
    }
    // Opened once per run by this version, so that an index a newer version
    // adds at its first start is built here, not in every copy measured.
    static std::vector<std::string> opened;
    if (std::find(opened.begin(), opened.end(), upgraded) == opened.end()) {
        NoPauseClock clock;
        ResultDatabase db(clock);
        db.InitResultDatabase(upgraded);
        db.Close();
        opened.push_back(upgraded);
    }
    return upgraded;
}

}  // namespace tav::bench
