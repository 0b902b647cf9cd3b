#include "userprop/unSelectGroups.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "options/unOptions.h"
#include "query/filtercompose.h"
#include "ui/prompt.h"
#include "ui/windowlayout.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <vector>

namespace {
QTreeWidget *groupList(QWidget *parent, const char *name)
{
    auto *l = new QTreeWidget(parent);
    l->setObjectName(QLatin1String(name));
    l->setHeaderLabels({QStringLiteral("Name"), QStringLiteral("In Folder"), QStringLiteral("DN")});
    l->setColumnHidden(2, true);
    l->setRootIsDecorated(false);
    l->setSelectionMode(QAbstractItemView::ExtendedSelection);
    return l;
}
QVariant first(const QVariant &v)
{
    return v.typeId() == QMetaType::QVariantList ? v.toList().value(0) : v;
}
} // namespace

TfrmSelectGroups::TfrmSelectGroups(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmSelectGroups"));
    setWindowTitle(QStringLiteral(" Select Groups"));
    auto *v = new QVBoxLayout(this);
    ListViewGroups = groupList(this, "ListViewGroups");
    ListViewGroupsResult = groupList(this, "ListViewGroupsResult");
    ListViewGroups->setAccessibleName(QStringLiteral("Groups of the domain"));
    ListViewGroupsResult->setAccessibleName(QStringLiteral("Groups chosen"));
    v->addWidget(ListViewGroups, 2);
    auto *ml = new QHBoxLayout;
    btAdd = new QPushButton(QStringLiteral("Add"), this);
    btAdd->setObjectName(QStringLiteral("btAdd"));
    btRemove = new QPushButton(QStringLiteral("Remove"), this);
    btRemove->setObjectName(QStringLiteral("btRemove"));
    ml->addWidget(btAdd);
    ml->addWidget(btRemove);
    ml->addStretch(1);
    v->addLayout(ml);
    v->addWidget(ListViewGroupsResult, 1);
    auto *bl = new QHBoxLayout;
    bl->addStretch(1);
    btOK = new QPushButton(QStringLiteral("OK"), this);
    btOK->setObjectName(QStringLiteral("btOK"));
    btOK->setEnabled(false);
    btCancel = new QPushButton(QStringLiteral("Cancel"), this);
    btCancel->setObjectName(QStringLiteral("btCancel"));
    btOK->setDefault(true);
    ui::tabOrder({ListViewGroups, btAdd, btRemove, ListViewGroupsResult, btOK, btCancel});
    bl->addWidget(btOK);
    bl->addWidget(btCancel);
    v->addLayout(bl);
    connect(btAdd, &QPushButton::clicked, this, [this] { addGroup(ListViewGroups->currentItem()); });
    connect(btRemove, &QPushButton::clicked, this, [this] { removeGroup(ListViewGroupsResult->currentItem()); });
    connect(ListViewGroups, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *i) { addGroup(i); });
    connect(ListViewGroupsResult, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *i) { removeGroup(i); });
    connect(btOK, &QPushButton::clicked, this, &TfrmSelectGroups::btOKClick);
    connect(btCancel, &QPushButton::clicked, this, &QDialog::reject);
    options::ApplyWindowFont(this);
    ui::setupWindow(this, QSize(480, 460));
}

void TfrmSelectGroups::load(const userprop::UserPropConnection &c, const QStringList &shown, const QString &userName)
{
    shown_ = shown;
    userName_ = userName;
    ListViewGroups->clear();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::vector<QStringList> rows;
    try {
        TQelADSISearching s;
        userprop::prepareSearch(s, c);
        s.setFilter(query::andOf({query::equals(QStringLiteral("objectCategory"), QStringLiteral("Group")),
                                  query::equals(QStringLiteral("objectClass"), QStringLiteral("Group"))}));
        s.setAttributes(QStringLiteral("name, canonicalName, distinguishedName"));
        s.setPageSize(100);
        s.ExecuteSearch();
        QVariant row;
        QElapsedTimer t;
        t.start();
        s.GetFirstRow(row);
        while (row.isValid()) {
            const QVariantList r = row.toList();
            rows.push_back({first(r.value(0)).toString(), ParentCanonicalName(first(r.value(1)).toString()),
                            first(r.value(2)).toString()});
            if (t.elapsed() > 15) {
                QApplication::processEvents();
                t.restart();
            }
            s.GetNextRow(row);
        }
        s.CloseSearch();
    } catch (const Exception &e) {
        QApplication::restoreOverrideCursor();
        ui::Prompt::error(this, e.Message(), QStringLiteral("Arvendel"));
        return;
    }
    // By name, without regard to case.
    std::stable_sort(rows.begin(), rows.end(), [](const QStringList &a, const QStringList &b) {
        return a.at(0).compare(b.at(0), Qt::CaseInsensitive) < 0;
    });
    for (const QStringList &r : rows)
        new QTreeWidgetItem(ListViewGroups, r);
    QApplication::restoreOverrideCursor();
}

QStringList TfrmSelectGroups::chosen() const
{
    QStringList out;
    for (int i = 0; i < ListViewGroupsResult->topLevelItemCount(); ++i)
        out << ListViewGroupsResult->topLevelItem(i)->text(2);
    return out;
}

void TfrmSelectGroups::addGroup(QTreeWidgetItem *item)
{
    if (!item)
        return;
    const QString dn = item->text(2);
    if (chosen().contains(dn, Qt::CaseInsensitive))
        return;
    if (shown_.contains(dn, Qt::CaseInsensitive)) {
        ui::Prompt::warning(this,
                            QStringLiteral("The \"%1\" is already in the list and cannot be added a second time.")
                                .arg(userName_),
                            QStringLiteral("Arvendel"));
        return;
    }
    new QTreeWidgetItem(ListViewGroupsResult, {item->text(0), item->text(1), dn});
    btOK->setEnabled(true);
}

void TfrmSelectGroups::removeGroup(QTreeWidgetItem *item)
{
    if (!item)
        return;
    delete item;
    btOK->setEnabled(true);
}

void TfrmSelectGroups::btOKClick()
{
    if (chosen().isEmpty())
        reject();
    else
        accept();
}

bool TfrmSelectGroups::pick(QWidget *parent, const userprop::UserPropConnection &c, const QStringList &shown,
                            const QString &userName, QStringList &chosen)
{
    TfrmSelectGroups dlg(parent);
    // The groups are read once the dialog shows (modal: a dialog shown before exec() would
    // stay modeless and leave the property dialog open to edits under it).
    QTimer::singleShot(0, &dlg, [&] { dlg.load(c, shown, userName); });
    if (dlg.exec() != QDialog::Accepted)
        return false;
    chosen = dlg.chosen();
    return !chosen.isEmpty();
}
