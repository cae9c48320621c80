// The result database: the main result table of the current user's database
// file and the staging table of the last download, both in the home folder,
// chosen through the user list and the table-set INI files there.
#pragma once

#include <string>

#include "platform/clock.h"
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

// Created once by the application and handed to everyone who reads or
// writes results. Not locked: one thread at a time.
class ResultDatabase {
  public:
    explicit ResultDatabase(Clock& clock);
    ResultDatabase(const ResultDatabase&) = delete;
    ResultDatabase& operator=(const ResultDatabase&) = delete;

    // Reads or creates the INI files, opens or creates both database files
    // and leaves both tables in the default order, unfiltered, on row 1.
    void InitResultDatabase(const std::string& homeDir);
    // Closes both tables.
    void Close();

    ResultTable MainTable;
    ResultTable DownloadTable;
    std::string CurrentUser;
    std::string CurrentTable;
    std::string MainDbPath;
    std::string DownloadDbPath;
    // 1 once MainTable has been opened at start-up.
    int DatabaseReady = 0;

  private:
    void FirstStart(const std::string& homeDir);
    void LaterStart(const std::string& homeDir);

    Clock& clock_;
};

}  // namespace tav
