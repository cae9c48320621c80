#include "app/message_presenter.h"

#include <QMessageBox>

namespace tav {

QString DisplayText(const QString& text) {
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    shown.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return shown;
}

void QtMessagePresenter::Inform(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, caption, DisplayText(text), QMessageBox::Ok, parent);
    box.exec();
}

bool QtMessagePresenter::Ask(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, DisplayText(text),
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setWindowFlag(Qt::WindowStaysOnTopHint, true);
    box.show();
    box.raise();
    box.activateWindow();
    return box.exec() == QMessageBox::Yes;
}

bool QtMessagePresenter::AskOkCancel(QWidget* parent, const QString& caption, const QString& text) {
    QMessageBox box(QMessageBox::Question, caption, DisplayText(text),
                    QMessageBox::Ok | QMessageBox::Cancel, parent);
    return box.exec() == QMessageBox::Ok;
}

std::vector<QString> ScriptedMessagePresenter::Texts() const {
    std::vector<QString> texts;
    for (const Box& box : boxes_) texts.push_back(box.Text);
    return texts;
}

void ScriptedMessagePresenter::Inform(QWidget*, const QString& caption, const QString& text) {
    boxes_.push_back({false, caption, text});
    if (onShow_) onShow_(Box(boxes_.back()));
}

bool ScriptedMessagePresenter::Ask(QWidget*, const QString& caption, const QString& text) {
    boxes_.push_back({true, caption, text});
    if (onShow_) onShow_(Box(boxes_.back()));
    if (answers_.empty()) return defaultAnswer_;
    bool yes = answers_.front();
    answers_.pop_front();
    return yes;
}

}  // namespace tav
