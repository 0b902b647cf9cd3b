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

TSchemaThreadCredentials TSchemaThreadCredentials::fromContext()
{
    const TConnectionContext &ctx = ConnectionContext();
    TSchemaThreadCredentials c;
    c.serverPrefix = ctx.ServerPrefix;
    c.defaultNamingContext = ctx.DefaultNamingContext;
    c.userName = ctx.UserName;
    c.password = ctx.Password;
    c.useCredentials = ctx.UseCredentials;
    c.authFlags = ctx.AuthFlags;
    return c;
}

void TSchemaThreadBase::setRowDelayForTests(int ms) { g_rowDelayMs = ms; }

TSchemaThreadBase::TSchemaThreadBase(const TSchemaThreadCredentials &c, QObject *parent)
    : QThread(parent), creds_(c)
{
}

void TSchemaThreadBase::runSearch(const QString &attributes, const QString &filter)
{
    try {
        ads::ObjectPtr rootDse;
        CheckADSIResult(OpenADsObject(creds_.serverPrefix + QStringLiteral("RootDSE"), creds_.userName,
                                      creds_.password, &rootDse, QString::fromLatin1(ads::IID_IADs),
                                      creds_.authFlags, creds_.useCredentials));
        QVariant schemaNc;
        CheckADSIResult(rootDse->Get(QStringLiteral("schemaNamingContext"), &schemaNc));

        TQelADSISearching s;
        s.setAttributes(attributes);
        s.setADsPath(creds_.serverPrefix + scalarText(schemaNc));
        s.setSearchScope(1);
        s.setUserName(creds_.userName);
        s.setPassword(creds_.password);
        s.setUseCredentials(creds_.useCredentials);
        s.setAuthFlags(int(creds_.authFlags));
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

TEnumAttrThread::TEnumAttrThread(const TSchemaThreadCredentials &c, QObject *parent)
    : TSchemaThreadBase(c, parent)
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

TEnumAttrGUIDThread::TEnumAttrGUIDThread(const TSchemaThreadCredentials &c, QObject *parent)
    : TSchemaThreadBase(c, parent)
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
