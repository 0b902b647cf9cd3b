// The schema facts kept on disk: they come back only for the same forest, server and schema
// state, and a file that is damaged, or that anyone but its owner could have written, is not
// believed.
#include "platform/adsi/adsschemacache.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace ads;

namespace {

class SchemaCacheFiles : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(home_.isValid());
        old_ = qgetenv("XDG_CACHE_HOME");
        qputenv("XDG_CACHE_HOME", home_.path().toLocal8Bit());
        key_.forest = QStringLiteral("DC=arvendel,DC=test");
        key_.server = QStringLiteral("dc1.arvendel.test:389");
        key_.modifyTimeStamp = QStringLiteral("20261210024346.0Z");
        key_.usnChanged = QStringLiteral("4099");
        key_.schemaInfo = QByteArray::fromHex("ff0000003508fab3");
        AttributeInfo text;
        text.type = ADSTYPE_CASE_IGNORE_STRING;
        text.singleValued = true;
        map_.add(QStringLiteral("description"), text);
        AttributeInfo time;
        time.type = ADSTYPE_LARGE_INTEGER;
        time.singleValued = true;
        map_.add(QStringLiteral("lastLogon"), time);
        AttributeInfo members;
        members.type = ADSTYPE_DN_STRING;
        map_.add(QStringLiteral("member"), members);
        AttributeInfo secret;
        secret.type = ADSTYPE_OCTET_STRING;
        secret.singleValued = true;
        secret.confidential = true;
        map_.add(QStringLiteral("msPKIRoamingTimeStamp"), secret);
    }
    void TearDown() override
    {
        if (old_.isNull())
            qunsetenv("XDG_CACHE_HOME");
        else
            qputenv("XDG_CACHE_HOME", old_);
    }
    QString file() const { return schemacache::fileFor(key_); }
    void writeFile(const QByteArray &text)
    {
        QFile f(file());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text);
        f.close();
        ASSERT_EQ(chmod(QFile::encodeName(file()).constData(), 0600), 0);
    }

    QTemporaryDir home_;
    QByteArray old_;
    schemacache::Key key_;
    SchemaMap map_;
};

} // namespace

TEST_F(SchemaCacheFiles, ComeBackOnlyForTheSameSchemaState)
{
    ASSERT_TRUE(schemacache::save(key_, map_));
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(file()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    ASSERT_EQ(stat(QFile::encodeName(schemacache::folder()).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    const auto back = schemacache::load(key_);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->size(), 4);
    // Confidential attributes stay so: the change journal must never record their values.
    EXPECT_TRUE(back->lookup(QStringLiteral("msPKIRoamingTimeStamp")).confidential);
    EXPECT_FALSE(back->lookup(QStringLiteral("description")).confidential);
    EXPECT_EQ(back->lookup(QStringLiteral("LASTLOGON")).type, ADSTYPE_LARGE_INTEGER);
    EXPECT_TRUE(back->lookup(QStringLiteral("lastLogon")).singleValued);
    EXPECT_FALSE(back->lookup(QStringLiteral("member")).singleValued);
    EXPECT_TRUE(back->lookup(QStringLiteral("member")).known);

    // A schema change moves the container's stamps; another server keeps its own file.
    for (auto change : {+[](schemacache::Key &k) { k.usnChanged = QStringLiteral("4100"); },
                        +[](schemacache::Key &k) { k.modifyTimeStamp = QStringLiteral("20261211000000.0Z"); },
                        +[](schemacache::Key &k) { k.schemaInfo[7] = char(0xb4); },
                        +[](schemacache::Key &k) { k.server = QStringLiteral("dc2.arvendel.test:389"); }}) {
        schemacache::Key other = key_;
        change(other);
        EXPECT_FALSE(schemacache::load(other));
    }
    // An incomplete key (the schema container could not be read) never matches.
    schemacache::Key incomplete = key_;
    incomplete.usnChanged.clear();
    EXPECT_FALSE(schemacache::load(incomplete));
}

TEST_F(SchemaCacheFiles, DamagedFilesAreIgnored)
{
    ASSERT_TRUE(schemacache::save(key_, map_));
    QFile f(file());
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray good = f.readAll();
    f.close();
    ASSERT_TRUE(schemacache::parse(good, key_));

    QList<QByteArray> damaged;
    damaged << good.left(good.size() - 4);                                  // cut short
    damaged << QByteArray(good).replace("attributes\t4", "attributes\t5");  // wrong count
    damaged << QByteArray(good).replace("attributes\t4", "attributes\t-1");
    damaged << QByteArray(good).replace("attributes\t4", "attributes\t99999999999");
    damaged << QByteArray(good).replace("\t10\t", "\t4711\t");              // no such type
    damaged << QByteArray(good).replace("lastlogon\t", "last logon\t");     // not a name
    damaged << QByteArray(good).replace("lastlogon\t", "\t");
    damaged << QByteArray(good).replace("description\t", "member\t");       // a name twice
    damaged << QByteArray(good).replace("\t1\n", "\tyes\n");
    damaged << QByteArray(good).replace("Arvendel schema cache 2", "Arvendel schema cache 1");  // older form
    damaged << QByteArray(good).replace("\t0\n", "\n");                     // no confidential field
    damaged << QByteArray(good).replace("end\n", "end\nmore\n");
    damaged << QByteArray(good).replace('\n', "\r\n");
    damaged << QByteArray(3000, '\0');
    damaged << QByteArray();
    for (const QByteArray &text : damaged) {
        EXPECT_FALSE(schemacache::parse(text, key_)) << text.left(200).toStdString();
        writeFile(text);
        EXPECT_FALSE(schemacache::load(key_));
    }
    // Too large to be one: not even read.
    QByteArray huge = good;
    huge.insert(huge.indexOf("end\n"), QByteArray(9 * 1024 * 1024, 'x') + '\n');
    writeFile(huge);
    EXPECT_FALSE(schemacache::load(key_));
    // A fresh save replaces a damaged file.
    ASSERT_TRUE(schemacache::save(key_, map_));
    EXPECT_TRUE(schemacache::load(key_));
}

TEST_F(SchemaCacheFiles, FilesOthersCouldHaveWrittenAreIgnored)
{
    ASSERT_TRUE(schemacache::save(key_, map_));
    const QByteArray path = QFile::encodeName(file());
    const QByteArray folder = QFile::encodeName(schemacache::folder());
    ASSERT_TRUE(schemacache::load(key_));

    // Readable or writable by others.
    ASSERT_EQ(chmod(path.constData(), 0644), 0);
    EXPECT_FALSE(schemacache::load(key_));
    ASSERT_EQ(chmod(path.constData(), 0620), 0);
    EXPECT_FALSE(schemacache::load(key_));
    ASSERT_EQ(chmod(path.constData(), 0600), 0);
    ASSERT_TRUE(schemacache::load(key_));

    // A link in its place, even to a good file of ours.
    const QByteArray real = QFile::encodeName(home_.filePath(QStringLiteral("real.cache")));
    ASSERT_EQ(rename(path.constData(), real.constData()), 0);
    ASSERT_EQ(symlink(real.constData(), path.constData()), 0);
    EXPECT_FALSE(schemacache::load(key_));
    ASSERT_EQ(unlink(path.constData()), 0);
    ASSERT_EQ(rename(real.constData(), path.constData()), 0);
    ASSERT_TRUE(schemacache::load(key_));

    // A folder others may write into.
    ASSERT_EQ(chmod(folder.constData(), 0777), 0);
    EXPECT_FALSE(schemacache::load(key_));
    EXPECT_FALSE(schemacache::save(key_, map_));
    ASSERT_EQ(chmod(folder.constData(), 0700), 0);

    // Owned by someone else (only root can hand a file over).
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.constData(), 65534, 65534), 0);
        EXPECT_FALSE(schemacache::load(key_));
        ASSERT_EQ(chown(path.constData(), 0, 0), 0);
        EXPECT_TRUE(schemacache::load(key_));
        ASSERT_EQ(chown(folder.constData(), 65534, 65534), 0);
        EXPECT_FALSE(schemacache::load(key_));
        ASSERT_EQ(chown(folder.constData(), 0, 0), 0);
    }
}
