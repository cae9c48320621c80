// "Get HbA1c data": the modal dialog in which the user picks the port of a
// manual download. The list, its preselection and what OK does with the text
// come from a PortSelectSource (in the program: the port scan).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

#include "link/port_scan.h"

class QComboBox;

namespace tav {

class MessagePresenter;

inline constexpr const char* kPortSelectTitle = "Get HbA1c data";

namespace psid {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kSearch = 3;
inline constexpr int kPortList = 1003;
inline constexpr int kSelectPortLabel = 1041;
}  // namespace psid

// What the dialog shows and does: the port scan's list, its search and the
// acceptance of the chosen text.
class PortSelectSource {
  public:
    virtual ~PortSelectSource() = default;
    // "COM" and the number text of every entry of the port list, and the item
    // to select (out of range selects the first).
    virtual PortSelectList Choices() = 0;
    // The search button: clears the analyzer-found flag and scans every port
    // on the calling thread; the scan's report refreshes the open dialog.
    virtual void Search() = 0;
    // OK with the text of the list: stores the selected port text, sets the
    // driver's port device name and line settings; or refuses the text.
    virtual PortChoice Confirm(const std::string& text) = 0;
};

// The program's source: the scan's lists and scanner and the serial link.
class ScanPortSelectSource final : public PortSelectSource {
  public:
    ScanPortSelectSource(PortLists& lists, PortScanner& scanner, SerialLink& link)
        : lists_(lists), scanner_(scanner), link_(link) {}
    PortSelectList Choices() override;
    void Search() override;
    PortChoice Confirm(const std::string& text) override;

  private:
    PortLists& lists_;
    PortScanner& scanner_;
    SerialLink& link_;
};

class PortSelectDialog : public QDialog {
    Q_OBJECT
  public:
    PortSelectDialog(PortSelectSource& source, MessagePresenter& presenter,
                     QWidget* parent = nullptr);

    // Refills the list and its selection from the source.
    void Refresh();
    // The confirmed port text after OK (for "<label> is connected.").
    const std::string& SelectedLabel() const { return label_; }
    QComboBox* PortList() const { return list_; }

    void accept() override;

  private:
    PortSelectSource& source_;
    MessagePresenter& presenter_;
    QComboBox* list_;
    std::string label_;
};

}  // namespace tav
