// Exports of the seeded users against the test domain, read back by independent readers and
// compared with ldapsearch; the export window driven by its control names; failures of the
// destination and of the server through arvendel-cli.
#include "bulk/exportengine.h"
#include "bulk/unExportFormat.h"
#include "export_support.h"
#include "core/unConnection.h"
#include "platform/adsi/adspath.h"
#include "platform/adsi/adstypes.h"
#include "support/ldaptools.h"
#include "support/testdomain.h"
#include "bulk/unColumnSets.h"
#include "platform/registry/registry.h"
#include "ui/prompt.h"

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using testsupport::fact;

namespace {

const QString kUsers = QStringLiteral("(&(objectCategory=person)(objectClass=user))");

using exporttest::connectAsAdmin;
using exporttest::readBack;

// distinguishedName -> column texts, from an export's rows (first column the DN).
QHash<QString, QStringList> byDn(const QJsonObject &j)
{
    QHash<QString, QStringList> out;
    for (const auto &r : j.value(QStringLiteral("rows")).toArray()) {
        QStringList cells;
        for (const auto &v : r.toArray())
            cells << (v.isNull() ? QString() : v.toString());
        out.insert(cells.value(0).toLower(), cells);
    }
    return out;
}

class ExportDomain : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        connectAsAdmin();
        ASSERT_FALSE(ConnectionContext().DomainPath.isEmpty());
        ASSERT_TRUE(dir.isValid());
        seedOu = fact("SEED_OU");
        request.columns = bulk::columnsFromNames({QStringLiteral("cn"), QStringLiteral("description"), QStringLiteral("memberOf"),
                                                  QStringLiteral("logonCount"), QStringLiteral("userPrincipalName")});
        request.base = ConnectionContext().ServerPrefix + ads::escapePathDn(seedOu);
        request.scope = ads::ADS_SCOPE_SUBTREE;
        request.filter = kUsers;
    }
    // The same users and values as ldapsearch: every user once, text values equal.
    void expectSameAsLdapsearch(const QHash<QString, QStringList> &got, const QString &multiSep)
    {
        const auto entries = testsupport::ldapSearch(seedOu, kUsers, {QStringLiteral("cn"), QStringLiteral("memberOf"),
                                                                       QStringLiteral("userPrincipalName")});
        ASSERT_GT(entries.size(), 50);
        EXPECT_EQ(got.size(), entries.size());
        int checked = 0;
        for (const auto &e : entries) {
            const QStringList row = got.value(e.dn.toLower());
            ASSERT_EQ(row.size(), 6) << e.dn.toStdString();
            EXPECT_EQ(row.at(1), e.text(QStringLiteral("cn")));
            QStringList groups;
            for (const QByteArray &g : e.values(QStringLiteral("memberOf")))
                groups << QString::fromUtf8(g);
            if (!groups.isEmpty()) {
                QStringList exported = row.at(3).split(multiSep);
                std::sort(exported.begin(), exported.end());
                std::sort(groups.begin(), groups.end());
                EXPECT_EQ(exported, groups) << e.dn.toStdString();
            }
            ++checked;
        }
        EXPECT_EQ(checked, entries.size());
    }
    QTemporaryDir dir;
    QString seedOu;
    bulk::ExportRequest request;
};

TEST_F(ExportDomain, CsvWorkbookAndDatabaseHoldTheSameUsersAsLdapsearch)
{
    bulk::ExportOptions csv;
    csv.fileName = dir.filePath(QStringLiteral("users.csv"));
    const bulk::ExportResult r = bulk::ExportEngine().run(request, csv);
    ASSERT_TRUE(r.ok) << r.error.toStdString();
    const QJsonObject c = readBack({QStringLiteral("csv"), csv.fileName, QStringLiteral("utf-16")});
    EXPECT_EQ(c.value(QStringLiteral("header")).toArray().at(0).toString(), QStringLiteral("distinguishedName"));
    expectSameAsLdapsearch(byDn(c), QStringLiteral("|"));

    bulk::ExportOptions xlsx;
    xlsx.type = bulk::ExportType::Workbook;
    xlsx.fileName = dir.filePath(QStringLiteral("users.xlsx"));
    xlsx.tableName = QStringLiteral("Users");
    ASSERT_TRUE(bulk::ExportEngine().run(request, xlsx).ok);
    expectSameAsLdapsearch(byDn(readBack({QStringLiteral("xlsx"), xlsx.fileName, QStringLiteral("Users")})), QStringLiteral("\n"));

    bulk::ExportOptions db;
    db.type = bulk::ExportType::Database;
    db.fileName = dir.filePath(QStringLiteral("users.sqlite"));
    db.tableName = QStringLiteral("Users");
    ASSERT_TRUE(bulk::ExportEngine().run(request, db).ok);
    expectSameAsLdapsearch(byDn(readBack({QStringLiteral("sqlite"), db.fileName, QStringLiteral("Users")})), QStringLiteral("\r\n"));
}

TEST_F(ExportDomain, XmlDialectsAndHtmlParseWithEveryUser)
{
    const int users = testsupport::ldapCount(seedOu, kUsers);
    for (int xmlType : {0, 1}) {
        bulk::ExportOptions o;
        o.type = bulk::ExportType::Xml;
        o.xmlType = xmlType;
        o.fileName = dir.filePath(QStringLiteral("u%1.xml").arg(xmlType));
        ASSERT_TRUE(bulk::ExportEngine().run(request, o).ok);
        const QJsonObject j = readBack({xmlType ? QStringLiteral("ado-xml") : QStringLiteral("xml"), o.fileName});
        EXPECT_EQ(j.value(QStringLiteral("rows")).toArray().size(), users);
    }
    bulk::ExportOptions h;
    h.type = bulk::ExportType::Html;
    h.fileName = dir.filePath(QStringLiteral("u.htm"));
    ASSERT_TRUE(bulk::ExportEngine().run(request, h).ok);
    EXPECT_EQ(readBack({QStringLiteral("html"), h.fileName, QStringLiteral("utf-16")}).value(QStringLiteral("rows")).toArray().size(), users);
}

TEST_F(ExportDomain, TheWindowExportsAndStops)
{
    ui::ScriptedPrompts prompts;
    TfrmExportFormat w;
    request.sourceText = QStringLiteral("Selected [Arvendel]");
    w.setRequest(request);
    w.show();
    auto *file = w.findChild<QLineEdit *>(QStringLiteral("edFileName"));
    auto *start = w.findChild<QPushButton *>(QStringLiteral("bStart"));
    ASSERT_TRUE(file && start);
    EXPECT_FALSE(start->isEnabled());
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Export.."));
    file->setText(dir.filePath(QStringLiteral("w.csv")));
    EXPECT_EQ(w.windowTitle(), QStringLiteral("Export to w.csv.."));
    ASSERT_TRUE(start->isEnabled());
    w.findChild<QCheckBox *>(QStringLiteral("cbUseUNICODE"))->setChecked(false);
    // Choosing SQL changes the file's extension.
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_1"))->click();
    EXPECT_EQ(file->text(), dir.filePath(QStringLiteral("w.sql")));
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_0"))->click();
    start->click();
    ASSERT_TRUE(w.lastResult().ok) << w.lastResult().error.toStdString();
    EXPECT_EQ(w.lastResult().written, testsupport::ldapCount(seedOu, kUsers));

    // Stop from inside the run: the button's second click is seen after the current row.
    file->setText(dir.filePath(QStringLiteral("stopped.xml")));
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_2"))->click();
    int clicks = 0;
    QTimer::singleShot(0, &w, [&] {
        ++clicks;
        start->click();  // second click while running: stop
    });
    start->click();
    EXPECT_EQ(clicks, 1);
    EXPECT_TRUE(w.lastResult().ok);
    EXPECT_TRUE(w.lastResult().stopped);
    EXPECT_LT(w.lastResult().written, testsupport::ldapCount(seedOu, kUsers));
    EXPECT_EQ(readBack({QStringLiteral("xml"), file->text()}).value(QStringLiteral("rows")).toArray().size(), w.lastResult().written);
}

// A Unicode XML export declares UTF-16 for itself; the window's encoding field keeps what
// the user set, so the 8-bit XML and HTML files after it declare the code page they are in.
TEST_F(ExportDomain, AnEightBitFileAfterAUnicodeXmlExportDeclaresItsOwnEncoding)
{
    ui::ScriptedPrompts prompts;
    prompts.respond([](const ui::PromptRecord &) { return ui::ScriptedAnswer(ui::Button::Ok); });
    TfrmExportFormat w;
    w.setRequest(request);
    w.show();
    auto *file = w.findChild<QLineEdit *>(QStringLiteral("edFileName"));
    auto *encoding = w.findChild<QLineEdit *>(QStringLiteral("edXMLEncoding"));
    auto *unicode = w.findChild<QCheckBox *>(QStringLiteral("cbUseUNICODE"));
    auto *start = w.findChild<QPushButton *>(QStringLiteral("bStart"));
    ASSERT_TRUE(file && encoding && unicode && start);
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_2"))->click();
    file->setText(dir.filePath(QStringLiteral("wide.xml")));
    unicode->setChecked(true);
    start->click();
    ASSERT_TRUE(w.lastResult().ok) << w.lastResult().error.toStdString();
    EXPECT_EQ(encoding->text(), QStringLiteral("Windows-1252"));
    const int users = int(readBack({QStringLiteral("xml"), file->text()}).value(QStringLiteral("rows")).toArray().size());
    EXPECT_EQ(users, testsupport::ldapCount(seedOu, kUsers));

    unicode->setChecked(false);
    file->setText(dir.filePath(QStringLiteral("narrow.xml")));
    start->click();
    ASSERT_TRUE(w.lastResult().ok) << w.lastResult().error.toStdString();
    EXPECT_EQ(readBack({QStringLiteral("xml"), file->text()}).value(QStringLiteral("rows")).toArray().size(), users);

    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_3"))->click();
    start->click();
    ASSERT_TRUE(w.lastResult().ok) << w.lastResult().error.toStdString();
    QFile page(file->text());
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    EXPECT_TRUE(page.readAll().contains("charset=windows-1252"));
    EXPECT_EQ(readBack({QStringLiteral("html"), file->text(), QStringLiteral("cp1252")}).value(QStringLiteral("rows")).toArray().size(),
              users);
}

TEST_F(ExportDomain, TableStoresCheckNamesListTablesAndRefuseAHeldWorkbook)
{
    ui::ScriptedPrompts prompts;
    prompts.respond([](const ui::PromptRecord &) { return ui::ScriptedAnswer(ui::Button::Ok); });
    TfrmExportFormat w;
    w.setRequest(request);
    w.show();
    auto *file = w.findChild<QLineEdit *>(QStringLiteral("edFileName"));
    auto *table = w.findChild<QLineEdit *>(QStringLiteral("ebEcxelTableName"));
    auto *tables = w.findChild<QListWidget *>(QStringLiteral("lbTableNames"));
    auto *start = w.findChild<QPushButton *>(QStringLiteral("bStart"));
    ASSERT_TRUE(file && table && tables && start);
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_5"))->click();
    EXPECT_FALSE(w.findChild<QCheckBox *>(QStringLiteral("cbUseUNICODE"))->isVisibleTo(&w));
    file->setText(dir.filePath(QStringLiteral("t.sqlite")));
    EXPECT_FALSE(start->isEnabled());  // no table name yet
    table->setText(QStringLiteral("a.b"));
    Q_EMIT table->textEdited(table->text());
    EXPECT_FALSE(start->isEnabled());
    ASSERT_FALSE(prompts.asked().isEmpty());
    EXPECT_TRUE(prompts.asked().last().text.startsWith(QStringLiteral("Table name can include any combination")));
    table->setText(QStringLiteral("Users"));
    Q_EMIT table->textEdited(table->text());
    ASSERT_TRUE(start->isEnabled());
    start->click();
    ASSERT_TRUE(w.lastResult().ok) << w.lastResult().error.toStdString();
    // Done: the table is listed (read off the window's thread) and Start waits for another name.
    ASSERT_TRUE(QTest::qWaitFor([&] { return tables->count() == 1; }, 60000));
    EXPECT_EQ(tables->item(0)->text(), QStringLiteral("Users"));
    EXPECT_FALSE(start->isEnabled());
    table->setText(QStringLiteral("users"));
    Q_EMIT table->textEdited(table->text());
    EXPECT_FALSE(start->isEnabled());
    table->setText(QStringLiteral("Second"));
    Q_EMIT table->textEdited(table->text());
    EXPECT_TRUE(start->isEnabled());

    // A workbook another application holds open.
    w.findChild<QRadioButton *>(QStringLiteral("rgExportType_4"))->click();
    bulk::ExportOptions o;
    o.type = bulk::ExportType::Workbook;
    o.fileName = dir.filePath(QStringLiteral("held.xlsx"));
    o.tableName = QStringLiteral("Mine");
    ASSERT_TRUE(bulk::ExportEngine().write({}, o, [](QVariantList *) { return false; }).ok);
    QFile lock(dir.filePath(QStringLiteral(".~lock.held.xlsx#")));
    ASSERT_TRUE(lock.open(QIODevice::WriteOnly));
    lock.close();
    prompts.clear();
    file->setText(o.fileName);
    QTest::keyClick(file, Qt::Key_Return);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !prompts.asked().isEmpty(); }, 60000));
    EXPECT_TRUE(prompts.asked().last().text.endsWith(QStringLiteral("If file is opened, please first close it!")));
}

// arvendel-cli export as a child process.
class ExportCli : public ::testing::Test {
protected:
    void SetUp() override
    {
        ARV_REQUIRE_DOMAIN();
        ASSERT_TRUE(dir.isValid());
        pw = dir.filePath(QStringLiteral("pw"));
        QFile f(pw);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(fact("ADMIN_PASSWORD").toUtf8());
        f.close();
        f.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    }
    int run(const QStringList &more, QString *err = nullptr, const QString &shellPrefix = {}, const QStringList &server = {})
    {
        QStringList args{QStringLiteral("export")};
        args += server.isEmpty() ? QStringList{QStringLiteral("--server"), fact("ADDR")} : server;
        args += QStringList{QStringLiteral("--simple"),
                         QStringLiteral("--user"), fact("ADMIN_USER"), QStringLiteral("--password-file"), pw,
                         QStringLiteral("--base"), fact("SEED_OU")};
        if (!more.contains(QStringLiteral("--column-set")))
            args += QStringList{QStringLiteral("--columns"), QStringLiteral("cn,description,memberOf")};
        args += more;
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ARV_SETTINGS_FILE"), dir.filePath(QStringLiteral("registry.ini")));
        env.insert(QStringLiteral("LDAPTLS_CACERT"), fact("CA_FILE"));
        env.insert(QStringLiteral("KRB5_CONFIG"), fact("KRB5_CONFIG"));
        p.setProcessEnvironment(env);
        if (shellPrefix.isEmpty()) {
            p.start(QStringLiteral(ARV_CLI_PATH), args);
        } else {
            QStringList quoted;
            for (const QString &a : args)
                quoted << QLatin1Char('\'') + QString(a).replace(QLatin1Char('\''), QStringLiteral("'\\''")) + QLatin1Char('\'');
            p.start(QStringLiteral("/bin/bash"), {QStringLiteral("-c"), shellPrefix + QStringLiteral(" exec '") +
                                                                          QStringLiteral(ARV_CLI_PATH) + QStringLiteral("' ") + quoted.join(QLatin1Char(' '))});
        }
        EXPECT_TRUE(p.waitForFinished(120000));
        if (err)
            *err = QString::fromUtf8(p.readAllStandardError());
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QTemporaryDir dir;
    QString pw;
};

TEST_F(ExportCli, WritesEachFormatAndFailsClearlyOnABadDestination)
{
    const int users = testsupport::ldapCount(fact("SEED_OU"), kUsers);
    ASSERT_EQ(run({QStringLiteral("--output"), dir.filePath(QStringLiteral("a.sqlite")), QStringLiteral("--table"), QStringLiteral("U")}), 0);
    EXPECT_EQ(readBack({QStringLiteral("sqlite"), dir.filePath(QStringLiteral("a.sqlite")), QStringLiteral("U")})
                  .value(QStringLiteral("rows")).toArray().size(), users);

    QString err;
    EXPECT_EQ(run({QStringLiteral("--output"), dir.filePath(QStringLiteral("no/such/dir/a.csv"))}, &err), 1);
    EXPECT_TRUE(err.contains(QStringLiteral("Cannot create file"))) << err.toStdString();
}

TEST_F(ExportCli, ATemplateFileCannotPutScriptIntoThePage)
{
    const QString htf = dir.filePath(QStringLiteral("hostile.htf"));
    QFile f(htf);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("[HTML options]\r\nFont-family=Arial;}</STYLE><script>alert(1)</script><STYLE>x{\r\n");
    f.close();
    const QString out = dir.filePath(QStringLiteral("t.htm"));
    QString err;
    ASSERT_EQ(run({QStringLiteral("--html-template-file"), htf, QStringLiteral("--output"), out}, &err), 0) << err.toStdString();
    const QJsonObject j = readBack({QStringLiteral("html"), out});
    EXPECT_FALSE(j.value(QStringLiteral("tags")).toVariant().toStringList().contains(QStringLiteral("script")));
    EXPECT_EQ(j.value(QStringLiteral("rows")).toArray().size(), testsupport::ldapCount(fact("SEED_OU"), kUsers));
}

TEST_F(ExportCli, AFullDiskLeavesNoFileThatLooksComplete)
{
    // A file-size limit of 8 KiB makes every write beyond it fail as on a full disk.
    QString err;
    const QString out = dir.filePath(QStringLiteral("full.csv"));
    EXPECT_EQ(run({QStringLiteral("--output"), out}, &err, QStringLiteral("ulimit -f 8;")), 1);
    EXPECT_FALSE(err.isEmpty());
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".full.csv*")}, QDir::Files | QDir::Hidden).size(), 0);

    const QString book = dir.filePath(QStringLiteral("full.xlsx"));
    EXPECT_EQ(run({QStringLiteral("--output"), book, QStringLiteral("--table"), QStringLiteral("U")}, &err,
                  QStringLiteral("ulimit -f 8;")), 1);
    EXPECT_FALSE(QFile::exists(book));
}

TEST_F(ExportCli, SavedQueryAndColumnSetChooseRowsAndColumns)
{
    QProcess save;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("ARV_SETTINGS_FILE"), dir.filePath(QStringLiteral("registry.ini")));
    save.setProcessEnvironment(env);
    save.start(QStringLiteral(ARV_CLI_PATH), {QStringLiteral("query"), QStringLiteral("save"), QStringLiteral("Bulk members"),
                                              QStringLiteral("(description=Member of GG Bulk Members)")});
    ASSERT_TRUE(save.waitForFinished(30000));
    ASSERT_EQ(save.exitCode(), 0) << save.readAllStandardError().toStdString();
    registry::setStoreFile(dir.filePath(QStringLiteral("registry.ini")));
    ASSERT_GE(bulk::saveColumnSet(QStringLiteral("Mine"), {{QString(), -3}, {QString(), 101}}), 0);
    registry::setStoreFile(QString());

    const QString out = dir.filePath(QStringLiteral("q.csv"));
    ASSERT_EQ(run({QStringLiteral("--query"), QStringLiteral("bulk MEMBERS"), QStringLiteral("--column-set"), QStringLiteral("mine"),
                   QStringLiteral("--no-dn"), QStringLiteral("--output"), out}), 0);
    const QJsonObject j = readBack({QStringLiteral("csv"), out, QStringLiteral("utf-16")});
    EXPECT_EQ(j.value(QStringLiteral("header")).toArray().toVariantList(), (QVariantList{QStringLiteral("cn"), QStringLiteral("memberOf")}));
    const int expected = testsupport::ldapCount(fact("SEED_OU"),
        QStringLiteral("(&(objectCategory=person)(objectClass=user)(description=Member of GG Bulk Members))"));
    EXPECT_GT(expected, 0);
    EXPECT_EQ(j.value(QStringLiteral("rows")).toArray().size(), expected);
}

// A TCP relay to the domain that cuts every connection after a number of bytes from the server
// and accepts no new connection after that: a server that drops in the middle of an export.
class DroppingRelay {
public:
    explicit DroppingRelay(qint64 budget) : budget_(budget)
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(listener_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        ::listen(listener_, 4);
        socklen_t len = sizeof a;
        ::getsockname(listener_, reinterpret_cast<sockaddr *>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { serve(); });
    }
    ~DroppingRelay()
    {
        stop_ = true;
        thread_.join();
    }
    int port() const { return port_; }

private:
    void serve()
    {
        while (!stop_ && !dropped_) {
            pollfd p{listener_, POLLIN, 0};
            if (::poll(&p, 1, 200) <= 0)
                continue;
            const int client = ::accept(listener_, nullptr, nullptr);
            if (client < 0)
                continue;
            const int server = ::socket(AF_INET, SOCK_STREAM, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_port = htons(quint16(fact("LDAP_PORT").toInt()));
            ::inet_pton(AF_INET, fact("ADDR").toLatin1().constData(), &a.sin_addr);
            if (::connect(server, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0)
                relay(client, server);
            ::close(server);
            ::close(client);
        }
        // Gone for good: later connection attempts are refused at once.
        ::shutdown(listener_, SHUT_RDWR);
        ::close(listener_);
        listener_ = -1;
    }
    void relay(int client, int server)
    {
        char buf[16384];
        while (!stop_) {
            pollfd p[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
            if (::poll(p, 2, 200) < 0)
                return;
            if (p[0].revents & (POLLIN | POLLHUP)) {
                const ssize_t n = ::read(client, buf, sizeof buf);
                if (n <= 0 || ::write(server, buf, size_t(n)) != n)
                    return;
            }
            if (p[1].revents & (POLLIN | POLLHUP)) {
                const ssize_t n = ::read(server, buf, sizeof buf);
                if (n <= 0 || ::write(client, buf, size_t(n)) != n)
                    return;
                budget_ -= n;
                if (budget_ <= 0) {
                    dropped_ = true;
                    return;
                }
            }
        }
    }
    qint64 budget_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<bool> dropped_{false};
    std::thread thread_;
};

TEST_F(ExportCli, AServerThatDropsMidExportLeavesNoFile)
{
    DroppingRelay relay(60000);
    QString err;
    const QString out = dir.filePath(QStringLiteral("drop.csv"));
    const int rc = run({QStringLiteral("--output"), out, QStringLiteral("--batch-size"), QStringLiteral("10")}, &err, QString(),
                       {QStringLiteral("--server"), QStringLiteral("127.0.0.1"), QStringLiteral("--port"), QString::number(relay.port())});
    EXPECT_EQ(rc, 1) << err.toStdString();
    EXPECT_FALSE(err.trimmed().isEmpty());
    EXPECT_FALSE(QFile::exists(out));
    EXPECT_EQ(QDir(dir.path()).entryList({QStringLiteral(".drop.csv*")}, QDir::Files | QDir::Hidden).size(), 0);
}

}  // namespace
