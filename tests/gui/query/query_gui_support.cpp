#include "query_gui_support.h"

#include "mainwindow_support.h"

#include "main/unCatalogue.h"
#include "query/unFilter.h"

#include <QComboBox>
#include <QLineEdit>

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

void addCondition(query::TfrmFilter &f, const char *ldapName, const char *condition, const QString &value)
{
    const int field = f.cbFields->findData(KeyByLdapName(QString::fromLatin1(ldapName)), Qt::UserRole);
    ASSERT_GE(field, 0) << ldapName;
    f.cbFields->setCurrentIndex(field);
    f.cbFieldsChange(field);
    const int cond = f.cbConditions->findText(QString::fromLatin1(condition));
    ASSERT_GE(cond, 0);
    f.cbConditions->setCurrentIndex(cond);
    f.cbConditionsChange(cond);
    if (f.ebValue->isEnabled())
        f.ebValue->setText(value);
    f.btAddClick();
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
