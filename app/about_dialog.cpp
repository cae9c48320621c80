#include "app/about_dialog.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace tav {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QString::fromLatin1(kAboutTitle));
    setProperty("controlId", 100);
    auto* name = new QLabel(QStringLiteral("TAVRINA1c Expert Management Software 1.00.00"), this);
    QFont bold = name->font();
    bold.setBold(true);
    name->setFont(bold);
    auto* text = new QLabel(
        QStringLiteral("Downloads, keeps, lists and charts the HbA1c results of the analyzer."),
        this);
    text->setWordWrap(true);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setProperty("controlId", 1);
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(name);
    layout->addWidget(text);
    layout->addWidget(ok, 0, Qt::AlignRight);
}

}  // namespace tav
