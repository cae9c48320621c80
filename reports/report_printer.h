// A small line-and-table printing engine over a QPrinter: it keeps a current
// vertical position, prints text lines (wrapped to the printable width) and
// ruled table rows one after the other, and breaks the page when the next
// line would pass the bottom margin, calling a page callback at every page
// start and end so that a page frame can be drawn. All sizes are in the
// printer's device units except where points are named.
#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QString>
#include <QStringList>
#include <functional>
#include <limits>
#include <vector>

class QPrinter;

namespace tav {

inline constexpr unsigned kKeepMargin = std::numeric_limits<unsigned>::max();

class ReportPrinter {
  public:
    enum Align { kCentre = 0, kLeft = 1, kRight = 2 };
    struct Column {
        int Width = 0;  // device units
        int Alignment = kCentre;
    };
    // engine, page number, 1 when a page begins and 0 when it ends.
    using PageCallback = std::function<void(ReportPrinter&, int page, int pageStart)>;

    ReportPrinter() = default;
    ~ReportPrinter();
    ReportPrinter(const ReportPrinter&) = delete;
    ReportPrinter& operator=(const ReportPrinter&) = delete;

    // Uses `printer` (set up by the print dialog, a preview or a PDF file).
    // -1 when there is none.
    int AttachPrinter(QPrinter* printer);
    // Begins the document, named `title`; reads the printable size. False
    // when the printer cannot start.
    bool StartDocument(const QString& title);
    // Four fonts of `face` (a fixed-pitch face stands in when it is missing):
    // normal and bold at `size1` points, normal and bold at `size2`. Makes the
    // new set current and returns its index.
    int AddFontSet(const QString& face, int size1, int size2);
    void SetMargins(unsigned top, unsigned bottom, unsigned left, unsigned right);
    void SetLineGap(int points) { lineGapPoints_ = points; }
    int StartPage();
    void NewPage();
    void SetPageCallback(PageCallback callback);
    void SkipLines(int fontSet, int lines);
    void PrintText(int fontSet, const QString& text, int alignment, bool advance, int xOffset = 0);
    // Relative widths scaled to the printable width when `proportional`.
    void SetColumns(const std::vector<Column>& columns, bool proportional);
    void SetRowRules(bool on) { table_.rowRules = on; }
    void SetCellBorders(bool on) { table_.cellBorders = on; }
    void SetCellInset(int inset);
    void SetGridPenWidth(int width) { table_.penWidth = width; }
    void SelectFont(int fontSet, int fontIndex);
    // One table row; cells separated by "|".
    void PrintRow(int fontSet, const QString& cells);
    // The same with the cells already apart (a cell may then hold a "|").
    void PrintRowCells(int fontSet, const QStringList& cells);
    void DrawRule(Qt::PenStyle style);
    void DrawColouredRule(Qt::PenStyle style, int width, const QColor& colour);
    void EndPage();
    // Ends the document and lets the printer go; true when it was written.
    bool EndDocument();
    // Drops the document (a cancelled printout).
    void AbortDocument();

    int CurrentFontSet() const { return currentSet_; }
    void SetCurrentFontSet(int set) { currentSet_ = set; }
    QColor TextColour() const { return textColour_; }
    void SetTextColour(const QColor& colour) { textColour_ = colour; }

    // State, for the report and its tests.
    int PageWidth() const { return pageWidth_; }
    int PageHeight() const { return pageHeight_; }
    int PrintableWidth() const { return pageWidth_ - int(leftMargin_) - int(rightMargin_); }
    int CurrentY() const { return y_; }
    int PageCounter() const { return pageCounter_; }
    int Copies() const { return copies_; }
    const std::vector<Column>& Columns() const { return table_.columns; }
    QFont Font(int fontSet, int fontIndex) const;
    int LineGap() const;  // device units

  private:
    struct FontSet {
        QFont fonts[4];
        int current = 0;
    };
    struct TableSettings {
        std::vector<Column> columns;
        // The relative widths, kept when the table is fitted to a narrow page.
        std::vector<Column> relative;
        bool fitted = false;
        int inset = 0;
        bool rowRules = false;
        bool cellBorders = false;
        int penWidth = 1;
    };

    int TopMargin() const;  // device units
    void FitColumns();
    void UseFont(int fontSet);
    void StartFirstPage();
    bool NeedsBreak(int textHeight) const;
    void BreakPage();
    void DrawLine(const QPen& pen);

    QPrinter* printer_ = nullptr;
    QPainter painter_;
    int copies_ = 1;
    int pageWidth_ = 0;
    int pageHeight_ = 0;
    int dpiY_ = 72;
    unsigned topMarginPoints_ = 0;
    unsigned bottomMargin_ = 0;
    unsigned leftMargin_ = 0;
    unsigned rightMargin_ = 0;
    int y_ = 0;
    PageCallback callback_;
    int pageCounter_ = 0;
    bool breaking_ = false;
    int lineGapPoints_ = 0;
    int currentSet_ = -1;
    std::vector<FontSet> fontSets_;
    TableSettings table_;
    QColor textColour_ = Qt::black;
};

// The face used for `wanted`: itself when installed, else a fixed-pitch face.
QString PrintFace(const QString& wanted);

}  // namespace tav
