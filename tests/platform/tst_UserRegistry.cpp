// The user's settings store: names found whatever their case, kinds kept, a
// file that is always whole, nothing lost when two programs save at once, and
// a damaged file kept rather than overwritten.
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <thread>
#include <unistd.h>

#include "UserRegistry.h"

using namespace Qt::StringLiterals;

class tst_UserRegistry : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;
    QString FileName() const { return FDir.filePath(u"Vantor/settings.json"_s); }

private slots:
    void init()
    {
        QDir(FDir.filePath(u"Vantor"_s)).removeRecursively();
    }

    void defaultFileIsInTheConfigFolder()
    {
        // CTest points XDG_CONFIG_HOME at the test's own folder.
        const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
        QVERIFY(!config.isEmpty());
        QCOMPARE(TUserRegistry::DefaultFileName(), config + u"/Vantor/settings.json"_s);
    }

    void kindsKeptAndNamesMatchedWithoutCase()
    {
        TUserRegistry reg(FileName());
        QVERIFY(!reg.KeyExists(u"\\software\\Zarnoth\\Vantor"_s));
        QVERIFY(!reg.Read(u"\\software\\Zarnoth\\Vantor"_s, u"LastConfig"_s));

        QVERIFY(reg.Write(u"\\software\\Zarnoth\\Vantor\\"_s, u"LastConfig"_s, TRegValue::String(u"/j/ä b.vnt"_s)));
        QVERIFY(reg.Write(u"\\software\\Zarnoth\\Vantor\\Options"_s,
                          {{u"Start Disabled"_s, TRegValue::DWord(0)},
                           {u"Big"_s, TRegValue::DWord(0xFFFFFFFFu)},
                           {u"Raw"_s, TRegValue::Binary(QByteArray("\0\x01\xff", 3))}}));
        // Another spelling of an existing name replaces the value, not adds one.
        QVERIFY(reg.Write(u"SOFTWARE\\zarnoth\\VANTOR\\options"_s, u"start DISABLED"_s, TRegValue::DWord(1)));

        // A fresh reader sees what is on disk, by any spelling.
        const TUserRegistry again(FileName());
        QCOMPARE(again.Read(u"software\\zarnoth\\vantor"_s, u"lastconfig"_s), TRegValue::String(u"/j/ä b.vnt"_s));
        QCOMPARE(again.Read(u"\\Software\\Zarnoth\\Vantor\\Options\\"_s, u"Start Disabled"_s), TRegValue::DWord(1));
        QCOMPARE(again.Read(u"\\software\\Zarnoth\\Vantor\\Options"_s, u"Big"_s), TRegValue::DWord(0xFFFFFFFFu));
        QCOMPARE(again.Read(u"\\software\\Zarnoth\\Vantor\\Options"_s, u"Raw"_s),
                 TRegValue::Binary(QByteArray("\0\x01\xff", 3)));
        // A parent key exists through its subkeys; a name in another key is not found.
        QVERIFY(again.KeyExists(u"\\SOFTWARE\\Zarnoth"_s));
        QVERIFY(!again.KeyExists(u"\\software\\Zarnoth\\Vantor\\Opt"_s));
        QVERIFY(!again.Read(u"\\software\\Zarnoth\\Vantor"_s, u"Big"_s));

        // The first spelling is the one kept, and only one value was stored for it.
        QFile file(FileName());
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QCOMPARE(text.count("Start Disabled"), 1);
        QVERIFY(!text.contains("start DISABLED"));
    }

    // Values written by hand (or by a later version) in a shape this one does
    // not know are not there for the reader, and survive its writes.
    void foreignValuesReadAsMissingAndAreKept()
    {
        QVERIFY(QDir().mkpath(QFileInfo(FileName()).path()));
        QFile file(FileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"format":1,"keys":[{"key":"software\\Zarnoth\\Vantor","values":[
            {"name":"A","kind":"dword","data":-1},
            {"name":"B","kind":"dword","data":1.5},
            {"name":"C","kind":"string","data":5},
            {"name":"D","kind":"qword","data":"7"}]}]})");
        file.close();
        TUserRegistry reg(FileName());
        for (const char *name : {"A", "B", "C", "D"})
            QVERIFY2(!reg.Read(u"\\software\\Zarnoth\\Vantor"_s, QString::fromLatin1(name)), name);
        QVERIFY(reg.Write(u"\\software\\Zarnoth\\Vantor"_s, u"E"_s, TRegValue::String(u"e"_s)));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.contains("qword"));
        QVERIFY(text.contains("1.5"));
    }

    void damagedFileKeptBesideAndBegunAnew()
    {
        QVERIFY(QDir().mkpath(QFileInfo(FileName()).path()));
        QFile file(FileName());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("{\"keys\": [ half a file");
        file.close();
        TUserRegistry reg(FileName());
        QVERIFY(!reg.KeyExists(u"\\software"_s));
        QVERIFY(reg.Write(u"\\software\\Zarnoth\\Vantor"_s, u"LastConfig"_s, TRegValue::String(u"x"_s)));
        QCOMPARE(reg.Read(u"\\software\\Zarnoth\\Vantor"_s, u"LastConfig"_s), TRegValue::String(u"x"_s));
        QFile bad(FileName() + u".bad"_s);
        QVERIFY(bad.open(QIODevice::ReadOnly));
        QCOMPARE(bad.readAll(), QByteArray("{\"keys\": [ half a file"));
        // No temporary file is left in the folder.
        QCOMPARE(QDir(QFileInfo(FileName()).path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList({u"settings.json"_s, u"settings.json.bad"_s}));
    }

    // A file where the settings folder should be: the write says it failed.
    void blockedFolderFails()
    {
        QFile blocker(FDir.filePath(u"Vantor"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        TUserRegistry reg(FileName());
        QVERIFY(!reg.Write(u"\\k"_s, u"v"_s, TRegValue::DWord(1)));
        QVERIFY(!reg.Read(u"\\k"_s, u"v"_s));
        QVERIFY(blocker.remove());
    }

    void unwritableFolderFailsAndKeepsTheFile()
    {
        TUserRegistry reg(FileName());
        QVERIFY(reg.Write(u"\\k"_s, u"v"_s, TRegValue::DWord(1)));
        const QString folder = QFileInfo(FileName()).path();
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (QFileInfo(folder).isWritable() || ::geteuid() == 0) {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
            QSKIP("Folder permissions do not hold for this user (root)");
        }
        const bool written = reg.Write(u"\\k"_s, u"v"_s, TRegValue::DWord(2));
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QVERIFY(!written);
        QCOMPARE(reg.Read(u"\\k"_s, u"v"_s), TRegValue::DWord(1));
    }

    // Two programs saving at the same moment: every value of both arrives.
    void concurrentWritersLoseNothing()
    {
        const auto writer = [this](const QString &prefix) {
            TUserRegistry reg(FileName());
            for (int i = 0; i < 40; ++i)
                reg.Write(u"\\software\\Zarnoth\\Vantor"_s, prefix + QString::number(i), TRegValue::DWord(quint32(i)));
        };
        std::thread a(writer, u"a"_s);
        std::thread b(writer, u"b"_s);
        a.join();
        b.join();
        const TUserRegistry reg(FileName());
        for (int i = 0; i < 40; ++i) {
            QCOMPARE(reg.Read(u"\\software\\Zarnoth\\Vantor"_s, u"a"_s + QString::number(i)), TRegValue::DWord(quint32(i)));
            QCOMPARE(reg.Read(u"\\software\\Zarnoth\\Vantor"_s, u"b"_s + QString::number(i)), TRegValue::DWord(quint32(i)));
        }
    }
};

QTEST_GUILESS_MAIN(tst_UserRegistry)
#include "tst_UserRegistry.moc"
