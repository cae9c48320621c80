#include "store/result_database.h"

#include <cstdlib>

#include "platform/ini.h"
#include "platform/paths.h"
#include "store/result_list_reader.h"

namespace tav {
namespace {

// INI values are read with the default "-1" into 100-character buffers.
std::string ReadIni(const char* section, const char* key, const std::string& path) {
    char buffer[100] = {};
    ReadProfileString(section, key, "-1", buffer, sizeof buffer, path.c_str());
    return buffer;
}

int ReadIniNumber(const char* section, const char* key, const std::string& path) {
    return std::atoi(ReadIni(section, key, path).c_str());
}

void WriteIni(const char* section, const char* key, const std::string& value,
              const std::string& path) {
    WriteProfileString(section, key, value.c_str(), path.c_str());
}

}  // namespace

std::string TableSetIniPath(const std::string& homeDir, const std::string& dbFileName) {
    const size_t keep = dbFileName.size() > 7 ? dbFileName.size() - 7 : 0;
    return JoinPath(homeDir, dbFileName.substr(0, keep) + ".ini");
}

ResultDatabase::ResultDatabase(Clock& clock)
    : MainTable(clock), DownloadTable(clock), clock_(clock) {}

void ResultDatabase::Close() {
    MainTable.Close();
    DownloadTable.Close();
}

void ResultDatabase::InitResultDatabase(const std::string& homeDir) {
    const std::string userIni = JoinPath(homeDir, kUserInfoIni);
    CurrentUser = ReadIni("User Count", "current_user", userIni);
    MainDbPath = JoinPath(homeDir, CurrentUser == "-1" ? kMainDbFile : CurrentUser);
    DownloadDbPath = JoinPath(homeDir, kDownloadDbFile);

    if (!IsReadable(MainDbPath))
        FirstStart(homeDir);
    else
        LaterStart(homeDir);

    EnsureResultListIndexes(MainTable);
    LoadDefaultView(MainTable);
    LoadDefaultView(DownloadTable);
}

void ResultDatabase::FirstStart(const std::string& homeDir) {
    Close();
    MainTable.SetTableName(kMainTableName);
    if (!MainTable.Create(MainDbPath)) return;

    // The file just created, by name: its table-set INI goes with it.
    const std::string createdFile = CurrentUser == "-1" ? kMainDbFile : CurrentUser;

    const std::string userIni = JoinPath(homeDir, kUserInfoIni);
    int count = 0;
    if (IsReadable(userIni)) {
        count = ReadIniNumber("User Count", "cnt", userIni) + 1;
        CurrentUser = ReadIni("User Count", "current_user", userIni);
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
        tableCount = ReadIniNumber("Table Count", "cnt", tableIni);
        CurrentTable = ReadIni("Table Count", "current_table", tableIni);
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
    DatabaseReady = 1;

    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.Create(DownloadDbPath);
    DownloadTable.Close();
    clock_.SleepMs(100);
    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.Open(DownloadDbPath);
}

void ResultDatabase::LaterStart(const std::string& homeDir) {
    Close();
    const std::string tableIni = TableSetIniPath(homeDir, CurrentUser);
    CurrentTable = ReadIni("Table Count", "current_table", tableIni);

    MainTable.SetTableName(CurrentTable);
    MainTable.Open(MainDbPath);
    DatabaseReady = 1;
    LoadDefaultView(MainTable);

    DownloadTable.SetTableName(kDownloadTableName);
    DownloadTable.Open(DownloadDbPath);
    LoadDefaultView(DownloadTable);
}

}  // namespace tav
