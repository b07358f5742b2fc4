// Descriptor lists of any length: every file, Info line, folder and program of
// a large update is read, in file order (a list cut short would leave an
// update incomplete and still report it done).
#include "Descriptor.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class tst_DescriptorLists : public QObject
{
    Q_OBJECT
private slots:
    void everyEntryOfLongListsIsRead();
};

void tst_DescriptorLists::everyEntryOfLongListsIsRead()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    constexpr int files = 5000;
    QByteArray data = "[2.0\\Info]\r\n";
    for (int i = 0; i < 3000; ++i)
        data += "Line " + QByteArray::number(i) + " of the notes\r\n";
    data += "[2.0\\UpdateID]\r\nUpdateID=9\r\n[2.0\\Files\\FTP]\r\n";
    for (int i = 0; i < files; ++i)
        data += "/pub/app/data/file" + QByteArray::number(i) + ".dat=data\\file" + QByteArray::number(i) + ".dat\r\n";
    data += "[2.0\\Files\\HTTP]\r\n";
    for (int i = 0; i < files; ++i)
        data += "http://h/app/file" + QByteArray::number(i) + ".dat=file" + QByteArray::number(i) + ".dat\r\n";
    data += "[2.0\\Run]\r\n";
    for (int i = 0; i < 2500; ++i)
        data += QByteArray::number(i) + "=tool" + QByteArray::number(i) + "|--n=" + QByteArray::number(i) + "\r\n";
    const QString path = dir.filePath(QStringLiteral("update.ini"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
    f.close();

    QStringList info;
    bool details = true;
    QCOMPARE(ReadDescriptorInfo(path, QStringLiteral("2.0"), info, details), 9);
    QCOMPARE(info.size(), 3000);
    QCOMPARE(info.constLast(), QStringLiteral("Line 2999 of the notes"));

    QStringList ftpList, httpList, runList;
    ReadFileLists(path, QStringLiteral("2.0"), ftpList, httpList);
    QCOMPARE(ftpList.size(), files);
    QCOMPARE(httpList.size(), files);
    QCOMPARE(ftpList.constLast(), QStringLiteral("/pub/app/data/file4999.dat=data\\file4999.dat"));
    QCOMPARE(httpList.at(1234), QStringLiteral("http://h/app/file1234.dat=file1234.dat"));
    ReadRunList(path, QStringLiteral("2.0"), runList);
    QCOMPARE(runList.size(), 2500);
    QCOMPARE(runList.constLast(), QStringLiteral("2499=tool2499|--n=2499"));
}

QTEST_GUILESS_MAIN(tst_DescriptorLists)
#include "tst_DescriptorLists.moc"
