#include "userprop/unManager.h"

#include "core/unSearch.h"
#include "options/unOptions.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/windowlayout.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

TfrmManager::TfrmManager(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmManager"));
    ui::setupWindow(this);
    setWindowTitle(QStringLiteral(" Edit Manager"));
    auto *v = new QVBoxLayout(this);
    v->addWidget(new QLabel(QStringLiteral("Assigned manager:"), this));
    lbManagerName = new QLabel(this);
    lbManagerName->setObjectName(QStringLiteral("lbManagerName"));
    QFont f = lbManagerName->font();
    f.setBold(true);
    lbManagerName->setFont(f);
    v->addWidget(lbManagerName);
    auto button = [this](const char *name, const QString &text) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        return b;
    };
    auto *ml = new QHBoxLayout;
    btChange = button("btChange", QStringLiteral("Change"));
    btRemove = button("btRemove", QStringLiteral("Remove"));
    btProperties = button("btProperties", QStringLiteral("Properties"));
    ml->addWidget(btChange);
    ml->addWidget(btRemove);
    ml->addWidget(btProperties);
    v->addLayout(ml);
    auto *bl = new QHBoxLayout;
    bl->addStretch(1);
    btOK = button("btOK", QStringLiteral("OK"));
    btCancel = button("btCancel", QStringLiteral("Cancel"));
    bl->addWidget(btOK);
    bl->addWidget(btCancel);
    v->addLayout(bl);
    connect(btChange, &QPushButton::clicked, this, &TfrmManager::btChangeClick);
    connect(btRemove, &QPushButton::clicked, this, &TfrmManager::btRemoveClick);
    connect(btProperties, &QPushButton::clicked, this, &TfrmManager::btPropertiesClick);
    connect(btOK, &QPushButton::clicked, this, &TfrmManager::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    options::ApplyWindowFont(this);
}

void TfrmManager::setManager(const QString &name, const QString &dn, const userprop::UserPropConnection &c)
{
    name_ = name;
    dn_ = dn;
    initialDn_ = dn;
    conn_ = c;
    show_();
}

void TfrmManager::show_()
{
    const bool none = name_.isEmpty() || dn_.isEmpty();
    lbManagerName->setText(none ? QStringLiteral("NONE") : name_);
    ui::setHint(lbManagerName, dn_);
    btRemove->setEnabled(!none);
    btProperties->setEnabled(!none);
}

void TfrmManager::setChoice(const QString &name, const QString &dn)
{
    name_ = name;
    dn_ = dn;
    show_();
}

void TfrmManager::btChangeClick()
{
    QString name, dn;
    if (userprop::pickUser(this, conn_, name, dn))
        setChoice(name, dn);
}

void TfrmManager::btRemoveClick()
{
    setChoice(QString(), QString());
}

void TfrmManager::btPropertiesClick()
{
    if (dn_.isEmpty() || (conn_.pathPrefix.isEmpty() && conn_.searchRoot.isEmpty()))
        return;
    try {
        userprop::openUserProperties(this, dn_, conn_, true);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), QStringLiteral("Arvendel"));
    }
}

void TfrmManager::btOKClick()
{
    if (dn_.compare(initialDn_, Qt::CaseInsensitive) != 0)
        accept();
    else
        reject();
}

bool TfrmManager::edit(QWidget *parent, QString &name, QString &dn, const userprop::UserPropConnection &c)
{
    TfrmManager dlg(parent);
    dlg.setManager(name, dn, c);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    name = dlg.managerName();
    dn = dlg.managerDn();
    return true;
}
