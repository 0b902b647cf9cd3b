#pragma once
// The per-user registry: keys addressed by backslash paths under the current user's hive,
// holding typed values (32-bit integer, string, binary). Stored in one owner-only settings
// file through QSettings.
//
// The file is ~/.config/Arvendel/registry.ini (XDG_CONFIG_HOME respected); the environment
// variable ARV_SETTINGS_FILE, or setStoreFile(), points it elsewhere (tests, the demo).
// Key and value names are compared without regard to case, as in the Windows registry, and
// keep the case they were created with. Any character may appear in a value name; key names
// may hold any character except the backslash that separates them.
//
// Typical use:
//   registry::Key key;
//   if (key.open(registry::kProgramRoot + QStringLiteral("\\Connection"), registry::Access::ReadWrite))
//       key.writeInt(QStringLiteral("{BCBB1B83-...}"), 1);
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>

class QSettings;

namespace registry {

// The program's own key, below which every setting lives.
inline const QString kProgramRoot = QStringLiteral("\\Software\\Vastrel\\Pordex");

// The settings file currently in use: setStoreFile() if set, else ARV_SETTINGS_FILE, else the
// XDG default.
QString storeFile();
// Overrides the file for this process (empty: back to ARV_SETTINGS_FILE / default).
void setStoreFile(const QString &path);

enum class Access { Read, ReadWrite };
enum class ValueType { None, Integer, String, Binary };

class Key {
public:
    Key();
    ~Key();
    Key(Key &&) noexcept;
    Key &operator=(Key &&) noexcept;
    Key(const Key &) = delete;
    Key &operator=(const Key &) = delete;

    // Opens the key at path (backslash-separated, relative to the hive root; leading and
    // doubled backslashes are ignored). With Access::ReadWrite and create, a missing key is
    // created together with its missing parents. Returns false when the key does not exist
    // (and was not created) or the settings file cannot be prepared; lastError() tells why.
    bool open(const QString &path, Access access, bool create = true);
    bool isOpen() const;
    // Writes pending changes to the file; false (lastError() says why) when it cannot.
    bool flush();
    // Flushes and closes.
    void close();
    // The key's path as stored (original case), without a leading backslash.
    QString path() const;
    QString lastError() const;

    bool valueExists(const QString &name) const;
    ValueType valueType(const QString &name) const;
    // Empty when the value is missing or of another type.
    std::optional<qint32> readInt(const QString &name) const;
    std::optional<QString> readString(const QString &name) const;
    std::optional<QByteArray> readBinary(const QString &name) const;
    // A flag stored as an integer (any non-zero value is on); fallback when the value is
    // missing or not an integer.
    bool readBool(const QString &name, bool fallback) const;

    // Writes replace an existing value of any type. They fail on a key opened for reading.
    // Changes are visible at once to every key of this process and reach the file at
    // flush(), close() or destruction (as one rewrite of the file, not one per value).
    bool writeInt(const QString &name, qint32 value);
    bool writeString(const QString &name, const QString &value);
    bool writeBinary(const QString &name, const QByteArray &value);
    bool deleteValue(const QString &name);

    QStringList valueNames() const;
    QStringList subKeyNames() const;
    bool subKeyExists(const QString &name) const;
    // Deletes a direct subkey with everything below it.
    bool deleteSubKey(const QString &name);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
    bool writeRaw(const QString &name, const QString &encoded);
};

// True when the key at path exists.
bool keyExists(const QString &path);
// Deletes the key at path with everything below it; false when it did not exist or the file
// could not be written.
bool deleteKey(const QString &path);

} // namespace registry
