// The RAW Data tab, its value viewer and the other-values editor, read back with ldapsearch.
#include "userprop_support.h"
#include "userprop/unRawDataView.h"
#include "ui/texts.h"
#include "ui/unMVADSI.h"
#include "userprop/unBussPhone.h"
#include "userprop/unSecurityViews.h"
#include "platform/office/workbook.h"

#include <QProcess>

#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QToolButton>
#include <QTreeWidget>
#include <QHeaderView>

using namespace uptest;

namespace {
QString ada()
{
    return QStringLiteral("CN=Ada Fullprofile,OU=Showcase,") + testsupport::fact("SEED_OU");
}
} // namespace

class RawData : public DialogTest {};

TEST_F(RawData, EveryAttributeLdapsearchReturnsWithItsValueCountAndBinaryValuesReadable)
{
    TfrmUserProp *d = open(ada());
    d->showTab(TfrmUserProp::RawData);
    auto *list = child<QTreeWidget>(d, "lvRAW");
    ASSERT_GT(list->topLevelItemCount(), 40);
    QMap<QString, QTreeWidgetItem *> rows;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        rows.insert(list->topLevelItem(i)->text(0).toLower(), list->topLevelItem(i));

    const auto e = entry(ada(), {"*", "nTSecurityDescriptor"});
    QSet<QString> names;
    for (const auto &[name, value] : e.attributes)
        names.insert(name.toLower());
    for (const QString &name : names) {
        QTreeWidgetItem *row = rows.value(name);
        ASSERT_NE(row, nullptr) << name.toStdString();
        const int count = int(e.values(name).size());
        const int shown = int(row->text(2).split(QStringLiteral(" # ")).size());
        EXPECT_EQ(shown, count) << name.toStdString();
        EXPECT_EQ(row->text(3), count > 1 ? "-1" : "0") << name.toStdString();
    }
    for (const QString &name : rows.keys())
        EXPECT_TRUE(names.contains(name)) << name.toStdString() << " is not in the directory's answer";

    // objectSid as SID text (decoded independently), objectGUID as 32 hexadecimal digits,
    // logon hours as 21 bytes, pictures cut at 65 bytes with their size.
    const QByteArray sid = e.values("objectSid").value(0);
    QStringList sub;
    for (int i = 8; i + 4 <= sid.size(); i += 4)
        sub << QString::number(quint32(uchar(sid[i])) | quint32(uchar(sid[i + 1])) << 8 | quint32(uchar(sid[i + 2])) << 16
                               | quint32(uchar(sid[i + 3])) << 24);
    EXPECT_EQ(rows.value("objectsid")->text(2), QStringLiteral("S-1-%1-").arg(int(uchar(sid[7]))) + sub.join('-'));
    EXPECT_EQ(rows.value("objectguid")->text(2), QString::fromLatin1(e.values("objectGUID").value(0).toHex().toUpper()));
    EXPECT_EQ(rows.value("logonhours")->text(2), QString::fromLatin1(e.values("logonHours").value(0).toHex().toUpper()));
    const QList<QByteArray> photos = e.values("jpegPhoto");
    ASSERT_EQ(photos.size(), 3);
    EXPECT_EQ(rows.value("jpegphoto")->text(2).split(" # ").value(0),
              QString::fromLatin1(photos[0].left(65).toHex().toUpper())
                  + QStringLiteral("..etc... (actual size = %1 bytes)").arg(photos[0].size()));
    EXPECT_EQ(child<QLabel>(d, "lbTotal")->text(), QStringLiteral("Total items:%1").arg(list->topLevelItemCount()));

    // The value viewer lists each value of a multi-valued row.
    QTreeWidgetItem *other = rows.value("othertelephone");
    ASSERT_NE(other, nullptr);
    ui::TfrmMVADSI viewer(other->text(0), other->text(2), other->text(3) == "-1");
    EXPECT_EQ(viewer.windowTitle(), "Property Value(s) for [otherTelephone]");
    QStringList shown;
    for (int i = 0; i < viewer.lvValues->topLevelItemCount(); ++i)
        shown << viewer.lvValues->topLevelItem(i)->text(0);
    QStringList expected;
    for (const QByteArray &v : e.values("otherTelephone"))
        expected << QString::fromUtf8(v);
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(ui::MVADSILines("a#b", false), QStringList{"a#b"});
    EXPECT_EQ(ui::hintOf(child<QToolButton>(d, "sbRawToExcel")).remove(QChar('\r')),
              "RAW Properties to Microsoft Office Excel document");
    // Values of the object-class type are not converted; strings are.
    EXPECT_EQ(userprop::RawValueText("objectClass", ads::ADSTYPE_OBJECT_CLASS, QStringLiteral("top")), "<Unsupported here>");
    EXPECT_EQ(userprop::RawValueText("objectClass", ads::ADSTYPE_CASE_IGNORE_STRING, QStringLiteral("top")), "top");
}

namespace {
// The texts of one column from the top, and whether they run in order without regard to
// case; true in mixed when a text with a capital first letter sorts before one with a small
// one there (so that an order by character codes would differ).
QStringList columnTexts(const QTreeWidget *list, int column)
{
    QStringList out;
    for (int i = 0; i < list->topLevelItemCount(); ++i)
        out << list->topLevelItem(i)->text(column);
    return out;
}
bool inCaselessOrder(const QStringList &texts, bool descending, bool *mixed = nullptr)
{
    for (qsizetype i = 1; i < texts.size(); ++i) {
        const int c = QString::compare(texts[i - 1], texts[i], Qt::CaseInsensitive);
        if (descending ? c < 0 : c > 0)
            return false;
        if (mixed && c != 0 && QString::compare(texts[i - 1], texts[i], Qt::CaseSensitive) * c < 0)
            *mixed = true;
    }
    return true;
}
} // namespace

TEST_F(RawData, HeaderClicksSortTheRawAndSecurityListsWithoutRegardToCase)
{
    TfrmUserProp *d = open(ada());
    d->showTab(TfrmUserProp::RawData);
    auto *raw = child<QTreeWidget>(d, "lvRAW");
    emit raw->header()->sectionClicked(2);
    bool mixed = false;
    EXPECT_TRUE(inCaselessOrder(columnTexts(raw, 2), false, &mixed));
    EXPECT_TRUE(mixed) << "the values hold no texts whose order depends on case";
    emit raw->header()->sectionClicked(2);
    EXPECT_TRUE(inCaselessOrder(columnTexts(raw, 2), true));

    d->showTab(TfrmUserProp::Security);
    auto *security = d->findChild<userprop::TUserSecurityPage *>(QStringLiteral("tsSecurity"));
    ASSERT_NE(security, nullptr);
    userprop::TfrmAdvancedAttributes adv(d->userObject(), security->descriptor(),
                                         userprop::TfrmAdvancedAttributes::DirectoryObject);
    auto *permissions = adv.findChild<QTreeWidget *>(QStringLiteral("lvPermissions"));
    ASSERT_NE(permissions, nullptr);
    const int applyTo = 4;
    ASSERT_EQ(permissions->headerItem()->text(applyTo), "Apply To");
    emit permissions->header()->sectionClicked(applyTo);
    mixed = false;
    EXPECT_TRUE(inCaselessOrder(columnTexts(permissions, applyTo), false, &mixed));
    EXPECT_TRUE(mixed) << "no \"This object ...\" next to an object type with a small letter";
}

TEST_F(RawData, OtherTelephoneEditorRoundTripsValuesAndAnEmptyList)
{
    const QString dn = createUser("up-other", {{"otherTelephone", QVariantList{"+1 111", "+1 222"}}});
    TfrmUserProp *d = open(dn);
    d->showTab(TfrmUserProp::Telephones);
    EXPECT_TRUE(child<QPushButton>(d, "btOtherHomePhone")->isEnabled());
    d->showTab(TfrmUserProp::General);
    EXPECT_TRUE(child<QPushButton>(d, "btTelephoneNumberOther")->isEnabled());

    {
        userprop::TfrmBussPhone ed(d->userObject(), "otherTelephone", 6, true, adminConnection());
        EXPECT_EQ(ed.windowTitle(), "Phone Number (Others)");
        ASSERT_EQ(ed.values(), (QStringList{"+1 111", "+1 222"}));
        EXPECT_FALSE(ed.btOK->isEnabled());
        ed.ebNewValue->setText("  +1 333  ");
        ed.btAdd->click();
        ed.lvOtherPhone->setCurrentItem(ed.lvOtherPhone->topLevelItem(0));
        ed.btRemove->click();
        ed.lvOtherPhone->topLevelItem(0)->setText(0, "+1 222-9"); // edited in place
        ASSERT_TRUE(ed.btOK->isEnabled());
        ed.btOKClick();
        EXPECT_TRUE(ed.wrote());
    }
    QStringList stored;
    for (const QByteArray &v : entry(dn, {"otherTelephone"}).values("otherTelephone"))
        stored << QString::fromUtf8(v);
    std::sort(stored.begin(), stored.end());
    EXPECT_EQ(stored, (QStringList{"+1 222-9", "+1 333"}));

    {
        userprop::TfrmBussPhone ed(d->userObject(), "otherTelephone", 6, true, adminConnection());
        ASSERT_EQ(ed.values().size(), 2); // the dialog's object shows what was written
        while (ed.lvOtherPhone->topLevelItemCount() > 0) {
            ed.lvOtherPhone->setCurrentItem(ed.lvOtherPhone->topLevelItem(0));
            ed.btRemove->click();
        }
        ed.btOKClick();
        EXPECT_TRUE(ed.wrote());
    }
    EXPECT_TRUE(entry(dn, {"otherTelephone"}).values("otherTelephone").isEmpty());
}

TEST_F(RawData, RefusedOtherValuesLeaveTheDirectoryAndTheDialogsObjectUnchanged)
{
    const QString dn = createUser("up-otherro", {{"otherPager", QVariantList{"555"}}});
    const testsupport::Account del = testsupport::Account::delegate();
    const auto asDelegate = connectionAs(del.bindName, QString::fromUtf8(del.password));
    TfrmUserProp *d = open(dn, asDelegate);
    {
        // Not writable: the list and its buttons are disabled.
        userprop::TfrmBussPhone ro(d->userObject(), "otherPager", 34, false, asDelegate);
        EXPECT_FALSE(ro.lvOtherPhone->isEnabled());
        EXPECT_FALSE(ro.btAdd->isEnabled());
        EXPECT_EQ(ro.values(), QStringList{"555"});
    }
    userprop::TfrmBussPhone ed(d->userObject(), "otherPager", 34, true, asDelegate);
    ed.ebNewValue->setText("666");
    ed.btAdd->click();
    ed.btOKClick();
    if (d->writable("otherPager")) {
        GTEST_SKIP() << "the delegated account may write otherPager here";
    }
    EXPECT_FALSE(ed.wrote());
    EXPECT_EQ(prompts.messages().size(), 1);
    EXPECT_EQ(entry(dn, {"otherPager"}).values("otherPager").size(), 1);
    // Nothing of the refused write stays staged on the dialog's object.
    typeInto(child<QLineEdit>(d, "ebDescription"), "x");
    d->Apply();
    EXPECT_EQ(entry(dn, {"otherPager"}).values("otherPager").size(), 1);
}

TEST_F(RawData, RawAndSecurityListsGoToAWorkbookWithoutTheHiddenColumn)
{
    QStringList opened;
    office::setOpenWithDesktopHook([&](const QString &path) {
        opened << path;
        return true;
    });
    TfrmUserProp *d = open(ada());
    d->showTab(TfrmUserProp::RawData);
    auto *page = d->findChild<userprop::TRawDataPage *>();
    ASSERT_NE(page, nullptr);
    page->sbRawToExcelClick();
    d->showTab(TfrmUserProp::Security);
    auto *security = d->findChild<userprop::TUserSecurityPage *>(QStringLiteral("tsSecurity"));
    ASSERT_NE(security, nullptr);
    userprop::TfrmAdvancedAttributes adv(d->userObject(), security->descriptor(),
                                         userprop::TfrmAdvancedAttributes::DirectoryObject);
    adv.pcAdvanced->setCurrentIndex(3);
    adv.sbToExcelClick();
    office::setOpenWithDesktopHook({});
    ASSERT_EQ(opened.size(), 2);

    auto read = [](const QString &path) {
        QProcess p;
        p.start(QStringLiteral("/usr/bin/python3"),
                {QStringLiteral("-c"), QStringLiteral("import sys, openpyxl\n"
                                                      "ws = openpyxl.load_workbook(sys.argv[1]).active\n"
                                                      "for r in ws.iter_rows(values_only=True):\n"
                                                      "    print('\\t'.join('' if v is None else str(v).replace('_x000D_', '').replace('\\n', '\\\\n') for v in r))\n"),
                 path});
        EXPECT_TRUE(p.waitForFinished(60000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'));
    };
    auto compare = [](const QStringList &lines, const QTreeWidget *list, const QString &header) {
        const int n = list->topLevelItemCount();
        ASSERT_GE(lines.size(), n + 5);
        EXPECT_EQ(lines[1], header);
        for (int i = 0; i < n; ++i) {
            QStringList cells;
            for (int c = 0; c < list->columnCount(); ++c)
                if (!list->isColumnHidden(c))
                    cells << list->topLevelItem(i)->text(c);
            // Line breaks inside a cell come back escaped, one row per line (the CR of a CR LF
            // pair is stored as the escape _x000D_, which the reader leaves as it is).
            QString expected = cells.join('\t');
            expected.remove(QLatin1Char('\r')).replace(QLatin1String("\n"), QLatin1String("\\n"));
            EXPECT_EQ(QString(lines[i + 2]).remove(QLatin1Char('\r')).toStdString(), expected.toStdString()) << i;
        }
    };
    compare(read(opened[0]), page->lvRAW, "ldapName\tProperty Type\tProperty Value");
    compare(read(opened[1]), adv.lvRaw, "Trustree\tAccessMask\tAceType\tAceFlags\tFlags\tObjectType\tInheritedObjectType");
}
