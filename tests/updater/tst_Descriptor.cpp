// The update descriptor: its sections, targets, folders and programs over real
// files and folders; the shell is watched through its seam, and once for real.
#include "Descriptor.h"
#include "Downloads.h"
#include "ShellOpen.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {
QStringList L(std::initializer_list<const char *> items)
{
    QStringList list;
    for (const char *item : items)
        list << QString::fromUtf8(item);
    return list;
}
} // namespace

class tst_Descriptor : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();
    void exampleEndToEnd();
    void cases_data();
    void cases();
    void programStartsForReal();

private:
    QString writeDescriptor(QByteArray text);
    QString expand(QString text) const;
    std::unique_ptr<QTemporaryDir> root;
    QString install; // the install folder, with its trailing "/"
    QString work;    // the working folder
    QStringList opened;
};

void tst_Descriptor::init()
{
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    install = root->filePath(QStringLiteral("app")) + u'/';
    work = root->filePath(QStringLiteral("work"));
    QVERIFY(QDir().mkpath(install) && QDir().mkpath(work));
    QVERIFY(QDir::setCurrent(work));
    opened.clear();
    SetShellOpenHandler([this](const QString &t, const QString &p) { opened << t + u'|' + p; });
}

void tst_Descriptor::cleanup()
{
    SetShellOpenHandler({});
    QDir::setCurrent(QDir::tempPath());
}

QString tst_Descriptor::expand(QString text) const
{
    return text.replace(QStringLiteral("%I"), install).replace(QStringLiteral("%R"), root->path());
}

QString tst_Descriptor::writeDescriptor(QByteArray text)
{
    text.replace("%I", install.toUtf8()).replace("%R", root->path().toUtf8());
    const QString path = work + QStringLiteral("/update.ini");
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write descriptor");
    f.write(text);
    return path;
}

void tst_Descriptor::exampleEndToEnd()
{
    const QString path = writeDescriptor(
        "[2.0\\Info]\r\nVersion 2.1 improves scheduling.\r\nPlease close the main program first.\r\n"
        "[ShowDetails]\r\nShow=1\r\n"
        "[2.0\\UpdateID]\r\nUpdateID=7\r\n"
        "[2.0\\Files\\FTP]\r\n/pub/app/app.exe=app.exe\r\n/pub/app/notes.txt=%R/notes.txt*\r\n"
        "/pub/app/de.bab=Languages\\de.bab\r\n/pub/app/none.txt=\r\n"
        "[2.0\\Files\\HTTP]\r\nhttp://h/app.exe=app.exe\r\n"
        "[2.0\\Directory]\r\nLanguages=1\r\n"
        "[2.0\\Run]\r\n1=app.exe|/quiet\r\n2=%R/notes.txt*\r\n");
    QStringList info;
    bool details = false;
    QCOMPARE(ReadDescriptorInfo(path, QStringLiteral("2.0"), info, details), 7);
    QCOMPARE(info, QStringList({QStringLiteral("Version 2.1 improves scheduling."),
                                QStringLiteral("Please close the main program first.")}));
    QVERIFY(details);

    QStringList ftpList, httpList, runList;
    ReadFileLists(path, QStringLiteral("2.0"), ftpList, httpList);
    ReadRunList(path, QStringLiteral("2.0"), runList);
    QCOMPARE(httpList, QStringList({QStringLiteral("http://h/app.exe=app.exe")}));
    QCOMPARE(runList.size(), 2);

    // Targets: below the install folder, or as written before the "*"; the
    // descriptor's "\" becomes a folder step; an entry without target is dropped.
    QStringList log;
    const QStringList taken = TakeFileEntries(ftpList, true, [&](const QString &l) { log << l; });
    QStringList targets;
    for (const QString &e : taken)
        targets << DownloadTarget(e.mid(e.indexOf(u'=') + 1), install);
    QCOMPARE(targets, QStringList({install + QStringLiteral("app.exe"), root->filePath(QStringLiteral("notes.txt")),
                                   install + QStringLiteral("Languages/de.bab")}));
    QCOMPARE(log, QStringList({QStringLiteral("Skipped: /pub/app/none.txt")}));

    log.clear();
    CreateDirectories(path, QStringLiteral("2.0"), install, details, [&](const QString &l) { log << l; });
    QVERIFY(QFileInfo(install + QStringLiteral("Languages")).isDir());
    QCOMPARE(log, QStringList({QStringLiteral("Created: ") + install + QStringLiteral("Languages")}));

    // The relative program is opened only once it exists.
    RunPrograms(runList, install);
    QCOMPARE(opened, QStringList({root->filePath(QStringLiteral("notes.txt")) + u'|'}));
    opened.clear();
    QFile exe(install + QStringLiteral("app.exe"));
    QVERIFY(exe.open(QIODevice::WriteOnly));
    exe.close();
    RunPrograms(runList, install);
    QCOMPARE(opened, QStringList({install + QStringLiteral("app.exe|/quiet"),
                                  root->filePath(QStringLiteral("notes.txt")) + u'|'}));
}

void tst_Descriptor::cases_data()
{
    QTest::addColumn<QByteArray>("descriptor");
    QTest::addColumn<QString>("version");
    QTest::addColumn<QStringList>("existing"); // files and folders (ending "/") made first
    QTest::addColumn<QStringList>("info");
    QTest::addColumn<int>("updateId");
    QTest::addColumn<bool>("details");
    QTest::addColumn<QStringList>("log");     // of CreateDirectories
    QTest::addColumn<QStringList>("folders"); // that exist afterwards
    QTest::addColumn<QStringList>("opened");

    QTest::newRow("info keys only, comments and blanks skipped")
        << QByteArray("[V\\Info]\r\nChanges=none\r\n; hidden\r\n\r\nFree text, shown whole\r\n[V\\UpdateID]\r\nUpdateID=0x10\r\n")
        << "V" << QStringList() << L({"Changes", "Free text, shown whole"}) << 16 << false
        << QStringList() << QStringList() << QStringList();
    QTest::newRow("Show=yes keeps details off")
        << QByteArray("[showdetails]\r\nShow=yes\r\n[V\\Directory]\r\nLanguages=1\r\n")
        << "V" << L({"%ILanguages/"}) << QStringList() << 0 << false
        << QStringList() << L({"%ILanguages", "Languages"}) << QStringList();
    QTest::newRow("existing folder, details on")
        << QByteArray("[ShowDetails]\r\nShow=1\r\n[V\\Directory]\r\nLanguages=1\r\nSkins=0\r\n")
        << "V" << L({"%ILanguages/"}) << QStringList() << 0 << true
        << L({"Can not create: %ILanguages"}) << L({"%ILanguages"}) << QStringList();
    QTest::newRow("nested before its parent")
        << QByteArray("[ShowDetails]\r\nShow=1\r\n[V\\Directory]\r\nSub\\Deep=1\r\nSub=1\r\n")
        << "V" << QStringList() << QStringList() << 0 << true
        << L({"Can not create: %ISub/Deep", "Created: %ISub"}) << L({"%ISub"})
        << QStringList();
    QTest::newRow("missing program, document, absolute with parameters")
        << QByteArray("[V\\Run]\r\n1=setup.exe|/S\r\n2=notes.txt\r\n3=%R/tools/tool.exe|-a*\r\n4=|x\r\n")
        << "V" << L({"%Inotes.txt"}) << QStringList() << 0 << false
        << QStringList() << QStringList() << L({"%Inotes.txt|", "%R/tools/tool.exe|-a"});
    QTest::newRow("empty version tag")
        << QByteArray("[\\Info]\r\nFor all\r\n[\\UpdateID]\r\nUpdateID=3\r\n[Info]\r\nNot this\r\n"
                      "[\\Directory]\r\nData=1\r\n[\\Run]\r\n1=%R/go*\r\n")
        << "" << QStringList() << L({"For all"}) << 3 << false
        << QStringList() << L({"%IData"}) << L({"%R/go|"});
    QTest::newRow("another version's sections")
        << QByteArray("[1.0\\Info]\r\nOld\r\n[1.0\\UpdateID]\r\nUpdateID=9\r\n[1.0\\Directory]\r\nX=1\r\n")
        << "2.0" << QStringList() << QStringList() << 0 << false
        << QStringList() << QStringList() << QStringList();
}

void tst_Descriptor::cases()
{
    QFETCH(QByteArray, descriptor);
    QFETCH(QString, version);
    QFETCH(QStringList, existing);
    QFETCH(QStringList, info);
    QFETCH(int, updateId);
    QFETCH(bool, details);
    QFETCH(QStringList, log);
    QFETCH(QStringList, folders);
    QFETCH(QStringList, opened);

    for (const QString &e : existing) {
        const QString p = expand(e);
        if (p.endsWith(u'/')) {
            QVERIFY(QDir().mkpath(p));
        } else {
            QFile f(p);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
    }
    const QString path = writeDescriptor(descriptor);
    QStringList readInfo;
    bool readDetails = !details;
    QCOMPARE(ReadDescriptorInfo(path, version, readInfo, readDetails), updateId);
    QCOMPARE(readInfo, info);
    QCOMPARE(readDetails, details);

    QStringList seenLog;
    CreateDirectories(path, version, install, readDetails, [&](const QString &l) { seenLog << l; });
    for (QString &l : log)
        l = expand(l);
    QCOMPARE(seenLog, log);
    QStringList made;
    for (const QString &p : QDir(install).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        made << install + p;
    for (const QString &p : QDir(work).entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        made << p;
    for (QString &f : folders)
        f = expand(f);
    QCOMPARE(made, folders);

    QStringList runList;
    ReadRunList(path, version, runList);
    RunPrograms(runList, install);
    for (QString &o : opened)
        o = expand(o);
    QCOMPARE(this->opened, opened);
}

void tst_Descriptor::programStartsForReal()
{
    SetShellOpenHandler({});
    QFile script(install + QStringLiteral("post.sh"));
    QVERIFY(script.open(QIODevice::WriteOnly));
    script.write("#!/bin/sh\nprintf '%s\\n' \"$PWD\" \"$@\" > marker.tmp && mv marker.tmp marker\n");
    script.close();
    QVERIFY(script.setPermissions(script.permissions() | QFileDevice::ExeOwner));

    RunPrograms({QStringLiteral("1=post.sh|-a \"two words\"")}, install);
    // The program inherits the working folder, where it leaves its marker.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(work + QStringLiteral("/marker")), 10000);
    QFile marker(work + QStringLiteral("/marker"));
    QVERIFY(marker.open(QIODevice::ReadOnly));
    QCOMPARE(QString::fromUtf8(marker.readAll()), work + QStringLiteral("\n-a\ntwo words\n"));
}

QTEST_GUILESS_MAIN(tst_Descriptor)
#include "tst_Descriptor.moc"
