// Every message box of the windows goes through one presenter object, so that
// the program shows real boxes while tests answer them from a script.
#pragma once

#include <QString>
#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace tav {

class MessagePresenter {
  public:
    virtual ~MessagePresenter() = default;
    // A box with an OK button.
    virtual void Inform(QWidget* parent, const QString& caption, const QString& text) = 0;
    // A Yes/No question, brought to the front and kept on top. True on Yes.
    virtual bool Ask(QWidget* parent, const QString& caption, const QString& text) = 0;
    // An OK/Cancel question. True on OK. Presenters without their own answer
    // it as a Yes/No question.
    virtual bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text) {
        return Ask(parent, caption, text);
    }
};

// Modal QMessageBox windows.
class QtMessagePresenter final : public MessagePresenter {
  public:
    void Inform(QWidget* parent, const QString& caption, const QString& text) override;
    bool Ask(QWidget* parent, const QString& caption, const QString& text) override;
    bool AskOkCancel(QWidget* parent, const QString& caption, const QString& text) override;
};

// Records every box and answers questions from a queue (No when it runs dry,
// unless another default is set). Nothing is shown.
class ScriptedMessagePresenter final : public MessagePresenter {
  public:
    struct Box {
        bool Question = false;
        QString Caption;
        QString Text;
    };

    void QueueAnswer(bool yes) { answers_.push_back(yes); }
    void SetDefaultAnswer(bool yes) { defaultAnswer_ = yes; }
    // Called for every box before it is answered (tests act "while it is shown").
    void SetOnShow(std::function<void(const Box&)> fn) { onShow_ = std::move(fn); }

    const std::vector<Box>& Boxes() const { return boxes_; }
    std::vector<QString> Texts() const;
    void Clear() { boxes_.clear(); }

    void Inform(QWidget* parent, const QString& caption, const QString& text) override;
    bool Ask(QWidget* parent, const QString& caption, const QString& text) override;

  private:
    std::vector<Box> boxes_;
    std::deque<bool> answers_;
    bool defaultAnswer_ = false;
    std::function<void(const Box&)> onShow_;
};

// The program's texts use CR LF line ends; widgets show LF.
QString DisplayText(const QString& text);

}  // namespace tav
