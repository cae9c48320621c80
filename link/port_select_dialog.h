// "Get HbA1c data": the modal dialog in which the user picks the port of a
// manual download. The list, its preselection and what OK does with the text
// come from a PortSelectSource (the port scan's lists and the port table).
#pragma once

#include <QDialog>
#include <string>
#include <vector>

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

struct PortChoices {
    // "COM" and the number text of every entry of the port list, in order.
    std::vector<std::string> Items;
    // The item to select; out of range selects the first.
    int Selected = 0;
};

struct PortConfirmation {
    bool Accepted = false;
    // The text the user confirmed, for "<label> is connected.".
    std::string Label;
    // Shown when the text is refused; the dialog then stays open.
    std::string Refusal;
};

class PortSelectSource {
  public:
    virtual ~PortSelectSource() = default;
    virtual PortChoices Choices() = 0;
    // The search button: clears the analyzer-found flag and scans every port
    // on the calling thread; the scan's report refreshes the open dialog.
    virtual void Search() = 0;
    // OK with the text of the list: stores the selected port text, sets the
    // driver's port device name and line settings.
    virtual PortConfirmation Confirm(const std::string& text) = 0;
};

class PortSelectDialog : public QDialog {
    Q_OBJECT
  public:
    PortSelectDialog(PortSelectSource& source, MessagePresenter& presenter,
                     QWidget* parent = nullptr);

    // Refills the list and its selection from the source.
    void Refresh();
    // The confirmed label after OK.
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
