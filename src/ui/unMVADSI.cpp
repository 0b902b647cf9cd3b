#include "ui/unMVADSI.h"
#include "ui/windowlayout.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace ui {

QStringList MVADSILines(const QString &shownValue, bool multiValued)
{
    if (!multiValued)
        return {shownValue};
    QStringList lines;
    for (const QString &part : shownValue.split(QLatin1Char('#')))
        lines << part.trimmed();
    return lines;
}

TfrmMVADSI::TfrmMVADSI(const QString &attribute, const QString &shownValue, bool multiValued, QWidget *parent)
    : TfrmMVADSI(QStringLiteral("Property Value(s) for [") + attribute + QLatin1Char(']'),
                 MVADSILines(shownValue, multiValued), parent)
{
}

TfrmMVADSI::TfrmMVADSI(const QString &title, const QStringList &lines, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmMVADSI"));
    setWindowTitle(title);
    ui::setupWindow(this, QSize(420, 320));
    lvValues = new QTreeWidget(this);
    lvValues->setObjectName(QStringLiteral("lvValues"));
    lvValues->setHeaderLabels({QStringLiteral("Attribute Value")});
    lvValues->setRootIsDecorated(false);
    lvValues->setAccessibleName(QStringLiteral("Attribute Value"));
    for (const QString &line : lines)
        new QTreeWidgetItem(lvValues, {line});
    auto *btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
    auto *bottom = new QHBoxLayout;
    bottom->addStretch(1);
    bottom->addWidget(btClose);
    auto *v = new QVBoxLayout(this);
    v->addWidget(lvValues, 1);
    v->addLayout(bottom);
}

QStringList TfrmMVADSI::lines() const
{
    QStringList out;
    for (int i = 0; i < lvValues->topLevelItemCount(); ++i)
        out << lvValues->topLevelItem(i)->text(0);
    return out;
}

} // namespace ui
