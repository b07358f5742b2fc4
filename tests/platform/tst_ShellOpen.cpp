// Shell open: the seam records; the real path starts programs detached and
// hands everything else to the desktop's handler (a stand-in xdg-open here).
#include "ShellOpen.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

namespace {

bool WriteFile(const QString &path, const QByteArray &data, bool executable)
{
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(data) != data.size())
        return false;
    f.close();
    const QFileDevice::Permissions base = QFileDevice::ReadOwner | QFileDevice::WriteOwner;
    return f.setPermissions(executable ? base | QFileDevice::ExeOwner : base);
}

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes its arguments, one a line, to "<its own path>.out" (atomically, so a
// reader never sees half of it).
const QByteArray kScript = "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.tmp\" && mv \"$0.tmp\" \"$0.out\"\n";

} // namespace

class tst_ShellOpen : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void cleanupTestCase();
    void seamSeesTargetAndParameters();
    void programsStartDocumentsOpen_data();
    void programsStartDocumentsOpen();
    void programHead_data();
    void programHead();

private:
    QTemporaryDir m_dir;
    QByteArray m_oldPath;
};

void tst_ShellOpen::initTestCase()
{
    QVERIFY(m_dir.isValid());
    // The desktop's handler, as the tests see it: records what it was asked
    // to open instead of opening anything on this machine.
    QVERIFY(QDir().mkpath(m_dir.filePath(QStringLiteral("bin"))));
    QVERIFY(WriteFile(m_dir.filePath(QStringLiteral("bin/xdg-open")),
                      "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/../xdg.tmp\" && "
                      "mv \"$(dirname \"$0\")/../xdg.tmp\" \"$(dirname \"$0\")/../xdg.out\"\n",
                      true));
    m_oldPath = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(m_dir.filePath(QStringLiteral("bin"))) + ':' + m_oldPath);
}

void tst_ShellOpen::cleanupTestCase()
{
    qputenv("PATH", m_oldPath);
}

void tst_ShellOpen::seamSeesTargetAndParameters()
{
    QStringList seen;
    SetShellOpenHandler([&](const QString &t, const QString &p) { seen << t + u'|' + p; });
    OpenWithShell(QStringLiteral("/tmp/a.txt"));
    OpenWithShell(QString()); // nothing to open: the handler is not called
    OpenWithShell(QStringLiteral("/opt/setup"), QStringLiteral("/S /D"));
    SetShellOpenHandler({});
    QCOMPARE(seen, QStringList({QStringLiteral("/tmp/a.txt|"), QStringLiteral("/opt/setup|/S /D")}));
}

void tst_ShellOpen::programsStartDocumentsOpen_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content"); // "<touch>": a copy of the ELF program touch
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QString>("parameters");
    QTest::addColumn<bool>("started"); // else handed to xdg-open

    QTest::newRow("script, split parameters") << QStringLiteral("write marker.sh") << kScript << true
                                              << QStringLiteral("one \"two words\"") << true;
    QTest::newRow("ELF program") << QStringLiteral("toucher") << QByteArray("<touch>") << true << QString() << true;
    QTest::newRow("document") << QStringLiteral("notes.txt") << QByteArray("plain notes\n") << false
                              << QStringLiteral("-ignored") << false;
    // File systems that mark every file executable must not turn documents
    // into programs.
    QTest::newRow("document with an execute bit") << QStringLiteral("notes2.txt") << QByteArray("plain notes\n") << true
                                                  << QString() << false;
    QTest::newRow("script without an execute bit") << QStringLiteral("plain.sh") << kScript << false << QString() << false;
}

void tst_ShellOpen::programsStartDocumentsOpen()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, executable);
    QFETCH(QString, parameters);
    QFETCH(bool, started);

    const QString target = m_dir.filePath(name);
    QString out = target + QStringLiteral(".out");
    QByteArray expected = "one\ntwo words\n";
    if (content == "<touch>") {
        QVERIFY(QFile::copy(QStringLiteral("/usr/bin/touch"), target));
        parameters = out; // touch makes the marker
        expected.clear();
    } else {
        QVERIFY(WriteFile(target, content, executable));
    }
    const QString xdgOut = m_dir.filePath(QStringLiteral("xdg.out"));
    QFile::remove(xdgOut);

    OpenWithShell(target, parameters);
    if (!started) {
        out = xdgOut;
        expected = QFile::encodeName(target) + '\n';
    }
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(out), 10000);
    QCOMPARE(ReadAll(out), expected);
    // Exactly one of the two ways was taken.
    QVERIFY(started ? !QFile::exists(xdgOut) : !QFile::exists(target + QStringLiteral(".out")));
}

void tst_ShellOpen::programHead_data()
{
    QTest::addColumn<QByteArray>("head");
    QTest::addColumn<bool>("program");
    QTest::newRow("ELF") << QByteArray("\x7f" "ELF\x02\x01", 6) << true;
    QTest::newRow("#! script") << QByteArray("#!/bin/sh\n") << true;
    QTest::newRow("#! alone") << QByteArray("#!") << true;
    QTest::newRow("empty") << QByteArray() << false;
    QTest::newRow("text") << QByteArray("hello") << false;
    QTest::newRow("comment") << QByteArray("# !/bin/sh") << false;
    QTest::newRow("ELF cut short") << QByteArray("\x7f" "EL", 3) << false;
    QTest::newRow("MZ program") << QByteArray("MZ\x90\x00", 4) << false;
}

void tst_ShellOpen::programHead()
{
    QFETCH(QByteArray, head);
    QFETCH(bool, program);
    QCOMPARE(IsProgramHead(head), program);
}

QTEST_GUILESS_MAIN(tst_ShellOpen)
#include "tst_ShellOpen.moc"
