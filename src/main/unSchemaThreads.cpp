#include "main/unSchemaThreads.h"

#include "core/unConnection.h"
#include "core/unSearch.h"

#include <QSet>

namespace {
std::atomic<int> g_rowDelayMs{0};

QString scalarText(const QVariant &v)
{
    return v.typeId() == QMetaType::QVariantList ? v.toList().value(0).toString() : v.toString();
}
} // namespace

void TSchemaThreadBase::setRowDelayForTests(int ms) { g_rowDelayMs = ms; }

TSchemaThreadBase::TSchemaThreadBase(QObject *parent) : QThread(parent) {}

void TSchemaThreadBase::runSearch(const QString &attributes, const QString &filter)
{
    try {
        ads::ObjectPtr rootDse;
        CheckADSIResult(OpenWithContext(QStringLiteral("RootDSE"), &rootDse));
        QVariant schemaNc;
        CheckADSIResult(rootDse->Get(QStringLiteral("schemaNamingContext"), &schemaNc));

        TQelADSISearching s;
        s.setAttributes(attributes);
        s.setADsPath(ConnectionContext().ServerPrefix + scalarText(schemaNc));
        s.setSearchScope(1);
        ApplyContextCredentials(s);
        if (!filter.isEmpty())
            s.setFilter(filter);
        s.setSizeLimit(0);
        s.setPageSize(100);
        s.setAsynchronous(false);
        s.ExecuteSearch();
        QVariant r;
        s.GetFirstRow(r);
        while (r.isValid()) {
            row(r.toList());
            ++rows_;
            if (const int d = g_rowDelayMs.load())
                msleep(d);
            if (isInterruptionRequested()) {
                stopped_ = true;
                s.CloseSearch();
                return;
            }
            try {
                s.GetNextRow(r);
            } catch (const Exception &) {
                break; // errors while reading rows end the list quietly
            }
        }
        s.CloseSearch();
    } catch (const Exception &e) {
        error_ = e.Message();
    } catch (const std::exception &e) {
        error_ = QString::fromUtf8(e.what());
    }
}

TEnumAttrThread::TEnumAttrThread(QObject *parent) : TSchemaThreadBase(parent)
{
    setObjectName(QStringLiteral("TEnumAttrThread"));
}

void TEnumAttrThread::run()
{
    runSearch(QStringLiteral("lDAPDisplayName, distinguishedName"), QStringLiteral("(objectCategory=attributeSchema)"));
}

void TEnumAttrThread::row(const QVariantList &columns)
{
    const QString name = scalarText(columns.value(0));
    if (name.isEmpty() || seen_.contains(name))
        return;
    seen_.insert(name);
    names_ << name;
}

TEnumAttrGUIDThread::TEnumAttrGUIDThread(QObject *parent) : TSchemaThreadBase(parent)
{
    setObjectName(QStringLiteral("TEnumAttrGUIDThread"));
}

void TEnumAttrGUIDThread::run()
{
    runSearch(QStringLiteral("lDAPDisplayName, distinguishedName, schemaIDGUID"), QString());
}

void TEnumAttrGUIDThread::row(const QVariantList &columns)
{
    const QString key = scalarText(columns.value(2)).toUpper();
    if (key.isEmpty() || map_.contains(key))
        return;
    map_.insert(key, scalarText(columns.value(0)));
}
