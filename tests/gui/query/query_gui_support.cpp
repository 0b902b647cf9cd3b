#include "query_gui_support.h"

#include "mainwindow_support.h"

namespace querytest {

bool connectDomain()
{
    TConnectionSettings s = mwtest::domainSettings();
    try {
        ConnectWithSettings(s);
    } catch (const Exception &e) {
        ADD_FAILURE() << e.Message().toStdString();
        return false;
    }
    return !ConnectionContext().DomainPath.isEmpty();
}

QString pathOf(const QString &dn)
{
    return QStringLiteral("LDAP://%1/%2").arg(testsupport::fact("ADDR"), dn);
}

QString seedOu()
{
    return testsupport::fact("SEED_OU");
}

QSet<QString> ldapDns(const QString &base, const QString &filter, bool oneLevel)
{
    QSet<QString> out;
    int rc = -1;
    const QStringList extra = oneLevel ? QStringList{QStringLiteral("-s"), QStringLiteral("one")} : QStringList{};
    for (const testsupport::LdifEntry &e : testsupport::ldapSearch(base, filter, {QStringLiteral("1.1")},
                                                                   testsupport::Account::admin(), extra, &rc))
        out.insert(e.dn.toLower());
    EXPECT_EQ(rc, 0) << "ldapsearch " << filter.toStdString();
    return out;
}

QSet<QString> columnTexts(const QTreeWidget *list, int column)
{
    QSet<QString> out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out.insert(list->topLevelItem(i)->text(column).toLower());
    return out;
}

} // namespace querytest
