// UserRegistry: the current user's typed key/value store (what the program
// keeps between runs: window placement, last job list, language, options).
//
// One JSON file in the user's configuration folder, never beside the program.
// Key paths ("\software\Zarnoth\Vantor\Pos\formMain") and value names are
// matched without regard to case and keep the spelling they were first written
// with. Every value keeps its kind: a string, a 32-bit integer or raw bytes;
// a value read as another kind is not there for that reader.
//
// Every write locks the file against other copies of the program, reads it
// afresh, changes it and replaces it atomically, so a crash never leaves a
// half-written file and two programs never lose each other's values.
#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

enum class TRegKind { rkString, rkDWord, rkBinary };

struct TRegValue
{
    TRegKind kind = TRegKind::rkString;
    QString text;       // rkString
    quint32 dword = 0;  // rkDWord
    QByteArray bytes;   // rkBinary

    static TRegValue String(const QString &text) { return {TRegKind::rkString, text, 0, {}}; }
    static TRegValue DWord(quint32 value) { return {TRegKind::rkDWord, {}, value, {}}; }
    static TRegValue Binary(const QByteArray &bytes) { return {TRegKind::rkBinary, {}, 0, bytes}; }
    bool operator==(const TRegValue &) const = default;
};

class TUserRegistry
{
public:
    // The store of the current user: "Vantor/settings.json" in the user's
    // configuration folder ($XDG_CONFIG_HOME, else ~/.config).
    static QString DefaultFileName();

    explicit TUserRegistry(const QString &fileName = DefaultFileName());

    QString FileName() const { return FFileName; }

    // True when the key, or a key below it, holds a value. Never fails: an
    // unreadable store has no keys.
    bool KeyExists(const QString &key) const;

    // The value, or nothing when the key or the value is missing, or the store
    // cannot be read.
    std::optional<TRegValue> Read(const QString &key, const QString &name) const;

    // Sets the values of `key` in one change of the file (the key is made when
    // missing). Returns false when the store cannot be written; the file is
    // then as it was. A store that exists but cannot be understood is kept
    // beside it as "<file>.bad" and a new one is begun.
    bool Write(const QString &key, const QList<QPair<QString, TRegValue>> &values);
    bool Write(const QString &key, const QString &name, const TRegValue &value)
    {
        return Write(key, {{name, value}});
    }

private:
    QString FFileName;
};
