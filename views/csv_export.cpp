#include "views/csv_export.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QProgressDialog>
#include <QUrl>

#include "app/message_presenter.h"
#include "link/link_channel.h"
#include "views/list_ctrl_ext.h"

namespace tav {

namespace {

// The list's cells as the writer reads them.
class ListCells final : public CsvCellSource {
  public:
    explicit ListCells(const ListModel& model) : model_(model) {}
    size_t Rows() const override { return static_cast<size_t>(model_.Rows()); }
    int Columns() const override { return model_.Columns(); }
    std::string_view Cell(size_t row, int column) const override {
        return model_.Cell(static_cast<int>(row), column);
    }

  private:
    const ListModel& model_;
};

}  // namespace

QString QtSaveFileChooser::ChooseCsvFile(QWidget* parent, const QString& folder) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("csv"));
    dialog.setNameFilter(QStringLiteral("CSV File (*.csv)"));
    if (!folder.isEmpty()) dialog.setDirectory(folder);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().constFirst();
}

bool DesktopFileLauncher::OpenWithDefaultProgram(const QString& path) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(path));
}

CsvExporter::CsvExporter(std::string homeDir, std::string dataDir, PresenterSource presenter,
                         SaveFileChooser* chooser, FileLauncher* launcher)
    : homeDir_(std::move(homeDir)), dataDir_(std::move(dataDir)), presenter_(std::move(presenter)) {
    if (!chooser) {
        ownChooser_ = std::make_unique<QtSaveFileChooser>();
        chooser = ownChooser_.get();
    }
    if (!launcher) {
        ownLauncher_ = std::make_unique<DesktopFileLauncher>();
        launcher = ownLauncher_.get();
    }
    chooser_ = chooser;
    launcher_ = launcher;
}

CsvExporter::~CsvExporter() = default;

CsvExportOutcome CsvExporter::ExportListCsv(CListCtrlExt& list, const CsvExportRequest& request,
                                            QWidget* parent) {
    if (request.Blocked) return CsvExportOutcome::Blocked;
    MessagePresenter& boxes = presenter_();
    const QString caption = QString::fromLatin1(kMessageCaption);
    if (list.RowCount() <= 0) {
        boxes.Inform(parent, caption, QString::fromLatin1(kNoExportDataText));
        return CsvExportOutcome::Empty;
    }
    if (!boxes.Ask(parent, caption, request.Question)) return CsvExportOutcome::Declined;

    const QString path = chooser_->ChooseCsvFile(parent, nextFolder_);
    if (path.isEmpty()) return CsvExportOutcome::Cancelled;
    nextFolder_ = QFileInfo(path).absolutePath();

    // The window keeps serving events while a long list is written, so a
    // download that refills the list meanwhile stops the export rather than
    // mixing two lists in one file.
    const ListModel& model = list.Model();
    bool listChanged = false;
    auto markChanged = [&listChanged] { listChanged = true; };
    QMetaObject::Connection watches[] = {
        QObject::connect(&model, &QAbstractItemModel::modelAboutToBeReset, markChanged),
        QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeInserted, markChanged),
        QObject::connect(&model, &QAbstractItemModel::rowsAboutToBeRemoved, markChanged),
        QObject::connect(&model, &QAbstractItemModel::layoutAboutToBeChanged, markChanged),
    };
    std::unique_ptr<QProgressDialog> progress;
    const ListCells cells(model);
    const CsvWriteStatus status = WriteCsvFile(
        QFile::encodeName(path).toStdString(), cells, [&](size_t written, size_t total) {
            if (listChanged) return false;
            if (written >= total) return true;
            if (!progress) {
                progress = std::make_unique<QProgressDialog>(
                    QString::fromLatin1(kExportProgressText), QString(), 0, 1000, parent);
                progress->setWindowTitle(caption);
                progress->setMinimumDuration(0);
                progress->setAutoClose(false);
                progress->setCancelButton(nullptr);
                progress->setWindowModality(Qt::NonModal);
                progress->show();
            }
            progress->setValue(static_cast<int>(written * 1000 / total));
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
            return !listChanged;
        });
    for (const QMetaObject::Connection& watch : watches) QObject::disconnect(watch);
    progress.reset();

    if (status != CsvWriteStatus::Written) {
        const QString text =
            status == CsvWriteStatus::Stopped
                ? QString::fromLatin1(kExportListChangedText)
                : QString::fromLatin1(kExportFailedText).arg(QDir::toNativeSeparators(path));
        boxes.Inform(parent, caption, text);
        return CsvExportOutcome::Failed;
    }
    const bool launched = launcher_->OpenWithDefaultProgram(path);
    nextFolder_ = request.FolderAfter;
    return launched ? CsvExportOutcome::Launched : CsvExportOutcome::NotLaunched;
}

}  // namespace tav
