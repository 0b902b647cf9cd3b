#include "platform/registry/registry.h"

#include <QFile>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <sys/stat.h>

using registry::Access;
using registry::Key;

namespace {

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        file = dir.path() + QStringLiteral("/cfg/sub/registry.ini");
        registry::setStoreFile(file);
    }
    void TearDown() override { registry::setStoreFile({}); }

    // Reads the store through a copy of the file, so nothing can come from an in-memory cache.
    void reopenFromDisk()
    {
        const QString copy = dir.path() + QStringLiteral("/copy%1.ini").arg(++copies);
        ASSERT_TRUE(QFile::copy(file, copy));
        registry::setStoreFile(copy);
    }

    QTemporaryDir dir;
    QString file;
    int copies = 0;
};

mode_t modeOf(const QString &path)
{
    struct stat st {};
    EXPECT_EQ(::stat(QFile::encodeName(path).constData(), &st), 0) << path.toStdString();
    return st.st_mode & 0777;
}

} // namespace

TEST_F(RegistryTest, StoreIsCreatedOwnerOnlyBeforeWriting)
{
    Key key;
    ASSERT_TRUE(key.open(registry::kProgramRoot + QStringLiteral("\\Connection"), Access::ReadWrite));
    ASSERT_TRUE(key.writeString(QStringLiteral("a"), QStringLiteral("secret")));
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/cfg")), 0700u);
    EXPECT_EQ(modeOf(dir.path() + QStringLiteral("/cfg/sub")), 0700u);
    // Rewrites (QSettings replaces the file) keep it owner-only.
    ASSERT_TRUE(key.writeString(QStringLiteral("b"), QStringLiteral("more")));
    ASSERT_TRUE(key.flush());
    ASSERT_TRUE(key.writeString(QStringLiteral("c"), QStringLiteral("again")));
    ASSERT_TRUE(key.flush());
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(RegistryTest, ExistingWorldReadableFileIsNarrowed)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.close();
    ::chmod(QFile::encodeName(file).constData(), 0644);
    Key key;
    ASSERT_TRUE(key.open(QStringLiteral("\\Software\\X"), Access::ReadWrite));
    EXPECT_EQ(modeOf(file), 0600u);
}

TEST_F(RegistryTest, ValuesSurviveExactly)
{
    const QString guidName = QStringLiteral("{0D0F7DEB-E5CE-4367-8E05-D23791676DBD}");
    QByteArray bin;
    for (int i = 0; i < 256; ++i)
        bin.append(char(i));
    bin.append(QByteArray("\0\0\xff", 3));
    const QString unicode = QStringLiteral("Jürgen Ærøskøbing 日本語 \U0001F600 \"q\" ;#=@Variant(x) a\\b/c\r\nnext\tline ");
    const QString oddName = QStringLiteral("name with / and \\ and %2F and = ; # é");
    {
        Key key;
        ASSERT_TRUE(key.open(registry::kProgramRoot + QStringLiteral("\\Connection"), Access::ReadWrite));
        EXPECT_TRUE(key.writeBinary(guidName, bin));
        EXPECT_TRUE(key.writeString(QStringLiteral("{F171ABBE-1F1D-4D3E-AD05-0BB570C15862}"), unicode));
        EXPECT_TRUE(key.writeInt(QStringLiteral("neg"), -2147483647 - 1));
        EXPECT_TRUE(key.writeInt(QStringLiteral("max"), 2147483647));
        EXPECT_TRUE(key.writeString(oddName, QString()));
        EXPECT_TRUE(key.writeBinary(QStringLiteral("emptybin"), QByteArray()));
        EXPECT_TRUE(key.writeString(QString(), QStringLiteral("default value")));
    }
    reopenFromDisk();
    Key key;
    ASSERT_TRUE(key.open(QStringLiteral("software\\vastrel\\PORDEX\\connection"), Access::Read));
    EXPECT_EQ(key.path(), QStringLiteral("Software\\Vastrel\\Pordex\\Connection"));
    EXPECT_EQ(key.readBinary(guidName), bin);
    EXPECT_EQ(key.readString(QStringLiteral("{f171abbe-1f1d-4d3e-ad05-0bb570c15862}")), unicode);
    EXPECT_EQ(key.readInt(QStringLiteral("neg")), -2147483647 - 1);
    EXPECT_EQ(key.readInt(QStringLiteral("max")), 2147483647);
    EXPECT_EQ(key.readString(oddName), QString());
    EXPECT_TRUE(key.valueExists(oddName));
    EXPECT_EQ(key.readBinary(QStringLiteral("emptybin")), QByteArray());
    EXPECT_EQ(key.readString(QString()), QStringLiteral("default value"));
    QStringList names = key.valueNames();
    names.sort();
    QStringList expected{guidName, QStringLiteral("{F171ABBE-1F1D-4D3E-AD05-0BB570C15862}"),
                         QStringLiteral("neg"), QStringLiteral("max"), oddName,
                         QStringLiteral("emptybin"), QString()};
    expected.sort();
    EXPECT_EQ(names, expected);
}

TEST_F(RegistryTest, ChangesAreSharedAtOnceAndOnDiskAfterFlush)
{
    Key writer;
    ASSERT_TRUE(writer.open(QStringLiteral("\\Software\\Shared"), Access::ReadWrite));
    ASSERT_TRUE(writer.writeInt(QStringLiteral("n"), 5));
    Key reader;
    ASSERT_TRUE(reader.open(QStringLiteral("\\Software\\Shared"), Access::Read));
    EXPECT_EQ(reader.readInt(QStringLiteral("n")), 5);
    ASSERT_TRUE(writer.flush());
    reopenFromDisk();
    Key fromDisk;
    ASSERT_TRUE(fromDisk.open(QStringLiteral("\\Software\\Shared"), Access::Read));
    EXPECT_EQ(fromDisk.readInt(QStringLiteral("n")), 5);
}

TEST_F(RegistryTest, TypesAreKeptAndMismatchesReadAsMissing)
{
    Key key;
    ASSERT_TRUE(key.open(QStringLiteral("\\T"), Access::ReadWrite));
    ASSERT_TRUE(key.writeString(QStringLiteral("s"), QStringLiteral("12")));
    ASSERT_TRUE(key.writeInt(QStringLiteral("i"), 12));
    EXPECT_EQ(key.valueType(QStringLiteral("s")), registry::ValueType::String);
    EXPECT_EQ(key.valueType(QStringLiteral("I")), registry::ValueType::Integer);
    EXPECT_FALSE(key.readInt(QStringLiteral("s")).has_value());
    EXPECT_FALSE(key.readString(QStringLiteral("i")).has_value());
    EXPECT_FALSE(key.readBinary(QStringLiteral("missing")).has_value());
    // Rewriting under another case and type replaces the one value.
    ASSERT_TRUE(key.writeBinary(QStringLiteral("S"), QByteArray("x")));
    EXPECT_EQ(key.valueNames(), QStringList{QStringLiteral("i")} << QStringLiteral("s"));
    EXPECT_EQ(key.readBinary(QStringLiteral("s")), QByteArray("x"));
    EXPECT_TRUE(key.deleteValue(QStringLiteral("s")));
    EXPECT_FALSE(key.valueExists(QStringLiteral("s")));
    EXPECT_FALSE(key.deleteValue(QStringLiteral("s")));
}

TEST_F(RegistryTest, FlagsFallBackWhenMissingOrOfAnotherType)
{
    Key key;
    ASSERT_TRUE(key.open(QStringLiteral("\\Flags"), Access::ReadWrite));
    ASSERT_TRUE(key.writeInt(QStringLiteral("off"), 0));
    ASSERT_TRUE(key.writeInt(QStringLiteral("on"), 7));
    ASSERT_TRUE(key.writeString(QStringLiteral("text"), QStringLiteral("0")));
    // A stored 0 wins over a true fallback, any non-zero value over a false one.
    EXPECT_FALSE(key.readBool(QStringLiteral("off"), true));
    EXPECT_TRUE(key.readBool(QStringLiteral("on"), false));
    // Missing or not an integer: the fallback, whichever it is.
    EXPECT_TRUE(key.readBool(QStringLiteral("missing"), true));
    EXPECT_FALSE(key.readBool(QStringLiteral("missing"), false));
    EXPECT_TRUE(key.readBool(QStringLiteral("text"), true));
}

TEST_F(RegistryTest, KeysNestEnumerateAndDelete)
{
    {
        Key key;
        ASSERT_TRUE(key.open(QStringLiteral("\\Software\\Vastrel\\Pordex\\LDAPQ\\Query one"), Access::ReadWrite));
        ASSERT_TRUE(key.writeString(QStringLiteral("q"), QStringLiteral("(cn=*)")));
        Key empty;
        ASSERT_TRUE(empty.open(QStringLiteral("Software\\Vastrel\\Pordex\\LDAPQ\\Empty/slash"), Access::ReadWrite));
    }
    reopenFromDisk();
    Key ldapq;
    ASSERT_TRUE(ldapq.open(QStringLiteral("\\Software\\Vastrel\\Pordex\\LDAPQ"), Access::ReadWrite, false));
    QStringList subs = ldapq.subKeyNames();
    subs.sort();
    EXPECT_EQ(subs, (QStringList{QStringLiteral("Empty/slash"), QStringLiteral("Query one")}));
    EXPECT_TRUE(ldapq.valueNames().isEmpty());
    EXPECT_TRUE(ldapq.subKeyExists(QStringLiteral("query ONE")));
    EXPECT_TRUE(ldapq.deleteSubKey(QStringLiteral("QUERY ONE")));
    EXPECT_EQ(ldapq.subKeyNames(), QStringList{QStringLiteral("Empty/slash")});
    EXPECT_FALSE(registry::keyExists(QStringLiteral("\\Software\\Vastrel\\Pordex\\LDAPQ\\Query one")));

    EXPECT_TRUE(registry::deleteKey(QStringLiteral("\\Software\\Vastrel")));
    EXPECT_FALSE(registry::keyExists(QStringLiteral("\\Software\\Vastrel\\Pordex\\LDAPQ")));
    EXPECT_TRUE(registry::keyExists(QStringLiteral("\\Software")));
    EXPECT_FALSE(registry::deleteKey(QStringLiteral("\\Software\\Vastrel")));
}

TEST_F(RegistryTest, ReadAccessNeitherCreatesNorWrites)
{
    Key key;
    EXPECT_FALSE(key.open(QStringLiteral("\\Software\\Missing"), Access::Read));
    EXPECT_FALSE(key.isOpen());
    EXPECT_FALSE(QFileInfo::exists(file));
    EXPECT_FALSE(key.open(QStringLiteral("\\Software\\Missing"), Access::ReadWrite, false));

    ASSERT_TRUE(key.open(QStringLiteral("\\Software\\Present"), Access::ReadWrite));
    Key reader;
    ASSERT_TRUE(reader.open(QStringLiteral("\\Software\\Present"), Access::Read));
    EXPECT_FALSE(reader.writeInt(QStringLiteral("x"), 1));
    EXPECT_FALSE(reader.lastError().isEmpty());
    EXPECT_FALSE(reader.valueExists(QStringLiteral("x")));
}

TEST_F(RegistryTest, UnwritableLocationFailsWithReason)
{
    registry::setStoreFile(QStringLiteral("/proc/arvendel-no/registry.ini"));
    Key key;
    EXPECT_FALSE(key.open(QStringLiteral("\\Software"), Access::ReadWrite));
    EXPECT_TRUE(key.lastError().contains(QStringLiteral("/proc/arvendel-no")));
}

TEST(RegistryLocation, EnvironmentOverridesDefault)
{
    registry::setStoreFile({});
    qputenv("ARV_SETTINGS_FILE", "/tmp/some/file.ini");
    EXPECT_EQ(registry::storeFile(), QStringLiteral("/tmp/some/file.ini"));
    qunsetenv("ARV_SETTINGS_FILE");
    qputenv("XDG_CONFIG_HOME", "/tmp/xdg");
    EXPECT_EQ(registry::storeFile(), QStringLiteral("/tmp/xdg/Arvendel/registry.ini"));
}

// Someone else's link in place of the settings file or its folder would make the program
// write the enciphered credentials where that someone chooses: both are refused, and a
// folder others could enter is narrowed to its owner.
TEST_F(RegistryTest, LinksAreRefusedAndTheFolderIsNarrowed)
{
    registry::Key k;
    ASSERT_TRUE(k.open(QStringLiteral("Software\\Vastrel\\Pordex"), registry::Access::ReadWrite));
    k.close();
    const QString folder = QFileInfo(file).absolutePath();
    ASSERT_EQ(::chmod(QFile::encodeName(folder).constData(), 0755), 0);
    ASSERT_TRUE(k.open(QStringLiteral("Software\\Vastrel\\Pordex"), registry::Access::ReadWrite));
    k.close();
    EXPECT_EQ(QFileInfo(folder).permissions() & (QFile::ReadOther | QFile::ExeOther | QFile::ReadGroup), 0);

    // A shared sticky folder (like /tmp) keeps its mode: it must stay open to everyone.
    const QString shared = dir.path() + QStringLiteral("/shared");
    ASSERT_TRUE(QDir().mkpath(shared));
    ASSERT_EQ(::chmod(QFile::encodeName(shared).constData(), 01777), 0);
    registry::setStoreFile(shared + QStringLiteral("/registry.ini"));
    registry::Key inShared;
    EXPECT_TRUE(inShared.open(QStringLiteral("Software\\Vastrel"), registry::Access::ReadWrite)) << inShared.lastError().toStdString();
    inShared.close();
    struct stat sst {};
    ASSERT_EQ(::stat(QFile::encodeName(shared).constData(), &sst), 0);
    EXPECT_EQ(sst.st_mode & 07777, 01777u);
    registry::setStoreFile(file);

    // The file is a link to a place of the attacker's choosing.
    const QString target = dir.path() + QStringLiteral("/elsewhere.ini");
    const QString linked = dir.path() + QStringLiteral("/linkdir/registry.ini");
    ASSERT_TRUE(QDir().mkpath(dir.path() + QStringLiteral("/linkdir")));
    ASSERT_TRUE(QFile::link(target, linked));
    registry::setStoreFile(linked);
    registry::Key viaLink;
    EXPECT_FALSE(viaLink.open(QStringLiteral("Software\\Vastrel\\Pordex"), registry::Access::ReadWrite));
    EXPECT_TRUE(viaLink.lastError().contains(QStringLiteral("not safe"))) << viaLink.lastError().toStdString();
    EXPECT_FALSE(QFile::exists(target));

    // The folder is a link.
    ASSERT_TRUE(QFile::link(dir.path() + QStringLiteral("/cfg"), dir.path() + QStringLiteral("/cfglink")));
    registry::setStoreFile(dir.path() + QStringLiteral("/cfglink/registry.ini"));
    registry::Key viaFolderLink;
    EXPECT_FALSE(viaFolderLink.open(QStringLiteral("Software\\Vastrel\\Pordex"), registry::Access::ReadWrite));
    registry::setStoreFile(file);
}
