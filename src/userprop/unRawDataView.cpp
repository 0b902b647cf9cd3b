// The RAW Data page: every attribute of an object with its ADSI type and values; and the
// export of a shown list to a workbook, which the security views and the group windows share.
#include "userprop/unRawDataView.h"

#include "core/unSearch.h"
#include "core/unValues.h"
#include "platform/adsi/adsvalue.h"
#include "platform/office/office.h"
#include "platform/office/workbook.h"
#include "platform/security/sid.h"
#include "ui/listsort.h"
#include "ui/prompt.h"
#include "ui/texts.h"
#include "ui/unMVADSI.h"

#include <QDateTime>
#include <QDir>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QToolButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace userprop {

namespace {

const QString kAppTitle = QStringLiteral("Arvendel");

QString hexUpper(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex()).toUpper();
}

} // namespace

QString UtcValueText(const QVariant &value)
{
    const QVariant v = value.typeId() == QMetaType::QVariantList ? value.toList().value(0) : value;
    if (!v.canConvert<ads::AdsDate>() || v.typeId() != qMetaTypeId<ads::AdsDate>())
        return {};
    const ads::AdsDate d = v.value<ads::AdsDate>();
    if (d.isZero())
        return {};
    QDateTime utc = d.toDateTime(Qt::UTC);
    return utc.toLocalTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

QString AdsTypeName(int type)
{
    static const char *const names[] = {
        "Invalid type", "DN String", "Case Exact String", "Case Ignore String", "Printable string", "Numeric String",
        "Boolean", "Integer", "Octet string", "UTC time", "Large integer", "Provider specific", "Object class",
        "Case ignore list", "Octet list", "Path", "Postal address", "Timestamp", "Backlink", "Typed name", "Hold",
        "Net address", "Replica pointer", "Fax number", "Email", "NT security descriptor", "Unknown",
        "DN with binary", "DN with string"};
    return type >= 0 && type <= 28 ? QString::fromLatin1(names[type]) : QString::fromLatin1(names[26]);
}

QString RawValueText(const QString &name, int type, const QVariant &value)
{
    switch (type) {
    case ads::ADSTYPE_DN_STRING:
    case ads::ADSTYPE_CASE_EXACT_STRING:
    case ads::ADSTYPE_CASE_IGNORE_STRING:
    case ads::ADSTYPE_PRINTABLE_STRING:
    case ads::ADSTYPE_NUMERIC_STRING:
        return value.toString();
    case ads::ADSTYPE_BOOLEAN:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case ads::ADSTYPE_INTEGER:
    case ads::ADSTYPE_LARGE_INTEGER:
        return QString::number(value.toLongLong());
    case ads::ADSTYPE_UTC_TIME:
        return UtcValueText(value);
    case ads::ADSTYPE_OCTET_STRING: {
        const QByteArray b = value.toByteArray();
        if (name.compare(QLatin1String("objectGUID"), Qt::CaseInsensitive) == 0
            || name.compare(QLatin1String("GUID"), Qt::CaseInsensitive) == 0) {
            if (value.typeId() == QMetaType::QString) // the layer may hand GUIDs over as text
                return value.toString().remove(QLatin1Char('{')).remove(QLatin1Char('}')).remove(QLatin1Char('-')).toUpper();
            return hexUpper(b);
        }
        if (name.compare(QLatin1String("objectSID"), Qt::CaseInsensitive) == 0) {
            if (const auto sid = security::Sid::fromBytes(b))
                return sid->toString();
        }
        QString text = hexUpper(b.left(65));
        if (b.size() > 65)
            text += QStringLiteral("..etc... (actual size = %1 bytes)").arg(b.size());
        return text;
    }
    default:
        return QStringLiteral("<Unsupported here>");
    }
}

TRawDataPage::TRawDataPage(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("tsRAW"));
    lvRAW = new QTreeWidget(this);
    lvRAW->setObjectName(QStringLiteral("lvRAW"));
    // The hidden fourth column: "-1" for a row of several values, else "0".
    lvRAW->setHeaderLabels({QStringLiteral("ldapName"), QStringLiteral("Property Type"), QStringLiteral("Property Value"),
                            QStringLiteral("Multi")});
    lvRAW->setColumnHidden(3, true);
    lvRAW->setAccessibleName(QStringLiteral("Attributes"));
    lvRAW->setRootIsDecorated(false);
    connect(lvRAW, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem *item) { lvRAWDblClick(item); });
    lvRAW->setSortingEnabled(false);
    lbTotal = new QLabel(this);
    lbTotal->setObjectName(QStringLiteral("lbTotal"));
    sbRawToExcel = new QToolButton(this);
    sbRawToExcel->setObjectName(QStringLiteral("sbRawToExcel"));
    sbRawToExcel->setText(QStringLiteral("Excel"));
    ui::setHint(sbRawToExcel, QStringLiteral("RAW Properties to Microsoft Office Excel document"));
    sbRawToExcel->setVisible(OfficeAppAvailable(QStringLiteral("Excel.Application")));
    auto *bottom = new QHBoxLayout;
    bottom->addWidget(lbTotal, 1);
    bottom->addWidget(sbRawToExcel);
    auto *v = new QVBoxLayout(this);
    v->addWidget(lvRAW, 1);
    v->addLayout(bottom);
    connect(sbRawToExcel, &QToolButton::clicked, this, &TRawDataPage::sbRawToExcelClick);
    lvRAW->header()->setSectionsClickable(true);
    connect(lvRAW->header(), &QHeaderView::sectionClicked, this, [this](int column) {
        const int n = column + 1;
        m_sortKey = column == 0 ? (m_sortKey == 10 ? -10 : 10) : (m_sortKey == n ? -n : n);
        ui::sortByText(lvRAW, column, m_sortKey < 0 ? Qt::DescendingOrder : Qt::AscendingOrder);
    });
}

void TRawDataPage::load(const ads::ObjectPtr &object, const QString &caption)
{
    m_caption = caption;
    lvRAW->clear();
    if (!object)
        return;
    CheckADSIResult(object->GetInfo());
    const int count = object->PropertyCount();
    for (int i = 0; i < count; ++i) {
        ads::PropertyEntry e;
        if (ads::failed(object->Item(i, &e)))
            continue;
        QStringList texts;
        for (const QVariant &v : e.values)
            texts << RawValueText(e.name, e.type, v);
        auto *item = new QTreeWidgetItem(lvRAW, {e.name, AdsTypeName(e.type), texts.join(QStringLiteral(" # ")),
                                                 e.values.size() > 1 ? QStringLiteral("-1") : QStringLiteral("0")});
        item->setData(0, Qt::UserRole, e.values.size() > 1);
    }
    lbTotal->setText(QStringLiteral("Total items:") + QString::number(lvRAW->topLevelItemCount()));
}

void TRawDataPage::lvRAWDblClick(QTreeWidgetItem *item)
{
    if (!item)
        return;
    ui::TfrmMVADSI viewer(item->text(0), item->text(2), item->text(3) == QLatin1String("-1"), this);
    viewer.exec();
}

QString ListToWorkbook(QWidget *parent, const QString &caption, const QTreeWidget *list, const QString &fileBase)
{
    const QString path = QDir(office::privateOutputFolder()).filePath(fileBase + QStringLiteral(".xlsx"));
    office::WorkbookWriter wb(path, false);
    QString error;
    if (!wb.addSheet(fileBase, &error)) {
        ui::Prompt::error(parent, QStringLiteral("Microsoft Office Excel is unavailable!"), kAppTitle);
        return {};
    }
    const office::CellStyle bold = office::CellStyle::boldArial10();
    QList<int> columns; // hidden columns hold the list's bookkeeping, not what it shows
    for (int c = 0; c < list->columnCount(); ++c)
        if (!list->isColumnHidden(c))
            columns << c;
    wb.writeString(0, 0, caption, bold);
    for (int i = 0; i < columns.size(); ++i)
        wb.writeString(1, i, list->headerItem()->text(columns[i]), bold);
    const int n = list->topLevelItemCount();
    for (int r = 0; r < n; ++r)
        for (int i = 0; i < columns.size(); ++i)
            wb.writeString(r + 2, i, list->topLevelItem(r)->text(columns[i]));
    wb.writeString(n + 4, 0, CreatedWithText(), bold);
    if (!wb.close(&error)) {
        ui::Prompt::error(parent, error, kAppTitle);
        return {};
    }
    if (!office::openWithDesktop(path))
        ui::Prompt::error(parent, QStringLiteral("Microsoft Office Excel is unavailable!"), kAppTitle);
    return path;
}

void TRawDataPage::sbRawToExcelClick()
{
    const QString path = ListToWorkbook(this, m_caption, lvRAW, QStringLiteral("RAW Data"));
    if (!path.isEmpty())
        m_lastWorkbook = path;
}

} // namespace userprop
