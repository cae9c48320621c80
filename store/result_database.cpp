#include "store/result_database.h"

#include <sqlite3.h>

#include <algorithm>
#include <cstdlib>
#include <utility>
#include <vector>

#include "platform/paths.h"
#include "store/result_list_reader.h"

namespace tav {
namespace {

// INI values are read with the default "-1" into 100-character buffers.
std::string ReadIni(const ProfileFile& file, const char* section, const char* key) {
    char buffer[kProfileBufferSize] = {};
    size_t n = file.Read(section, key, "-1", buffer, sizeof buffer);
    return std::string(buffer, n);
}

int ReadIniNumber(const ProfileFile& file, const char* section, const char* key) {
    return std::atoi(ReadIni(file, section, key).c_str());
}

void WriteIni(const char* section, const char* key, const std::string& value,
              const std::string& path) {
    WriteProfileString(section, key, value, path);
}

bool IsReadOnly(const ResultTable& table) {
    return sqlite3_db_readonly(table.Handle(), "main") == 1;
}

bool IsMissingTable(const std::string& reason) {
    return reason.rfind("no such table", 0) == 0;
}

// Virtual-machine steps between two progress reports while an index is built,
// and the steps an index build takes per row (measured, for the estimate).
constexpr int kIndexProgressSteps = 100000;
constexpr int64_t kIndexStepsPerRow = 13;

struct IndexProgress {
    const std::function<void(int)>* report = nullptr;
    int64_t expectedTicks = 1;
    int64_t ticks = 0;
    int lastPercent = -1;
};

int OnIndexProgressTick(void* context) {
    auto* p = static_cast<IndexProgress*>(context);
    const int percent =
        static_cast<int>(std::min<int64_t>(99, ++p->ticks * 100 / p->expectedTicks));
    if (percent != p->lastPercent) {
        p->lastPercent = percent;
        (*p->report)(percent);
    }
    return 0;
}

bool QueryHasRow(sqlite3* db, const std::string& sql, int64_t* value = nullptr) {
    sqlite3_stmt* stmt = nullptr;
    bool row = false;
    if (sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt, nullptr) == SQLITE_OK) {
        row = sqlite3_step(stmt) == SQLITE_ROW;
        if (row && value) *value = sqlite3_column_int64(stmt, 0);
    }
    sqlite3_finalize(stmt);
    return row;
}

}  // namespace

std::string DuplicateIndexName(const std::string& tableName) {
    return tableName + "_Duplicates";
}

std::string TableSetIniPath(const std::string& homeDir, const std::string& dbFileName) {
    const size_t keep = dbFileName.size() > 7 ? dbFileName.size() - 7 : 0;
    return JoinPath(homeDir, dbFileName.substr(0, keep) + ".ini");
}

bool IsPlainFileName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of("/\\:") == std::string::npos;
}

ResultDatabase::ResultDatabase(Clock& clock)
    : MainTable(clock), DownloadTable(clock), clock_(clock) {}

void ResultDatabase::Close() {
    MainTable.Close();
    DownloadTable.Close();
}

void ResultDatabase::ResetStaging() {
    ResultTable& staging = DownloadTable;
    staging.MoveFirst();
    if (staging.RowCount() <= 0) return;
    const bool inTransaction = staging.BeginTransaction();
    staging.SetTableName(kDownloadTableName);
    staging.DropTable();
    clock_.SleepMs(200);
    staging.SetTableName(kDownloadTableName);
    staging.CreateTable();
    if (inTransaction && !staging.CommitTransaction()) staging.RollbackTransaction();
    LoadDefaultView(staging);
}

void ResultDatabase::EnsureDuplicateIndex(const std::string& dbPath, const std::string& table) {
    // Names with a quote are not ours: leave such a file alone.
    if (table.find_first_of("'[]") != std::string::npos) return;
    sqlite3* db = nullptr;
    if (sqlite3_open_v2(dbPath.c_str(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return;
    }
    const std::string isTable =
        "SELECT 1 FROM sqlite_master WHERE type = 'table' AND name = '" + table + "'";
    // The duplicate test's index, then the result list's.
    std::vector<std::string> missing;
    if (QueryHasRow(db, isTable)) {
        std::vector<std::pair<std::string, std::string>> wanted = {
            {DuplicateIndexName(table), "[DATE],[TIME],[HbA1c_VALUE],[PID],[OPID]"}};
        for (const ListIndex& index : kResultListIndexes)
            wanted.emplace_back(table + "_" + index.Suffix, index.Columns);
        for (const auto& [name, columns] : wanted) {
            if (!QueryHasRow(db, "SELECT 1 FROM sqlite_master WHERE type = 'index' AND name = '" +
                                     name + "'"))
                missing.push_back("CREATE INDEX IF NOT EXISTS [" + name + "] ON [" + table + "] (" +
                                  columns + ")");
        }
    }
    if (!missing.empty()) {
        // An empty table is indexed at once; only a filled one reports.
        int64_t rows = 0;
        QueryHasRow(db, "SELECT max(ROWID) FROM [" + table + "]", &rows);
        const bool report = OnIndexProgress && rows > 0;
        IndexProgress progress;
        if (report) {
            progress.report = &OnIndexProgress;
            progress.expectedTicks = std::max<int64_t>(1, rows * kIndexStepsPerRow *
                                                              static_cast<int64_t>(missing.size()) /
                                                              kIndexProgressSteps);
            sqlite3_progress_handler(db, kIndexProgressSteps, OnIndexProgressTick, &progress);
            OnIndexProgress(0);
        }
        for (const std::string& create : missing) {
            sqlite3_stmt* stmt = nullptr;
            if (sqlite3_prepare_v2(db, create.c_str(), -1, &stmt, nullptr) == SQLITE_OK)
                sqlite3_step(stmt);
            sqlite3_finalize(stmt);
        }
        sqlite3_progress_handler(db, 0, nullptr, nullptr);
        if (report) OnIndexProgress(100);
    }
    sqlite3_close(db);
}

void ResultDatabase::OpenStaging() {
    DownloadTable.SetTableName(kDownloadTableName);
    if (DownloadTable.Open(DownloadDbPath) || !IsReadable(DownloadDbPath)) return;
    // The file is there but its table is not (a reset cut short by an older
    // version): make the table again so that downloads can list their results.
    DownloadTable.Close();
    if (DownloadTable.Create(DownloadDbPath) && DownloadTable.Requery()) return;
    DownloadTable.Close();
}

std::optional<StoreProblem> ResultDatabase::InitResultDatabase(const std::string& homeDir) {
    const std::string userIni = JoinPath(homeDir, kUserInfoIni);
    const ProfileFile users(userIni);
    CurrentUser = ReadIni(users, "User Count", "current_user");
    DownloadDbPath = JoinPath(homeDir, kDownloadDbFile);
    std::optional<StoreProblem> problem;
    if (CurrentUser != "-1" && !IsPlainFileName(CurrentUser)) {
        // Never followed: it could name a file anywhere.
        MainDbPath.clear();
        Close();
        problem = StoreProblem{userIni, "its current_user \"" + CurrentUser +
                                            "\" is not the name of a file in " + homeDir};
    } else {
        MainDbPath = JoinPath(homeDir, CurrentUser == "-1" ? kMainDbFile : CurrentUser);
        problem = PathExists(MainDbPath) ? LaterStart(homeDir) : FirstStart(homeDir, users);
    }
    if (problem) {
        Close();
        DatabaseReady = 0;
        return problem;
    }
    LoadDefaultView(MainTable);
    LoadDefaultView(DownloadTable);
    return std::nullopt;
}

std::optional<StoreProblem> ResultDatabase::FirstStart(const std::string& homeDir,
                                                       const ProfileFile& users) {
    Close();
    MainTable.SetTableName(kMainTableName);
    if (!MainTable.Create(MainDbPath)) return StoreProblem{MainDbPath, MainTable.LastError()};
    EnsureDuplicateIndex(MainDbPath, kMainTableName);

    // The file just created, by name: its table-set INI goes with it.
    const std::string createdFile = CurrentUser == "-1" ? kMainDbFile : CurrentUser;

    const std::string userIni = JoinPath(homeDir, kUserInfoIni);
    int count = 0;
    if (IsReadable(userIni)) {
        count = ReadIniNumber(users, "User Count", "cnt") + 1;
        CurrentUser = ReadIni(users, "User Count", "current_user");
    } else {
        WriteIni("User Count", "current_user", kMainDbFile, userIni);
        count = 1;
        CurrentUser = kMainDbFile;
    }
    WriteIni("User Count", "cnt", std::to_string(count), userIni);
    WriteIni("User Set", "no1", kMainDbFile, userIni);

    const std::string tableIni = TableSetIniPath(homeDir, createdFile);
    int tableCount = 0;
    if (IsReadable(tableIni)) {
        const ProfileFile tables(tableIni);
        tableCount = ReadIniNumber(tables, "Table Count", "cnt");
        CurrentTable = ReadIni(tables, "Table Count", "current_table");
    } else {
        tableCount = 1;
        WriteIni("Table Count", "current_table", kMainTableName, tableIni);
        CurrentTable = kMainTableName;
    }
    if (tableCount > 0) {
        WriteIni("Table Count", "cnt", std::to_string(tableCount), tableIni);
        WriteIni("Table Set", "no1", kMainTableName, tableIni);
    }

    MainTable.Close();
    clock_.SleepMs(100);
    MainTable.SetTableName(kMainTableName);
    MainTable.Open(MainDbPath);
    if (auto problem = CheckMainTable(tableIni)) return problem;
    DatabaseReady = 1;

    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.Create(DownloadDbPath);
    DownloadTable.Close();
    clock_.SleepMs(100);
    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.Open(DownloadDbPath);
    return CheckStaging();
}

std::optional<StoreProblem> ResultDatabase::LaterStart(const std::string& homeDir) {
    Close();
    // SQLite would take an empty file for an empty database: it is reported
    // instead, as whatever it held is gone.
    const std::optional<uint64_t> size = FileSize(MainDbPath);
    if (!size) return StoreProblem{MainDbPath, "it is not a file"};
    if (*size == 0) return StoreProblem{MainDbPath, "the file is empty (0 bytes)"};

    // A user list without current_user opens the default file, whose table
    // set goes with it, as at the first start.
    const std::string tableIni =
        TableSetIniPath(homeDir, CurrentUser == "-1" ? kMainDbFile : CurrentUser);
    CurrentTable = ReadIni(ProfileFile(tableIni), "Table Count", "current_table");

    EnsureDuplicateIndex(MainDbPath, CurrentTable);
    MainTable.SetTableName(CurrentTable);
    MainTable.Open(MainDbPath);
    if (auto problem = CheckMainTable(tableIni)) return problem;
    DatabaseReady = 1;
    LoadDefaultView(MainTable);

    OpenStaging();
    if (auto problem = CheckStaging()) return problem;
    LoadDefaultView(DownloadTable);
    return std::nullopt;
}

std::optional<StoreProblem> ResultDatabase::CheckMainTable(const std::string& tableIni) const {
    if (!MainTable.IsOpen()) {
        std::string reason = MainTable.LastError();
        if (reason.empty() || IsMissingTable(reason))
            reason = "it has no table \"" + CurrentTable + "\", the table " + tableIni + " names";
        return StoreProblem{MainDbPath, reason};
    }
    if (IsReadOnly(MainTable)) return StoreProblem{MainDbPath, "the file is read-only"};
    return std::nullopt;
}

std::optional<StoreProblem> ResultDatabase::CheckStaging() const {
    // A staging file that is missing or lacks its table holds nothing to
    // keep: the table stays closed, as before.
    if (DownloadTable.IsOpen()) {
        if (IsReadOnly(DownloadTable)) return StoreProblem{DownloadDbPath, "the file is read-only"};
        return std::nullopt;
    }
    const std::string& reason = DownloadTable.LastError();
    if (!PathExists(DownloadDbPath) || reason.empty() || IsMissingTable(reason))
        return std::nullopt;
    return StoreProblem{DownloadDbPath, reason};
}

}  // namespace tav
