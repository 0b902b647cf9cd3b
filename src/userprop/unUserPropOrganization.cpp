// The Organization tab of the user property dialog: title, department, company, the manager
// and the direct reports.
#include "userprop/unUserProp.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unQuickPanel.h"
#include "ui/objectbus.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/writable.h"
#include "ui/windowlayout.h"
#include "userprop/unUserPropTabs.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

using userprop::tabs::addRows;
using userprop::tabs::cachedText;
using userprop::tabs::kAppTitle;

namespace {

std::function<bool(QWidget *, const userprop::UserPropConnection &, QString &, QString &)> g_userPicker;

} // namespace

void TfrmUserProp::setUserPicker(std::function<bool(QWidget *, const userprop::UserPropConnection &, QString &, QString &)> f)
{
    g_userPicker = std::move(f);
}

QWidget *TfrmUserProp::buildOrganization()
{
    auto *page = new QWidget;
    auto *g = new QGridLayout(page);
    int row = 0;
    addRows(page, g, row,
            {{"title", coupledEdit(Organization, "ebTitle", "title")},
             {"department", coupledEdit(Organization, "ebDepartment", "department")},
             {"company", coupledEdit(Organization, "ebCompany", "company")}},
            {});
    ebManager_ = new QLineEdit(page);
    ebManager_->setObjectName(QStringLiteral("ebManager"));
    ebManager_->setReadOnly(true);
    g->addWidget(ui::buddyLabel(QStringLiteral("Manager:"), ebManager_, page), row, 0);
    g->addWidget(ebManager_, row++, 1, 1, 2);
    lbManagerDN_ = new QLabel(page);
    lbManagerDN_->setObjectName(QStringLiteral("lbManagerDN"));
    lbManagerDN_->hide();
    auto *mb = new QHBoxLayout;
    auto button = [page, mb](const char *name, const QString &text) {
        auto *b = new QPushButton(text, page);
        b->setObjectName(QLatin1String(name));
        mb->addWidget(b);
        return b;
    };
    btManagerChange_ = button("btManagerChange", QStringLiteral("Change..."));
    btManagerProperties_ = button("btManagerProperties", QStringLiteral("Properties"));
    btManagerClear_ = button("btManagerClear", QStringLiteral("Clear"));
    mb->addStretch(1);
    g->addLayout(mb, row++, 1, 1, 2);
    connect(btManagerChange_, &QPushButton::clicked, this, &TfrmUserProp::btManagerChangeClick);
    connect(btManagerProperties_, &QPushButton::clicked, this, &TfrmUserProp::btManagerPropertiesClick);
    connect(btManagerClear_, &QPushButton::clicked, this, &TfrmUserProp::btManagerClearClick);
    lvDirectReports_ = quickpanel::newDirectReportsList(page);
    g->addWidget(ui::buddyLabel(QStringLiteral("Direct reports:"), lvDirectReports_, page), row, 0, Qt::AlignTop);
    connect(lvDirectReports_, &QTreeWidget::itemDoubleClicked, this,
            [this](QTreeWidgetItem *item) { lvDirectReportsDblClick(item); });
    g->addWidget(lvDirectReports_, row++, 1, 1, 2);
    g->setRowStretch(row - 1, 1);
    return page;
}

void TfrmUserProp::loadOrganization()
{
    loadCoupled(Organization);
    quickpanel::QuickPanelLogic names(userlist::ListingConnection{conn_.pathPrefix, conn_.userName, conn_.password,
                                                                 conn_.useCredentials, int(conn_.authFlags)});
    const QString managerDn = cachedText(user_, QStringLiteral("manager"));
    const QString managerName = managerDn.isEmpty() ? QString() : names.cnOf(managerDn);
    if (managerName.isEmpty()) {
        ebManager_->clear();
        loadedManagerDn_.clear();
    } else {
        ebManager_->setText(managerName);
        loadedManagerDn_ = managerDn;
    }
    managerDn_ = loadedManagerDn_;
    managerModified_ = false;
    ui::setHint(ebManager_, managerDn_);
    lbManagerDN_->setText(managerDn_);
    const bool shown = !managerDn_.isEmpty();
    btManagerProperties_->setEnabled(shown);
    btManagerClear_->setEnabled(shown && writable(QStringLiteral("manager")));
    btManagerChange_->setEnabled(writable(QStringLiteral("manager")));
    lvDirectReports_->clear();
    QVariant r;
    if (ads::succeeded(user_->Get(QStringLiteral("directReports"), &r)))
        for (const QString &dn : quickpanel::textList(r))
            new QTreeWidgetItem(lvDirectReports_, {names.cnOf(dn), dn});
    QPalette pal = lvDirectReports_->parentWidget()->palette();
    if (!writable(QStringLiteral("directReports")))
        pal.setColor(QPalette::Base, pal.color(QPalette::Button));
    lvDirectReports_->setPalette(pal);
}

bool TfrmUserProp::saveOrganization()
{
    if (!loaded_[Organization])
        return true;
    if (!saveCoupled(Organization))
        return false;
    if (!managerModified_ || managerDn_ == loadedManagerDn_)
        return true;
    const ads::HRESULT hr = managerDn_.isEmpty()
        ? user_->PutEx(ads::ADS_PROPERTY_CLEAR, QStringLiteral("manager"), QVariant())
        : user_->Put(QStringLiteral("manager"), managerDn_);
    if (ads::failed(hr)) {
        refused(Organization, {QStringLiteral("manager")}, hr);
        return false;
    }
    if (!writeStep(Organization, {QStringLiteral("manager")}))
        return false;
    if (!loadedManagerDn_.isEmpty())
        ui::notifyOtherWindows(ui::ObjectChanged, loadedManagerDn_, this);
    if (!managerDn_.isEmpty())
        ui::notifyOtherWindows(ui::ObjectChanged, managerDn_, this);
    loadedManagerDn_ = managerDn_;
    managerModified_ = false;
    return true;
}

void TfrmUserProp::setManagerChoice(const QString &name, const QString &dn)
{
    if (dn == managerDn_)
        return;
    managerDn_ = dn;
    ebManager_->setText(name);
    ui::setHint(ebManager_, dn);
    lbManagerDN_->setText(dn);
    btManagerProperties_->setEnabled(true);
    btManagerClear_->setEnabled(writable(QStringLiteral("manager")));
    managerModified_ = true;
    SetApplyEnabled(true);
}

void TfrmUserProp::btManagerChangeClick()
{
    QString name, dn;
    if (g_userPicker) {
        if (g_userPicker(this, conn_, name, dn))
            setManagerChoice(name, dn);
        return;
    }
    if (userprop::pickUser(this, conn_, name, dn))
        setManagerChoice(name, dn);
}

void TfrmUserProp::btManagerClearClick()
{
    managerDn_.clear();
    ebManager_->clear();
    ui::setHint(ebManager_, QString());
    lbManagerDN_->clear();
    managerModified_ = true;
    btManagerProperties_->setEnabled(false);
    btManagerClear_->setEnabled(false);
    SetApplyEnabled(true);
}

void TfrmUserProp::btManagerPropertiesClick()
{
    if (managerDn_.isEmpty())
        return;
    try {
        userprop::openUserProperties(this, managerDn_, conn_, true);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
}

void TfrmUserProp::lvDirectReportsDblClick(QTreeWidgetItem *item)
{
    if (!item || item->text(1).trimmed().isEmpty())
        return;
    try {
        userprop::openUserProperties(this, item->text(1), conn_, false);
    } catch (const Exception &e) {
        ui::Prompt::error(this, e.Message(), kAppTitle);
    }
}
