// The CSV export of both result lists: asks, lets the user choose a file,
// writes exactly what the list shows and opens the file with the user's
// default program for CSV files.
#pragma once

#include <QString>
#include <functional>
#include <memory>
#include <string>

#include "core/csv_writer.h"

class QWidget;

namespace tav {

class CListCtrlExt;
class MessagePresenter;

inline constexpr const char* kNoExportDataText = "There is no HbA1c data to expert.";
inline constexpr const char* kAskExportAllText = "Do you want current-data expert?";
inline constexpr const char* kAskExportDownloadText = "Do you want to expert selected data?";
inline constexpr const char* kExportFailedText =
    "The file could not be written:\r\n%1\r\nPlease choose another folder or file name.";
inline constexpr const char* kExportListChangedText =
    "The list changed while it was being written.\r\nPlease export it again.";
inline constexpr const char* kExportProgressText = "Writing the CSV file...";

// The save dialog: returns the chosen path, or an empty text when cancelled.
class SaveFileChooser {
  public:
    virtual ~SaveFileChooser() = default;
    // Opens in `folder` (the current folder when empty), adds the extension
    // "csv" to a name without one and asks before overwriting a file.
    virtual QString ChooseCsvFile(QWidget* parent, const QString& folder) = 0;
};

// Opens a file with the program the user has chosen for its type.
class FileLauncher {
  public:
    virtual ~FileLauncher() = default;
    virtual bool OpenWithDefaultProgram(const QString& path) = 0;
};

class QtSaveFileChooser final : public SaveFileChooser {
  public:
    QString ChooseCsvFile(QWidget* parent, const QString& folder) override;
};

// QDesktopServices.
class DesktopFileLauncher final : public FileLauncher {
  public:
    bool OpenWithDefaultProgram(const QString& path) override;
};

// What differs between the two lists.
struct CsvExportRequest {
    QString Question;
    // The folder the next save dialog opens in once this export is done.
    QString FolderAfter;
    // True makes the export do nothing at all (the download view in automatic mode).
    bool Blocked = false;
};

enum class CsvExportOutcome {
    Blocked,
    Empty,
    Declined,
    Cancelled,
    Failed,       // the file could not be created or written; nothing was started
    Launched,     // written and handed to the default program
    NotLaunched,  // written, but the default program could not be started
};

// One per program: it keeps the folder where the next save dialog opens, so
// the process's working directory is never changed.
class CsvExporter {
  public:
    using PresenterSource = std::function<MessagePresenter&()>;

    // `chooser` and `launcher` replace the real dialog and launcher when given.
    CsvExporter(std::string homeDir, std::string dataDir, PresenterSource presenter,
                SaveFileChooser* chooser = nullptr, FileLauncher* launcher = nullptr);
    ~CsvExporter();

    // The folders the two lists return to after an export.
    const std::string& HomeDir() const { return homeDir_; }
    const std::string& DataDir() const { return dataDir_; }
    QString NextFolder() const { return nextFolder_; }

    // Exports every row of `list`, top to bottom in its current order, every
    // column in column-index order (hidden ones too). Message boxes and the
    // save dialog are owned by `parent`.
    CsvExportOutcome ExportListCsv(CListCtrlExt& list, const CsvExportRequest& request,
                                   QWidget* parent);

  private:
    std::string homeDir_;
    std::string dataDir_;
    PresenterSource presenter_;
    std::unique_ptr<SaveFileChooser> ownChooser_;
    std::unique_ptr<FileLauncher> ownLauncher_;
    SaveFileChooser* chooser_;
    FileLauncher* launcher_;
    QString nextFolder_;
};

}  // namespace tav
