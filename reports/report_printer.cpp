#include "reports/report_printer.h"

#include <QFontDatabase>
#include <QFontMetrics>
#include <QPrinter>
#include <algorithm>

namespace tav {
namespace {

// A line may end at a blank this many characters from the end of what fits.
constexpr int kWrapWindow = 20;

int Width(const QFontMetrics& metrics, const QString& text) {
    return metrics.horizontalAdvance(text.isEmpty() ? QStringLiteral("A") : text);
}

}  // namespace

QString PrintFace(const QString& wanted) {
    if (QFontDatabase::families().contains(wanted, Qt::CaseInsensitive)) return wanted;
    return QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
}

ReportPrinter::~ReportPrinter() {
    if (painter_.isActive()) painter_.end();
}

int ReportPrinter::AttachPrinter(QPrinter* printer) {
    if (!printer || !printer->isValid()) return -1;
    printer_ = printer;
    copies_ = printer->copyCount();
    return 0;
}

bool ReportPrinter::StartDocument(const QString& title) {
    if (!printer_) return false;
    printer_->setDocName(title);
    if (!painter_.begin(printer_)) return false;
    pageWidth_ = printer_->width();
    pageHeight_ = printer_->height();
    dpiY_ = std::max(1, printer_->logicalDpiY());
    pageCounter_ = 0;
    return true;
}

int ReportPrinter::AddFontSet(const QString& face, int size1, int size2) {
    const QString family = PrintFace(face);
    FontSet set;
    const int sizes[4] = {size1, size1, size2, size2};
    for (int i = 0; i < 4; ++i) {
        QFont font(family);
        font.setStyleHint(QFont::TypeWriter);
        font.setFixedPitch(true);
        font.setPixelSize(std::max(1, sizes[i] * dpiY_ / 72));
        font.setWeight(i % 2 ? QFont::Bold : QFont::Normal);
        set.fonts[i] = font;
    }
    fontSets_.push_back(set);
    currentSet_ = static_cast<int>(fontSets_.size()) - 1;
    UseFont(currentSet_);
    return currentSet_;
}

QFont ReportPrinter::Font(int fontSet, int fontIndex) const {
    if (fontSet < 0 || fontSet >= static_cast<int>(fontSets_.size()) || fontIndex < 0 ||
        fontIndex > 3)
        return {};
    return fontSets_[static_cast<size_t>(fontSet)].fonts[fontIndex];
}

void ReportPrinter::UseFont(int fontSet) {
    if (fontSet < 0 || fontSet >= static_cast<int>(fontSets_.size())) return;
    currentSet_ = fontSet;
    const FontSet& set = fontSets_[static_cast<size_t>(fontSet)];
    if (painter_.isActive()) painter_.setFont(set.fonts[set.current]);
}

void ReportPrinter::SelectFont(int fontSet, int fontIndex) {
    if (fontSet < 0 || fontSet >= static_cast<int>(fontSets_.size()) || fontIndex < 0 ||
        fontIndex > 3)
        return;
    fontSets_[static_cast<size_t>(fontSet)].current = fontIndex;
    UseFont(fontSet);
}

void ReportPrinter::SetMargins(unsigned top, unsigned bottom, unsigned left, unsigned right) {
    if (top != kKeepMargin) topMarginPoints_ = top;
    if (bottom != kKeepMargin) bottomMargin_ = bottom;
    if (left != kKeepMargin) leftMargin_ = left;
    if (right != kKeepMargin) rightMargin_ = right;
    y_ = TopMargin();
}

int ReportPrinter::TopMargin() const {
    return static_cast<int>(topMarginPoints_ * static_cast<unsigned>(dpiY_) / 72);
}

int ReportPrinter::LineGap() const {
    return lineGapPoints_ * dpiY_ / 72;
}

int ReportPrinter::StartPage() {
    // The first page is open once the document has begun.
    if (!painter_.isActive()) return -1;
    y_ = TopMargin();
    return 0;
}

void ReportPrinter::NewPage() {
    if (printer_) printer_->newPage();
    y_ = TopMargin();
}

void ReportPrinter::SetPageCallback(PageCallback callback) {
    callback_ = std::move(callback);
}

void ReportPrinter::StartFirstPage() {
    if (pageCounter_ != 0) return;
    pageCounter_ = 1;
    y_ = TopMargin();
    if (callback_) callback_(*this, 1, 1);
}

bool ReportPrinter::NeedsBreak(int textHeight) const {
    return !breaking_ &&
           y_ + LineGap() + textHeight > pageHeight_ - static_cast<int>(bottomMargin_);
}

void ReportPrinter::BreakPage() {
    // What the callback prints at the page's foot and head must not break again.
    breaking_ = true;
    ++pageCounter_;
    if (callback_) callback_(*this, pageCounter_ - 1, 0);
    NewPage();
    if (callback_) callback_(*this, pageCounter_, 1);
    breaking_ = false;
}

void ReportPrinter::SkipLines(int fontSet, int lines) {
    for (int i = 0; i < lines; ++i) PrintText(fontSet, QString(), kLeft, true);
}

void ReportPrinter::PrintText(int fontSet, const QString& text, int alignment, bool advance,
                              int xOffset) {
    UseFont(fontSet);
    StartFirstPage();
    const QFontMetrics metrics(painter_.font(), printer_);
    const int printable = std::max(1, PrintableWidth());

    // Split into lines that fit the printable width.
    std::vector<QString> lines;
    QString rest = text;
    while (Width(metrics, rest) > printable && rest.size() > 1) {
        // The longest piece that fits (at least one character).
        qsizetype low = 1, high = rest.size();
        while (low < high) {
            const qsizetype mid = (low + high + 1) / 2;
            if (metrics.horizontalAdvance(rest.left(mid)) <= printable)
                low = mid;
            else
                high = mid - 1;
        }
        const qsizetype fit = low;
        const qsizetype blank = rest.left(fit).lastIndexOf(QLatin1Char(' '));
        if (blank > 0 && blank >= fit - kWrapWindow) {
            lines.push_back(rest.left(blank));
            rest = rest.mid(blank + 1);
        } else {
            lines.push_back(rest.left(fit));
            rest = rest.mid(fit);
        }
    }
    lines.push_back(rest);

    const int height = metrics.height();
    for (const QString& line : lines) {
        const int width = Width(metrics, line);
        int x = static_cast<int>(leftMargin_) + xOffset;
        if (alignment == kCentre)
            x += (printable - width) / 2;
        else if (alignment == kRight)
            x += printable - width;
        if (NeedsBreak(height)) BreakPage();
        UseFont(fontSet);
        if (!line.isEmpty()) {
            painter_.setPen(textColour_);
            painter_.drawText(x, y_ + metrics.ascent(), line);
        }
        if (advance) y_ += LineGap() + height;
    }
}

void ReportPrinter::SetColumns(const std::vector<Column>& columns, bool proportional) {
    table_.columns = columns;
    table_.relative = columns;
    table_.fitted = false;
    if (!proportional) return;
    long total = 0;
    for (const Column& c : columns) total += std::max(0, c.Width);
    if (total <= 0) return;
    const long factor = PrintableWidth() / total;
    if (factor > 0) {
        for (Column& c : table_.columns) c.Width = static_cast<int>(std::max(0, c.Width) * factor);
        return;
    }
    // On a page narrower than the relative widths the whole factor is 0 and
    // every column would vanish: the table is fitted to the page instead.
    table_.fitted = true;
    FitColumns();
}

void ReportPrinter::SetCellInset(int inset) {
    table_.inset = inset;
    if (table_.fitted) FitColumns();
}

void ReportPrinter::FitColumns() {
    // The columns share the printable width less the room of the cell insets.
    const auto& relative = table_.relative;
    const long count = static_cast<long>(relative.size());
    long total = 0;
    for (const Column& c : relative) total += std::max(0, c.Width);
    if (count == 0 || total <= 0) return;
    const long insets = table_.inset / 4 + (count - 1) * table_.inset + table_.inset / 2;
    const long room = std::max(0L, static_cast<long>(PrintableWidth()) - insets);
    for (size_t i = 0; i < relative.size(); ++i)
        table_.columns[i].Width = static_cast<int>(std::max(0, relative[i].Width) * room / total);
}

void ReportPrinter::PrintRow(int fontSet, const QString& cellText) {
    PrintRowCells(fontSet, cellText.split(QLatin1Char('|')));
}

void ReportPrinter::PrintRowCells(int fontSet, const QStringList& cells) {
    UseFont(fontSet);
    const QPen grid(Qt::black, table_.penWidth, Qt::SolidLine);
    StartFirstPage();
    const QFontMetrics metrics(painter_.font(), printer_);
    const int height = metrics.height();
    const int gap = LineGap();
    if (NeedsBreak(height)) {
        const TableSettings saved = table_;
        BreakPage();
        table_ = saved;
        UseFont(fontSet);
    }

    const int count =
        std::min<int>(static_cast<int>(cells.size()), static_cast<int>(table_.columns.size()));
    int origin = static_cast<int>(leftMargin_);
    int tableLeft = origin;
    painter_.setPen(textColour_);
    for (int i = 0; i < count; ++i) {
        const Column& column = table_.columns[static_cast<size_t>(i)];
        if (i == 0) {
            if (!(column.Alignment == kLeft && !table_.cellBorders)) origin += table_.inset / 4;
            tableLeft = origin - table_.inset / 2;
        } else {
            origin += table_.inset;
        }
        const QString& text = cells[i];
        const int width = Width(metrics, text);
        int x = origin;
        if (column.Alignment == kCentre)
            x = origin + (column.Width / 2 - width / 2);
        else if (column.Alignment == kRight)
            x = origin + column.Width - width;
        if (!text.isEmpty()) {
            // Text that stays inside its cell needs no clip (the clip is
            // costly in a long PDF and changes nothing then).
            const bool inside = x >= origin && x + width <= origin + column.Width;
            if (!inside) painter_.setClipRect(QRect(origin, y_, column.Width, gap + height));
            painter_.drawText(x, y_ + metrics.ascent(), text);
            if (!inside) painter_.setClipping(false);
        }
        if (table_.cellBorders) {
            painter_.setPen(grid);
            const int top = y_ - gap, bottom = y_ + gap + height;
            painter_.drawLine(origin - table_.inset / 2, top, origin - table_.inset / 2, bottom);
            const int right = origin + column.Width + table_.inset / 2;
            painter_.drawLine(right, top, right, bottom);
            painter_.setPen(textColour_);
        }
        origin += column.Width;
    }
    if (table_.rowRules) {
        const int tableRight = origin + table_.inset / 2;
        painter_.setPen(grid);
        y_ -= gap;
        painter_.drawLine(tableLeft, y_, tableRight, y_);
        y_ += 2 * gap + height;
        painter_.drawLine(tableLeft, y_, tableRight, y_);
        y_ += gap;
        painter_.setPen(textColour_);
    }
}

void ReportPrinter::DrawLine(const QPen& pen) {
    painter_.setPen(pen);
    painter_.drawLine(static_cast<int>(leftMargin_), y_,
                      pageWidth_ - static_cast<int>(rightMargin_), y_);
    painter_.setPen(textColour_);
    y_ += LineGap();
}

void ReportPrinter::DrawRule(Qt::PenStyle style) {
    DrawLine(QPen(QBrush(Qt::black), 0, style));
}

void ReportPrinter::DrawColouredRule(Qt::PenStyle style, int width, const QColor& colour) {
    DrawLine(QPen(QBrush(colour), width, style));
}

void ReportPrinter::EndPage() {
    breaking_ = true;
    if (callback_ && pageCounter_ > 0) callback_(*this, pageCounter_, 0);
    breaking_ = false;
}

bool ReportPrinter::EndDocument() {
    const bool ok = painter_.isActive() && painter_.end();
    printer_ = nullptr;
    fontSets_.clear();
    return ok;
}

void ReportPrinter::AbortDocument() {
    if (printer_) printer_->abort();
    if (painter_.isActive()) painter_.end();
    printer_ = nullptr;
    fontSets_.clear();
}

}  // namespace tav
