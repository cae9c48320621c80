// The printed data list: what the all-data list shows, as a ruled table under
// a title, with a page frame on every page. It goes to a printer, to a print
// preview or to a PDF file, always drawn by the same ReportPrinter code.
#pragma once

#include <QString>
#include <functional>
#include <optional>

#include "reports/report_printer.h"

class QPrinter;
class QWidget;
class QProgressDialog;

namespace tav {

class CListCtrlExt;
class ListModel;

inline constexpr const char* kNoDataToPrintText = "There is no HbA1c data to print.";
inline constexpr const char* kPrinterFailedText = "Failed Initializing Printer";
inline constexpr const char* kPdfFailedText = "The PDF file could not be written.";
inline constexpr const char* kDataListTitle = "VAVERIV1e Dire HbA1c Data List";
inline constexpr const char* kPageFrameText = "HbA1c data reports";
inline constexpr const char* kPrintFace = "New Gulim";
// Column heads over the list's columns: No., Date, Time, Result, Patient ID,
// Operator ID, Note.
inline constexpr const char* kDataListHeader = "No|Date|Time|Result|Patent ID|Operator ID|Note";

enum class PrintOutput { Printer, Preview, Pdf };
enum class PrintOutcome { Done, NoRows, Cancelled, PrinterFailed, Failed };

// What printing needs of the window. The program uses QtPrintHost; tests
// answer from a script.
class PrintHost {
  public:
    virtual ~PrintHost() = default;
    virtual void Inform(const QString& text) = 0;
    // The system print dialog on `printer`; false when cancelled.
    virtual bool RunPrintDialog(QPrinter& printer) = 0;
    // The PDF file to write; empty when cancelled.
    virtual QString AskPdfFile() = 0;
    // Shows a preview of `printer`'s pages; `draw` draws them, as often as
    // the preview needs (a print from the preview draws on the real printer).
    virtual void RunPreview(QPrinter& printer, const std::function<void(QPrinter*)>& draw) = 0;
    // `done` of `total` rows drawn; false when the user asked to stop.
    virtual bool Progress(qsizetype done, qsizetype total) = 0;
    virtual void EndProgress() {}
};

// The real dialogs, owned by `parent`; messages go to `inform`. Progress
// shows after half a second, with a Cancel button.
class QtPrintHost final : public PrintHost {
  public:
    QtPrintHost(QWidget* parent, std::function<void(const QString&)> inform);
    ~QtPrintHost() override;
    void Inform(const QString& text) override { inform_(text); }
    bool RunPrintDialog(QPrinter& printer) override;
    QString AskPdfFile() override;
    void RunPreview(QPrinter& printer, const std::function<void(QPrinter*)>& draw) override;
    bool Progress(qsizetype done, qsizetype total) override;
    void EndProgress() override;

  private:
    QWidget* parent_;
    std::function<void(const QString&)> inform_;
    QProgressDialog* progress_ = nullptr;
};

// Prints every row of `rows` in its display order. Messages: no rows, no
// printer; a cancelled dialog or progress prints nothing more.
PrintOutcome PrintDataList(const ListModel& rows, PrintOutput output, PrintHost& host);
PrintOutcome PrintDataList(const CListCtrlExt& list, PrintOutput output, PrintHost& host);

// Draws the list on `printer` (already set up) as one document.
PrintOutcome DrawDataList(QPrinter& printer, const ListModel& rows, PrintHost& host);

// The page callback: at a page start a blank line, a black rule, "HbA1c data
// reports" and a yellow rule; at a page end a yellow rule. No page number.
void PrintPageFrame(ReportPrinter& printer, int page, int pageStart);

// The choice offered by the list's print button: a menu under `button` with
// print, print preview and save as PDF. Empty when dismissed.
std::optional<PrintOutput> ChoosePrintOutput(QWidget* button);

// The whole print command of the list's button: the choice under `button`,
// then the printout of `list` with the real dialogs; messages go to `inform`.
void RunDataListPrint(const CListCtrlExt& list, QWidget* button,
                      const std::function<void(const QString&)>& inform);

}  // namespace tav
