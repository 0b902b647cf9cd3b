// The export window's options without a directory: defaults on every show, the tabs and the
// file extension of each type, the batch size bounds, colour templates, colour picks, .htf
// template files, and the existing tables of an entered workbook.
#include "bulk/unExportFormat.h"
#include "platform/office/workbook.h"
#include "support/pipewatch.h"
#include "ui/prompt.h"

#include <QComboBox>
#include <QListWidget>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QStringList tabTexts(const QTabWidget *t)
{
    QStringList out;
    for (int i = 0; i < t->count(); ++i)
        out << t->tabText(i);
    return out;
}

TEST(ExportFormatWindow, TypesShowTheirTabsAndOptionsReturnToDefaultsOnShow)
{
    TfrmExportFormat w;
    bulk::ExportRequest req;
    w.setRequest(req);
    w.show();
    auto *tabs = w.findChild<QTabWidget *>(QStringLiteral("pcOptions"));
    auto *file = w.findChild<QLineEdit *>(QStringLiteral("edFileName"));
    EXPECT_EQ(tabTexts(tabs), (QStringList{QStringLiteral("&Options"), QStringLiteral("&Formats"), QStringLiteral("&CSV Options ")}));
    file->setText(QStringLiteral("/tmp/out.csv"));
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_3"))->click();
    EXPECT_EQ(file->text(), QStringLiteral("/tmp/out.htm"));
    EXPECT_EQ(tabTexts(tabs), (QStringList{QStringLiteral("&Options"), QStringLiteral("&Formats"), QStringLiteral("&HTML Options")}));
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_4"))->click();
    EXPECT_EQ(file->text(), QStringLiteral("/tmp/out.xlsx"));
    EXPECT_EQ(tabTexts(tabs), (QStringList{QStringLiteral("&Options"), QStringLiteral("&Excel Options")}));

    auto *batch = w.findChild<QLineEdit *>(QStringLiteral("ebBatchSize"));
    batch->setText(QStringLiteral("5000"));
    Q_EMIT batch->editingFinished();
    EXPECT_EQ(batch->text(), QStringLiteral("1000"));
    batch->setText(QStringLiteral("7"));
    Q_EMIT batch->editingFinished();
    EXPECT_EQ(batch->text(), QStringLiteral("10"));
    w.findChild<QLineEdit *>(QStringLiteral("edExportRecCount"))->setText(QStringLiteral("25"));
    EXPECT_TRUE(w.findChild<QRadioButton *>(QStringLiteral("rbExportOnly"))->isChecked());
    EXPECT_EQ(w.options().exportOnly, 25);

    w.hide();
    w.show();
    const bulk::ExportOptions o = w.options();
    EXPECT_EQ(o.type, bulk::ExportType::Csv);
    EXPECT_TRUE(o.fileName.isEmpty());
    EXPECT_EQ(o.batchSize, 100);
    EXPECT_EQ(o.exportOnly, 0);
    EXPECT_TRUE(o.unicode);
    EXPECT_TRUE(o.includeDN);
    EXPECT_EQ(o.nullString, QStringLiteral("null"));
    EXPECT_EQ(o.csvQuote, QStringLiteral("'"));
    EXPECT_EQ(o.xmlEncoding, QStringLiteral("Windows-1252"));
    // The HTML tab's encoding is the same value: typed there, it is what the XML tab and the
    // export use.
    auto *htmlEncoding = w.findChild<QLineEdit *>(QStringLiteral("ebHTMLEncoding"));
    ASSERT_NE(htmlEncoding, nullptr);
    EXPECT_EQ(htmlEncoding->text(), QStringLiteral("Windows-1252"));
    htmlEncoding->setText(QStringLiteral("UTF-8"));
    EXPECT_EQ(w.findChild<QLineEdit *>(QStringLiteral("edXMLEncoding"))->text(), QStringLiteral("UTF-8"));
    EXPECT_EQ(w.options().xmlEncoding, QStringLiteral("UTF-8"));
    EXPECT_EQ(o.htmlCellPadding, 4);
    EXPECT_FALSE(o.dateTimeFormat.isEmpty());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Export.."));
}

TEST(ExportFormatWindow, TemplatesColourPicksAndTemplateFiles)
{
    QTemporaryDir dir;
    ui::ScriptedPrompts prompts;
    TfrmExportFormat w;
    w.setRequest({});
    w.show();
    auto *tpl = w.findChild<QComboBox *>(QStringLiteral("cbxHTMLTemplate"));
    tpl->setCurrentText(QStringLiteral("Gray"));
    EXPECT_EQ(w.htmlColours().headerBackground, 0x808080u);
    EXPECT_EQ(w.htmlColours().oddRows, 0xEEEEEEu);
    // A pick sets the colour (red in the low byte) and makes the choice "Custom".
    w.setColourPicker([](QWidget *, QColor &c) {
        c = QColor(0x12, 0x34, 0x56);
        return true;
    });
    w.findChild<QPushButton *>(QStringLiteral("pnHTMLColour6"))->click();
    EXPECT_EQ(w.htmlColours().oddRows, 0x563412u);
    EXPECT_EQ(tpl->currentText(), QStringLiteral("Custom"));
    EXPECT_EQ(w.options().colours.oddRows, 0x563412u);

    const QString htf = dir.filePath(QStringLiteral("mine.htf"));
    prompts.answer(ui::ScriptedAnswer::file(htf));
    w.findChild<QPushButton *>(QStringLiteral("btSaveTemplate"))->click();
    tpl->setCurrentText(QStringLiteral("Classic"));
    EXPECT_NE(w.htmlColours().oddRows, 0x563412u);
    prompts.answer(ui::ScriptedAnswer::file(htf));
    w.findChild<QPushButton *>(QStringLiteral("btLoadTemplate"))->click();
    EXPECT_EQ(w.htmlColours().oddRows, 0x563412u);
    EXPECT_EQ(w.htmlColours().headerBackground, 0x808080u);
    EXPECT_EQ(tpl->currentText(), QStringLiteral("Custom"));
}

// Typing a file name opens nothing, whatever the name typed so far names; the entered name
// of a workbook is read off the window's thread, and a pipe under that name is refused
// unopened.
TEST(ExportFormatWindow, AnExistingWorkbookIsReadWhenItsNameIsEnteredNotWhileTyping)
{
    QTemporaryDir dir;
    const QString book = dir.filePath(QStringLiteral("book.xlsx"));
    {
        office::WorkbookWriter wb(book);
        QString error;
        ASSERT_TRUE(wb.addSheet(QStringLiteral("Existing"), &error));
        wb.writeString(0, 0, QStringLiteral("x"));
        ASSERT_TRUE(wb.close(&error)) << error.toStdString();
    }
    // On the way to "book.xlsx" the name passes "book.xls": a pipe.
    const QString pipe = dir.filePath(QStringLiteral("book.xls"));
    testsupport::PipeWatch watch(pipe);
    ASSERT_TRUE(watch.made());
    ui::ScriptedPrompts prompts;
    prompts.respond([](const ui::PromptRecord &) { return ui::ScriptedAnswer(ui::Button::Ok); });
    TfrmExportFormat w;
    w.setRequest({});
    w.show();
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_4"))->click();
    auto *file = w.findChild<QLineEdit *>(QStringLiteral("edFileName"));
    auto *tables = w.findChild<QListWidget *>(QStringLiteral("lbTableNames"));
    ASSERT_TRUE(file && tables);
    QSignalSpy checked(&w, &TfrmExportFormat::tablesChecked);
    file->setFocus();
    QTest::keyClicks(file, book);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_TRUE(prompts.messages().isEmpty()) << prompts.messages().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(tables->count(), 0);
    EXPECT_EQ(checked.count(), 0);
    QTest::keyClick(file, Qt::Key_Return);
    ASSERT_TRUE(checked.wait(60000));
    ASSERT_EQ(tables->count(), 1);
    EXPECT_EQ(tables->item(0)->text(), QStringLiteral("Existing"));
    EXPECT_TRUE(prompts.messages().isEmpty());

    // The pipe's own name entered: refused with the reason, never opened.
    file->setText(pipe);
    QTest::keyClick(file, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.messages().isEmpty(); }, 60000));
    EXPECT_TRUE(prompts.messages().at(0).contains(QStringLiteral("is not a regular file"))) << prompts.messages().at(0).toStdString();
    EXPECT_FALSE(watch.opened());
    EXPECT_EQ(tables->count(), 0);
}

}  // namespace
