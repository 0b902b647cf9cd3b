// The grid's workbook and save dialogs under a unit whose name looks like a path: the name
// comes from the directory and never chooses where a file goes; a workbook that cannot be
// written says why.
#include "mainwindow_support.h"

#include "main/unGridOutput.h"
#include "main/unMain.h"
#include "platform/office/workbook.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"
#include "ui/prompt.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTreeWidget>
#include <gtest/gtest.h>

using namespace mwtest;

namespace {

QTreeWidgetItem *childNamed(QTreeWidgetItem *parent, const QString &text)
{
    for (int i = 0; i < parent->childCount(); ++i)
        if (parent->child(i)->text(0) == text)
            return parent->child(i);
    return nullptr;
}

// A scratch unit beside Staff, removed again when the test ends.
struct ScratchUnit {
    QString dn;
    explicit ScratchUnit(const QString &name) : dn(QStringLiteral("OU=") + name + QLatin1Char(',') + testsupport::fact("SEED_OU"))
    {
        remove();
        const auto r = testsupport::ldapModify(("dn: " + dn + "\nchangetype: add\nobjectClass: organizationalUnit\n").toUtf8());
        EXPECT_EQ(r.exitCode, 0) << r.err.toStdString();
    }
    ~ScratchUnit() { remove(); }
    void remove() { testsupport::ldapModify(("dn: " + dn + "\nchangetype: delete\n").toUtf8()); }
};

TEST(MainWindowDomain, GridOutputsNeverTakeAFolderFromAUnitsName)
{
    ARV_REQUIRE_DOMAIN();
    const QString name = QStringLiteral("../../arv grid/out");
    ScratchUnit unit(name);
    TempSettings store;
    ASSERT_TRUE(SaveConnectionSettings(domainSettings()));
    ui::ScriptedPrompts script;
    TfrmMain w;
    gridoutput::wireMainWindow(w);
    w.acConnectExecute();
    ASSERT_TRUE(waitFor([&] { return !w.schemaThreadsRunning(); }, 120000));
    QTreeWidgetItem *seed = childNamed(w.tree()->topLevelItem(0), QStringLiteral("Arvendel"));
    ASSERT_NE(seed, nullptr);
    w.tree()->setCurrentItem(seed);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 30000));
    QTreeWidgetItem *node = childNamed(seed, name);
    ASSERT_NE(node, nullptr);
    w.tree()->setCurrentItem(node);
    ASSERT_TRUE(waitFor([&] { return !w.Busy(); }, 30000));

    QStringList opened;
    office::setOpenWithDesktopHook([&](const QString &path) {
        opened << path;
        return true;
    });
    auto *excel = w.findChild<QAction *>(QStringLiteral("tbExportToExcel"));
    ASSERT_NE(excel, nullptr);
    excel->setEnabled(true);  // whether a spreadsheet application is registered is not the point
    excel->trigger();
    EXPECT_TRUE(script.messages().isEmpty()) << script.messages().join(QLatin1Char('|')).toStdString();
    ASSERT_EQ(opened.size(), 1);
    const QString folder = QFileInfo(office::privateOutputFolder()).canonicalFilePath();
    EXPECT_EQ(QFileInfo(opened.at(0)).canonicalPath(), folder) << opened.at(0).toStdString();
    QProcess py;
    py.start(QStringLiteral("/usr/bin/python3"), {qEnvironmentVariable("ARV_SOURCE_DIR") + QStringLiteral("/tests/unit/bulk/readback.py"),
                                                   QStringLiteral("xlsx"), opened.at(0)});
    ASSERT_TRUE(py.waitForFinished(60000));
    EXPECT_EQ(py.exitCode(), 0) << py.readAllStandardError().toStdString();
    EXPECT_TRUE(py.readAllStandardOutput().contains("\"DN\""));

    // A workbook that cannot be written says why, not that no spreadsheet application exists.
    ASSERT_TRUE(QDir(folder).removeRecursively());
    excel->trigger();
    ASSERT_TRUE(QDir().mkpath(folder));
    QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ASSERT_EQ(script.messages().size(), 1);
    EXPECT_TRUE(script.messages().at(0).contains(QStringLiteral("does not exist"))) << script.messages().at(0).toStdString();
    EXPECT_EQ(opened.size(), 1);
    office::setOpenWithDesktopHook({});

    // The save dialogs are preset with the unit's name as a plain file name.
    script.answer(ui::ScriptedAnswer::cancel());
    w.findChild<QAction *>(QStringLiteral("tbSaveAsCSV"))->trigger();
    ASSERT_FALSE(script.asked().isEmpty());
    EXPECT_EQ(script.asked().last().initial, QStringLiteral(".._.._arv grid_out"));
}

}  // namespace
