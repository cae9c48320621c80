// The CSV export's save dialog and file launcher for widget tests: they
// record what they were asked and answer from the test.
#pragma once

#include <string>
#include <vector>

#include "views/csv_export.h"

namespace tav::test {

struct FakeSaveChooser : SaveFileChooser {
    QString ChooseCsvFile(QWidget*, const QString& folder) override {
        folders.push_back(folder.toStdString());
        return answer;
    }
    QString answer;  // empty: the user cancels
    std::vector<std::string> folders;
};

struct FakeLauncher : FileLauncher {
    bool OpenWithDefaultProgram(const QString& path) override {
        opened.push_back(path.toStdString());
        return true;
    }
    std::vector<std::string> opened;
};

}  // namespace tav::test
