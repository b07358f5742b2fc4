// Shell open: the seam records, the real path starts an executable detached.
#include "ShellOpen.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_ShellOpen : public QObject
{
    Q_OBJECT
private slots:
    void seamSeesTargetAndParameters();
    void executableRunsDetachedWithSplitParameters();
};

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

void tst_ShellOpen::executableRunsDetachedWithSplitParameters()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString script = dir.filePath(QStringLiteral("write marker.sh"));
    const QString marker = dir.filePath(QStringLiteral("marker"));
    QFile f(script);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$(dirname \"$0\")/marker.tmp\"\n"
            "mv \"$(dirname \"$0\")/marker.tmp\" \"$(dirname \"$0\")/marker\"\n");
    f.close();
    QVERIFY(f.setPermissions(f.permissions() | QFileDevice::ExeOwner));

    OpenWithShell(script, QStringLiteral("one \"two words\""));
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(marker), 10000);
    QFile m(marker);
    QVERIFY(m.open(QIODevice::ReadOnly));
    QCOMPARE(m.readAll(), QByteArray("one\ntwo words\n"));
}

QTEST_GUILESS_MAIN(tst_ShellOpen)
#include "tst_ShellOpen.moc"
