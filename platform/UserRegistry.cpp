// UserRegistry: the user's settings file, read and written whole.
#include "UserRegistry.h"
#include "SaveFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QStandardPaths>
#include <cmath>

using namespace Qt::StringLiterals;

// File layout:
//   {"format": 1,
//    "keys": [{"key": "software\\Zarnoth\\Vantor",
//              "values": [{"name": "LastConfig", "kind": "string", "data": "/home/u/jobs.vnt"},
//                         {"name": "Start Disabled", "kind": "dword", "data": 1},
//                         {"name": "Blob", "kind": "binary", "data": "<base64>"}]}]}
// Keys and values are kept in the order they were first written. Entries this
// version does not understand are carried over unchanged on every write.

namespace {

const QString kKeys = u"keys"_s;
const QString kKey = u"key"_s;
const QString kValues = u"values"_s;
const QString kName = u"name"_s;
const QString kKind = u"kind"_s;
const QString kData = u"data"_s;

// "\software\Zarnoth\\Vantor\" and "software\zarnoth\vantor" name one key.
QString KeyPath(const QString &key)
{
    const QStringList parts = key.split(u'\\', Qt::SkipEmptyParts);
    return parts.join(u'\\');
}

bool SameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

enum class TLoad { ldMissing, ldRead, ldBroken };

TLoad LoadDocument(const QString &fileName, QJsonObject &root)
{
    QFile file(fileName);
    if (!file.exists())
        return TLoad::ldMissing;
    if (!file.open(QIODevice::ReadOnly))
        return TLoad::ldBroken;
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return TLoad::ldBroken;
    root = document.object();
    return TLoad::ldRead;
}

std::optional<TRegValue> ValueFrom(const QJsonObject &item)
{
    const QString kind = item.value(kKind).toString();
    const QJsonValue data = item.value(kData);
    if (kind == u"string"_s && data.isString())
        return TRegValue::String(data.toString());
    if (kind == u"dword"_s && data.isDouble()) {
        const double number = data.toDouble();
        if (number >= 0 && number <= 4294967295.0 && std::floor(number) == number)
            return TRegValue::DWord(static_cast<quint32>(number));
        return std::nullopt;
    }
    if (kind == u"binary"_s && data.isString()) {
        auto decoded = QByteArray::fromBase64Encoding(data.toString().toLatin1(),
                                                      QByteArray::AbortOnBase64DecodingErrors);
        if (decoded)
            return TRegValue::Binary(*decoded);
    }
    return std::nullopt;
}

QJsonObject ItemFrom(const QString &name, const TRegValue &value)
{
    QJsonObject item{{kName, name}};
    switch (value.kind) {
    case TRegKind::rkString:
        item.insert(kKind, u"string"_s);
        item.insert(kData, value.text);
        break;
    case TRegKind::rkDWord:
        item.insert(kKind, u"dword"_s);
        item.insert(kData, static_cast<qint64>(value.dword));
        break;
    case TRegKind::rkBinary:
        item.insert(kKind, u"binary"_s);
        item.insert(kData, QString::fromLatin1(value.bytes.toBase64()));
        break;
    }
    return item;
}

} // namespace

QString TUserRegistry::DefaultFileName()
{
    QString config = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
    if (config.isEmpty())
        config = QDir::homePath() + u"/.config"_s;
    return config + u"/Vantor/settings.json"_s;
}

TUserRegistry::TUserRegistry(const QString &fileName)
    : FFileName(fileName)
{
}

bool TUserRegistry::KeyExists(const QString &key) const
{
    QJsonObject root;
    if (LoadDocument(FFileName, root) != TLoad::ldRead)
        return false;
    const QString path = KeyPath(key);
    const QJsonArray keys = root.value(kKeys).toArray();
    for (const QJsonValue &entry : keys) {
        const QString stored = KeyPath(entry.toObject().value(kKey).toString());
        if (path.isEmpty() || SameName(stored, path)
            || stored.startsWith(path + u'\\', Qt::CaseInsensitive))
            return true;
    }
    return false;
}

std::optional<TRegValue> TUserRegistry::Read(const QString &key, const QString &name) const
{
    QJsonObject root;
    if (LoadDocument(FFileName, root) != TLoad::ldRead)
        return std::nullopt;
    const QString path = KeyPath(key);
    const QJsonArray keys = root.value(kKeys).toArray();
    for (const QJsonValue &entry : keys) {
        const QJsonObject keyObject = entry.toObject();
        if (!SameName(KeyPath(keyObject.value(kKey).toString()), path))
            continue;
        const QJsonArray values = keyObject.value(kValues).toArray();
        for (const QJsonValue &value : values) {
            const QJsonObject item = value.toObject();
            if (SameName(item.value(kName).toString(), name))
                return ValueFrom(item);
        }
    }
    return std::nullopt;
}

bool TUserRegistry::Write(const QString &key, const QList<QPair<QString, TRegValue>> &values)
{
    const QString path = KeyPath(key);
    if (path.isEmpty())
        return false;
    if (!QDir().mkpath(QFileInfo(FFileName).absolutePath()))
        return false;

    // Another copy of the program may be saving at the same moment: take turns,
    // and read what it wrote before changing anything.
    QLockFile lock(FFileName + u".lock"_s);
    if (!lock.tryLock(5000))
        return false;

    QJsonObject root;
    const TLoad loaded = LoadDocument(FFileName, root);
    if (loaded == TLoad::ldBroken) {
        // Keep what cannot be read for the user to look at rather than lose it.
        QFile::remove(FFileName + u".bad"_s);
        if (!QFile::copy(FFileName, FFileName + u".bad"_s))
            return false;
        root = QJsonObject();
    }
    if (!root.contains(u"format"_s))
        root.insert(u"format"_s, 1);

    QJsonArray keys = root.value(kKeys).toArray();
    qsizetype keyIndex = -1;
    for (qsizetype i = 0; i < keys.size(); ++i)
        if (SameName(KeyPath(keys.at(i).toObject().value(kKey).toString()), path)) {
            keyIndex = i;
            break;
        }
    if (keyIndex < 0) {
        keys.append(QJsonObject{{kKey, path}, {kValues, QJsonArray()}});
        keyIndex = keys.size() - 1;
    }

    QJsonObject keyObject = keys.at(keyIndex).toObject();
    QJsonArray items = keyObject.value(kValues).toArray();
    for (const auto &[name, value] : values) {
        bool replaced = false;
        for (qsizetype i = 0; i < items.size() && !replaced; ++i) {
            const QString stored = items.at(i).toObject().value(kName).toString();
            if (SameName(stored, name)) {
                items.replace(i, ItemFrom(stored, value));
                replaced = true;
            }
        }
        if (!replaced)
            items.append(ItemFrom(name, value));
    }
    keyObject.insert(kValues, items);
    keys.replace(keyIndex, keyObject);
    root.insert(kKeys, keys);

    return SaveWholeFile(FFileName, QJsonDocument(root).toJson(QJsonDocument::Indented));
}
