#include "bulk/unBatchExport.h"

#include "bulk/exportinternal.h"
#include "bulk/unExportColumn.h"
#include "bulk/unExportFormat.h"
#include "core/unConnection.h"
#include "core/unSearch.h"
#include "core/unValues.h"
#include "main/unCatalogue.h"
#include "main/unMain.h"
#include "main/unUserListing.h"
#include "query/filtercompose.h"
#include "query/unFilter.h"
#include "ui/windowlayout.h"
#include "ui/icons.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QTableWidget>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace {

bool isDateKey(qint32 key)
{
    return key == 14 || (key >= 80 && key <= 87);
}

// The first value of a search cell (a list when the attribute has several).
QVariant firstOf(const QVariant &v)
{
    return v.typeId() == QMetaType::QVariantList ? v.toList().value(0) : v;
}

// A cell of a date column (the logon and change times, with logonCount among them): blank
// when empty, sorted by its value (dates by day, the count by number), blank cells first.
class DateColumnItem : public QTableWidgetItem {
public:
    explicit DateColumnItem(const QVariant &v)
    {
        if (v.metaType().id() == qMetaTypeId<ads::AdsDate>()) {
            const double day = v.value<ads::AdsDate>().value;
            if (day >= 1) {
                m_key = day;
                m_blank = false;
                setData(Qt::DisplayRole, ads::AdsDate(day).toDateTime());
            }
        } else if (v.isValid()) {
            m_key = v.toDouble();
            m_blank = false;
            setText(v.toString());
        }
    }
    bool operator<(const QTableWidgetItem &other) const override
    {
        const auto *o = dynamic_cast<const DateColumnItem *>(&other);
        if (!o)
            return QTableWidgetItem::operator<(other);
        if (m_blank || o->m_blank)
            return m_blank && !o->m_blank;
        return m_key < o->m_key;
    }

private:
    double m_key = 0;
    bool m_blank = true;
};

}  // namespace

TfrmBatchExport::TfrmBatchExport(QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmBatchExport"));
    setWindowTitle(QStringLiteral(" Batch Export"));
    ui::setupWindow(this, QSize(760, 480));
    auto *v = new QVBoxLayout(this);
    auto *top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Selected Container for Export:"), this));
    lbContainerForExport = new QLabel(QStringLiteral("Unknown."), this);
    lbContainerForExport->setObjectName(QStringLiteral("lbContainerForExport"));
    top->addWidget(lbContainerForExport, 1);
    v->addLayout(top);
    auto *buttons = new QHBoxLayout;
    btRestrictions = new QPushButton(QStringLiteral("Filter..."), this);
    btRestrictions->setObjectName(QStringLiteral("btRestrictions"));
    btColums = new QPushButton(QStringLiteral("Columns..."), this);
    btColums->setObjectName(QStringLiteral("btColums"));
    btExport = new QPushButton(QStringLiteral("Export"), this);
    btExport->setObjectName(QStringLiteral("btExport"));
    btClose = new QPushButton(QStringLiteral("Close"), this);
    btClose->setObjectName(QStringLiteral("btClose"));
    for (QPushButton *b : {btRestrictions, btColums, btExport})
        buttons->addWidget(b);
    buttons->addStretch();
    buttons->addWidget(btClose);
    v->addLayout(buttons);
    NextGrid = new QTableWidget(this);
    NextGrid->setObjectName(QStringLiteral("NextGrid"));
    NextGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    NextGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    NextGrid->verticalHeader()->hide();
    NextGrid->setAccessibleName(QStringLiteral("The first accounts as they will be exported"));
    // The 50-pixel columns stay the default; a divider can be dragged or fitted to the rows.
    ui::setupColumns(NextGrid, ui::Columns::Given);
    v->addWidget(NextGrid, 1);
    StatusBar = new QStatusBar(this);
    StatusBar->setObjectName(QStringLiteral("StatusBar"));
    StatusBar->setSizeGripEnabled(false);
    for (int i = 0; i < 3; ++i) {
        stPanels[i] = new QLabel(StatusBar);
        stPanels[i]->setObjectName(QStringLiteral("StatusPanel%1").arg(i));
        StatusBar->addWidget(stPanels[i], i == 2 ? 1 : 0);
    }
    v->addWidget(StatusBar);

    connect(btRestrictions, &QPushButton::clicked, this, &TfrmBatchExport::btRestrictionsClick);
    connect(btColums, &QPushButton::clicked, this, &TfrmBatchExport::btColumsClick);
    connect(btExport, &QPushButton::clicked, this, &TfrmBatchExport::btExportClick);
    connect(btClose, &QPushButton::clicked, this, &QDialog::accept);
    connect(NextGrid->horizontalHeader(), &QHeaderView::sectionClicked, this, [this](int section) {
        if (section > 1)
            return;
        for (int c = 1; c < NextGrid->columnCount(); ++c)
            NextGrid->setColumnWidth(c, 80);
    });

    m_builder = [](QWidget *parent, QString &filter, bool &fromBuilder) {
        query::FilterRequest req;
        req.filter = filter;
        req.fromBuilder = !filter.isEmpty() && fromBuilder;
        query::FilterResult res;
        if (!query::BuildFilter(parent, req, &res))
            return false;
        filter = res.filter;
        fromBuilder = res.fromBuilder;
        return true;
    };
    m_chooser = [](QWidget *parent, QList<bulk::ExportColumnItem> &columns, QString &status) {
        TfrmExportColumn dlg(parent);
        dlg.setColumns(columns);
        dlg.setStatusText(status);
        if (dlg.exec() != QDialog::Accepted)
            return false;
        columns = dlg.columns();
        status = dlg.statusText();
        return true;
    };
    m_exportWindow = [](QWidget *parent, const bulk::ExportRequest &request) {
        TfrmExportFormat dlg(parent);
        dlg.setRequest(request);
        dlg.exec();
    };
    stPanels[1]->setText(QStringLiteral("  Columns [Custom]"));
    buildSample();
}

QList<bulk::ExportColumnItem> TfrmBatchExport::defaultColumns()
{
    static const char *const names[] = {"cn", "displayName", "givenName", "sn", "description", "physicalDeliveryOfficeName",
                                        "telephoneNumber", "mail", "userPrincipalName", "l", "st", "postalCode", "co",
                                        "title", "department", "company", "lastLogon"};
    QList<bulk::ExportColumnItem> out;
    for (const char *n : names)
        if (const ADSIUserField *e = EntryByLdapName(QLatin1String(n)))
            out << bulk::ExportColumnItem(e->caption.toString(), e->key);
    return out;
}

void TfrmBatchExport::setFilter(const QString &filter, bool fromBuilder)
{
    m_filter = filter;
    m_fromBuilder = fromBuilder;
    setFilterMarker();
}

void TfrmBatchExport::setContainer(const QString &adsPath, const QString &displayPath, bool hasParent)
{
    m_path = adsPath;
    m_display = displayPath;
    m_hasParent = hasParent;
    lbContainerForExport->setText(adsPath.isEmpty() ? QStringLiteral("Unknown.") : displayPath);
    buildSample();
}

void TfrmBatchExport::setFilterMarker()
{
    QString t = stPanels[0]->text();
    t.remove(QStringLiteral(" [Filter Activated]"));
    if (!m_filter.trimmed().isEmpty())
        t += QStringLiteral(" [Filter Activated]");
    stPanels[0]->setText(t);
}

void TfrmBatchExport::btRestrictionsClick()
{
    QString text = m_filter;
    bool fromBuilder = !m_filter.isEmpty() && m_fromBuilder;
    if (!m_builder || !m_builder(this, text, fromBuilder)) {
        text.clear();  // Cancel counts as an empty filter
        fromBuilder = false;
    }
    if (text.compare(m_filter, Qt::CaseInsensitive) != 0) {
        m_filter = text;
        m_fromBuilder = fromBuilder;
    }
    setFilterMarker();
    buildSample();
}

void TfrmBatchExport::btColumsClick()
{
    if (m_columns.isEmpty())
        m_columns = defaultColumns();
    QString status = m_setStatus.isEmpty() ? QStringLiteral("[Custom Column Set]") : QStringLiteral("Loaded from ") + m_setStatus;
    QList<bulk::ExportColumnItem> columns = m_columns;
    if (m_chooser && m_chooser(this, columns, status)) {
        m_columns = columns;
        const int open = status.indexOf(QLatin1Char('['));
        const QString bracketed = open >= 0 && !status.contains(QLatin1String("[Custom Column Set]")) ? status.mid(open) : QString();
        m_setStatus = bracketed;
        stPanels[1]->setText(bracketed.isEmpty() ? QStringLiteral("  Columns [Custom]") : QStringLiteral("  Columns ") + bracketed);
        stPanels[1]->setFixedWidth(stPanels[1]->fontMetrics().horizontalAdvance(stPanels[1]->text()) + 16);
    }
    buildSample();
}

void TfrmBatchExport::buildGridColumns()
{
    NextGrid->setSortingEnabled(false);
    NextGrid->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    NextGrid->clear();
    NextGrid->setRowCount(0);
    NextGrid->setColumnCount(int(m_columns.size()) + 1);
    QStringList captions{QString()};
    for (const auto &c : std::as_const(m_columns))
        captions << c.first;
    NextGrid->setHorizontalHeaderLabels(captions);
    NextGrid->setColumnWidth(0, 20);
    for (int c = 1; c < NextGrid->columnCount(); ++c)
        NextGrid->setColumnWidth(c, 50);
}

void TfrmBatchExport::buildSample()
{
    buildGridColumns();
    btExport->setEnabled(false);
    if (m_columns.isEmpty())
        return;
    QStringList names{QStringLiteral("distinguishedname")};
    bool memberOf = false;
    for (const auto &c : std::as_const(m_columns)) {
        const ADSIUserField *e = EntryByKey(c.second);
        names << (e ? e->ldapName.toString() : c.first);
        if (names.last().compare(QLatin1String("memberOf"), Qt::CaseInsensitive) == 0)
            memberOf = true;
    }
    // The primary group is in no memberOf value: it is found by the user's SID and RID.
    if (memberOf)
        names << QStringLiteral("primaryGroupID") << QStringLiteral("objectSid");
    TQelADSISearching search;
    ApplyContextCredentials(search);
    search.setAttributes(names.join(QLatin1Char(',')));
    search.setADsPath(m_path);
    search.setSearchScope(m_hasParent ? ads::ADS_SCOPE_ONELEVEL : ads::ADS_SCOPE_SUBTREE);
    const QString fragment = m_filter.trimmed();
    search.setFilter(query::andOf({query::equals(QStringLiteral("objectCategory"), QStringLiteral("person")),
                                   query::equals(QStringLiteral("objectClass"), QStringLiteral("user")),
                                   fragment.isEmpty() ? QString() : query::asTerm(fragment)}));
    search.setSizeLimit(50);
    search.setPageSize(0);
    m_lastBase = m_path;
    m_lastFilter = search.Filter();
    m_lastScope = search.SearchScope();
    const bulk::ExportOptions display;
    const QIcon userIcon = ui::userIcon();
    QHash<QString, QString> primaryGroups;  // domain SID and RID -> group DN, read once
    if (!m_path.isEmpty() && query::isValidFilter(search.Filter())) {
        try {
            search.ExecuteSearch();
            QVariant row;
            search.GetFirstRow(row);
            while (row.isValid()) {
                const QVariantList cells = row.toList();
                const int r = NextGrid->rowCount();
                NextGrid->insertRow(r);
                auto *icon = new QTableWidgetItem(userIcon, QString());
                NextGrid->setItem(r, 0, icon);
                for (int c = 0; c < m_columns.size(); ++c) {
                    const QVariant v = cells.value(c + 1);
                    QTableWidgetItem *item = nullptr;
                    if (isDateKey(m_columns.at(c).second)) {
                        item = new DateColumnItem(v);
                    } else {
                        item = new QTableWidgetItem;
                        QString text = v.isValid()
                            ? bulk::valueToText(v, bulk::TextMode::Display, display, QStringLiteral("\r"), false).text
                            : QString();
                        // A user in no group but the primary one has no memberOf value: the
                        // primary group is shown all the same.
                        if (memberOf && names.at(c + 1).compare(QLatin1String("memberOf"), Qt::CaseInsensitive) == 0) {
                            const int rid = firstOf(cells.value(names.size() - 2)).toInt();
                            const QByteArray sid = firstOf(cells.value(names.size() - 1)).toByteArray();
                            // Keyed by the user's domain (the SID without its last four bytes,
                            // the user's own RID): one read per group, not per user.
                            const QString key = QString::fromLatin1(sid.chopped(std::min<qsizetype>(4, sid.size())).toHex()) +
                                                QLatin1Char('-') + QString::number(rid);
                            if (!primaryGroups.contains(key))
                                primaryGroups.insert(key, PrimaryGroupDn(sid, rid));
                            const QString primary = primaryGroups.value(key);
                            if (!primary.isEmpty() && !text.contains(primary, Qt::CaseInsensitive))
                                text += (text.isEmpty() ? QString() : QStringLiteral("\r")) + primary;
                        }
                        item->setText(text);
                    }
                    NextGrid->setItem(r, c + 1, item);
                }
                QApplication::processEvents();
                search.GetNextRow(row);
            }
        } catch (const Exception &) {
            // The sample ends silently with the rows so far.
        }
        try {
            search.CloseSearch();
        } catch (const Exception &) {
        }
    }
    // Header clicks sort the sample (date columns by date); not while it is being filled.
    NextGrid->setSortingEnabled(true);
    stPanels[2]->setText(NextGrid->rowCount() > 0 ? QStringLiteral("The first 50 accounts") : QStringLiteral("No items"));
    btExport->setEnabled(NextGrid->rowCount() > 0);
}

bulk::ExportRequest TfrmBatchExport::request() const
{
    bulk::ExportRequest req;
    QList<qint32> keys;
    for (int c = 1; c < NextGrid->columnCount(); ++c)
        if (!NextGrid->isColumnHidden(c))
            keys << m_columns.value(c - 1).second;
    req.columns = bulk::columnsFromKeys(keys);
    req.filter = m_lastFilter;
    req.base = m_lastBase;
    req.scope = m_lastScope;
    req.sourceText = QStringLiteral("Selected [") + lbContainerForExport->text() + QLatin1Char(']');
    return req;
}

void TfrmBatchExport::btExportClick()
{
    if (!btExport->isEnabled() || !m_exportWindow)
        return;
    m_exportWindow(this, request());
}

namespace bulk {

void wireExport(TfrmMain &main)
{
    TfrmMain *m = &main;
    main.setActionHandler(main.actBulkExport, [m] {
        TfrmBatchExport dlg(m);
        dlg.setFilter(m->userList()->currentFilter(), m->userList()->filterFromBuilder());
        // The selected tree node, else the tree's first node when it is a root.
        const QTreeWidget *tree = m->tree();
        const QTreeWidgetItem *node = tree->currentItem() && tree->currentItem()->isSelected() ? tree->currentItem() : nullptr;
        if (!node && tree->topLevelItemCount() > 0)
            node = tree->topLevelItem(0);
        if (node)
            dlg.setContainer(TfrmMain::nodePath(node), node->text(0), node->parent() != nullptr);
        dlg.exec();
    });
}

}  // namespace bulk
