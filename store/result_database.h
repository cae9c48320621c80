// The result database: the main result table of the current user's database
// file and the staging table of the last download, both in the home folder,
// chosen through the user list and the table-set INI files there.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/ini.h"
#include "store/result_table.h"

namespace tav {

inline constexpr const char* kUserInfoIni = "user_info.ini";
inline constexpr const char* kMainDbFile = "TAVRINA1cExpert.sqlite";
inline constexpr const char* kDownloadDbFile = "TAVRINA1cExpertDown.sqlite";
inline constexpr const char* kMainTableName = "HospitalTlb";
inline constexpr const char* kDownloadTableName = "DownLoadData";

// The table-set INI of a database file: the file name without its last 7
// characters, plus ".ini", in the home folder.
std::string TableSetIniPath(const std::string& homeDir, const std::string& dbFileName);

// True for a name of a file directly in the home folder: not empty, not "."
// or "..", no separator or drive.
bool IsPlainFileName(const std::string& name);

// Why the results cannot be used: the file and the reason, in SQLite's or
// the system's words.
struct StoreProblem {
    std::string File;
    std::string Reason;
};

// The index that backs a download's duplicate test: the five fields it
// compares, on the main result table. Added for speed only; the table and its
// rows are as they were, and readers that do not know it still open the file.
std::string DuplicateIndexName(const std::string& tableName);

// Created once by the application and handed to everyone who reads or
// writes results. Not locked: one thread at a time.
class ResultDatabase {
  public:
    explicit ResultDatabase(Clock& clock);
    ResultDatabase(const ResultDatabase&) = delete;
    ResultDatabase& operator=(const ResultDatabase&) = delete;

    // Reads or creates the INI files, opens or creates both database files
    // and leaves both tables in the default order, unfiltered, on row 1.
    // A main database that exists but cannot be used (empty, not a database,
    // locked past the wait, read-only, without its table), a staging file
    // that cannot be opened, or a current_user that is no plain file name is
    // reported and left as it is: no INI file is written then.
    std::optional<StoreProblem> InitResultDatabase(const std::string& homeDir);
    // Closes both tables.
    void Close();

    // Empties the staging table of the last download by dropping and
    // re-creating it, in one transaction: a program stopped half-way leaves
    // the table as it was. Does nothing while the table holds no rows.
    void ResetStaging();

    // Told how far the duplicate index of an older file has been built
    // (0 to 100, an estimate) while the start-up builds it; it is called on
    // the thread that runs InitResultDatabase. May be empty.
    std::function<void(int percent)> OnIndexProgress;

    ResultTable MainTable;
    ResultTable DownloadTable;
    std::string CurrentUser;
    std::string CurrentTable;
    std::string MainDbPath;
    std::string DownloadDbPath;
    // 1 once MainTable has been opened at start-up.
    int DatabaseReady = 0;

  private:
    std::optional<StoreProblem> FirstStart(const std::string& homeDir, const ProfileFile& users);
    std::optional<StoreProblem> LaterStart(const std::string& homeDir);
    std::optional<StoreProblem> CheckMainTable(const std::string& tableIni) const;
    std::optional<StoreProblem> CheckStaging() const;
    // Creates the duplicate index of `table` in `dbPath` when it is missing.
    void EnsureDuplicateIndex(const std::string& dbPath, const std::string& table);
    // Opens the staging table, re-creating it in its file when the file
    // exists but the table was lost.
    void OpenStaging();

    Clock& clock_;
};

}  // namespace tav
