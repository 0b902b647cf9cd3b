#include "groups/unMVADSI.h"

#include <QHBoxLayout>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace groups {

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
    : QDialog(parent)
{
    setObjectName(QStringLiteral("frmMVADSI"));
    setWindowTitle(QStringLiteral("Property Value(s) for [") + attribute + QLatin1Char(']'));
    resize(420, 320);
    lvValues = new QTreeWidget(this);
    lvValues->setObjectName(QStringLiteral("lvValues"));
    lvValues->setHeaderLabels({QStringLiteral("Attribute Value")});
    lvValues->setRootIsDecorated(false);
    for (const QString &line : MVADSILines(shownValue, multiValued))
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

} // namespace groups
