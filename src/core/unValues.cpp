#include "core/unValues.h"

#include "core/unValuesInternal.h"
#include "platform/office/office.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QLocale>
#include <QMutex>
#include <QMutexLocker>
#include <QSet>

#ifndef ARV_VERSION_TEXT
#define ARV_VERSION_TEXT "0.0.0"
#endif

namespace {

QMutex g_accessMutex;
TDirectoryAccess g_access;

QMutex g_schemaNamesMutex;
std::optional<QSet<QString>> g_schemaNames;
QStringList g_schemaNameList;
bool g_schemaLoaded = false;

QMutex g_notifyMutex;
TNotifyOtherWindowsHook g_notifyHook;

// A value as the text a user would read.
QString valueText(const QVariant &v)
{
    if (v.metaType() == QMetaType::fromType<ads::AdsDate>())
        return QLocale::system().toString(v.value<ads::AdsDate>().toDateTime(), QLocale::ShortFormat);
    if (v.metaType() == QMetaType::fromType<QByteArray>())
        return BytesToHexText(v.toByteArray());
    if (v.metaType() == QMetaType::fromType<ads::DnWithString>())
        return v.value<ads::DnWithString>().string;
    if (v.metaType() == QMetaType::fromType<ads::DnWithBinary>())
        return v.value<ads::DnWithBinary>().dn;
    return v.toString();
}

QVariantList valuesOf(const ads::ObjectPtr &object, const QString &attribute, bool *ok)
{
    *ok = false;
    if (!object)
        return {};
    QVariant v;
    if (ads::failed(object->GetEx(attribute, &v)))
        return {};
    *ok = true;
    return v.toList();
}

} // namespace

// --- Directory access ----------------------------------------------------------------------

void SetDirectoryAccess(const TDirectoryAccess &access)
{
    QMutexLocker lock(&g_accessMutex);
    g_access = access;
}

TDirectoryAccess DirectoryAccess()
{
    QMutexLocker lock(&g_accessMutex);
    return g_access;
}

ads::ObjectPtr BindWithDirectoryAccess(const QString &dnOrPath)
{
    const TDirectoryAccess a = DirectoryAccess();
    ads::ObjectPtr object;
    CheckADSIResult(OpenADsObject(values_detail::PathWithPrefix(dnOrPath), a.UserName, a.Password, &object, QString::fromLatin1(ads::IID_IADs),
                                  a.AuthFlags, a.UseCredentials));
    return object;
}

// --- Values --------------------------------------------------------------------------------

QVariant FileTimeToValue(quint32 low, quint32 high)
{
    if ((low == 0 && high == 0) || low == 0xFFFFFFFFu)
        return QVariant(int(0));
    const auto local = FileTimeToLocalDateTime(qint64(quint64(high) << 32 | low));
    if (!local)
        return {};
    return QVariant::fromValue(ads::AdsDate(*local));
}

qint64 LargeIntegerToInt64(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return 0;
    switch (value.metaType().id()) {
    case QMetaType::LongLong: return value.toLongLong();
    case QMetaType::Int: return value.toInt();
    case QMetaType::UInt: return value.toUInt();
    case QMetaType::ULongLong: return qint64(value.toULongLong());
    default: break;
    }
    bool ok = false;
    const qint64 n = value.metaType().id() == QMetaType::QString ? value.toString().trimmed().toLongLong(&ok)
                                                                  : value.toLongLong(&ok);
    if (!ok)
        throw EADSIException(QStringLiteral("Not Int64"));
    return n;
}

QString ValueToHex(const QVariant &value)
{
    if (value.metaType().id() == QMetaType::QString) {
        QString s = value.toString();
        s.remove(QLatin1Char('-')).remove(QLatin1Char('{')).remove(QLatin1Char('}'));
        return s;
    }
    if (value.metaType().id() == QMetaType::QByteArray)
        return BytesToHexText(value.toByteArray());
    return {};
}

QString JoinValuesLines(const ads::ObjectPtr &object, const QString &attribute)
{
    bool ok = false;
    QString out;
    for (const QVariant &v : valuesOf(object, attribute, &ok))
        out += valueText(v) + QLatin1String("\r\n");
    return ok ? out : QString();
}

QString JoinValuesBracketed(const ads::ObjectPtr &object, const QString &attribute)
{
    bool ok = false;
    QString out;
    for (const QVariant &v : valuesOf(object, attribute, &ok))
        out += QLatin1Char('[') + valueText(v) + QLatin1Char(']');
    return ok ? out.trimmed() : QString();
}

void AddValuesUpper(QStringList &list, const QVariant &values)
{
    if (values.metaType().id() == QMetaType::QVariantList) {
        for (const QVariant &v : values.toList())
            list.append(valueText(v).toUpper());
    } else if (values.isValid()) {
        list.append(valueText(values).toUpper());
    }
}

void BytesToStream(const QVariant &byteArray, QIODevice &stream)
{
    Q_ASSERT(byteArray.metaType().id() == QMetaType::QByteArray);
    const QByteArray bytes = byteArray.toByteArray();
    if (auto *buffer = qobject_cast<QBuffer *>(&stream)) {
        if (buffer->isOpen())
            buffer->close();
        buffer->setData(bytes);
        buffer->open(QIODevice::ReadWrite);
        buffer->seek(0);
        return;
    }
    if (!stream.isOpen())
        stream.open(QIODevice::ReadWrite);
    stream.seek(0);
    stream.write(bytes);
    stream.seek(0);
}

QVariant StreamToBytes(QIODevice &stream)
{
    if (auto *buffer = qobject_cast<QBuffer *>(&stream))
        return QVariant(buffer->data());
    const qint64 pos = stream.pos();
    stream.seek(0);
    const QByteArray bytes = stream.readAll();
    stream.seek(pos);
    return QVariant(bytes);
}

// --- Schema presence -----------------------------------------------------------------------

void SetSchemaAttributeNames(const QStringList &names)
{
    QMutexLocker lock(&g_schemaNamesMutex);
    QSet<QString> set;
    QStringList list;
    for (const QString &n : names) {
        const QString u = n.trimmed().toUpper();
        if (!set.contains(u)) {
            set.insert(u);
            list.append(u);
        }
    }
    g_schemaNames = std::move(set);
    g_schemaNameList = list;
}

void ClearSchemaAttributeNames()
{
    QMutexLocker lock(&g_schemaNamesMutex);
    g_schemaNames.reset();
    g_schemaNameList.clear();
    g_schemaLoaded = false;
}

void SetSchemaLoaded(bool loaded)
{
    QMutexLocker lock(&g_schemaNamesMutex);
    g_schemaLoaded = loaded;
}

bool SchemaLoaded()
{
    QMutexLocker lock(&g_schemaNamesMutex);
    return g_schemaLoaded;
}

QStringList SchemaAttributeNames()
{
    QMutexLocker lock(&g_schemaNamesMutex);
    return g_schemaNameList;
}

bool AttributeInSchema(const QString &name)
{
    QMutexLocker lock(&g_schemaNamesMutex);
    if (!g_schemaNames || !g_schemaLoaded)
        return true;
    return g_schemaNames->contains(name.trimmed().toUpper());
}

bool AttributeInList(const QStringList &list, const QString &name)
{
    return list.contains(name.trimmed().toUpper());
}

bool HasMailbox(const ads::ObjectPtr &object)
{
    if (object) {
        ads::PropertyEntry entry;
        return ads::succeeded(object->GetPropertyItem(QStringLiteral("homeMDB"), &entry));
    }
    QMutexLocker lock(&g_schemaNamesMutex);
    return g_schemaNames && g_schemaNames->contains(QStringLiteral("HOMEMDB"));
}

// --- Other -----------------------------------------------------------------------------------

QString GetFileVersionText()
{
    const QString v = QCoreApplication::applicationVersion();
    return v.isEmpty() ? QStringLiteral(ARV_VERSION_TEXT) : v;
}

QString CreatedWithText()
{
    QString text = QStringLiteral("Created with \"Arvendel - %1\"").arg(GetFileVersionText());
    const QString address = QStringLiteral(ARV_WEB_ADDRESS);
    if (!address.isEmpty())
        text += QStringLiteral(" - ") + address;
    return text;
}

void SetNotifyOtherWindowsHook(TNotifyOtherWindowsHook hook)
{
    QMutexLocker lock(&g_notifyMutex);
    g_notifyHook = std::move(hook);
}

void NotifyOtherWindows(const void *sender, int code, const QString &text)
{
    TNotifyOtherWindowsHook hook;
    {
        QMutexLocker lock(&g_notifyMutex);
        hook = g_notifyHook;
    }
    if (hook)
        hook(sender, code, text);
}

bool OfficeAppAvailable(const QString &progId)
{
    return office::isApplicationRegistered(progId);
}
