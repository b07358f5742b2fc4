// The language file format: line ends, the two header lines, key lookup, and
// what a written file holds byte for byte.
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "LanguageFile.h"

using namespace Qt::StringLiterals;

class tst_LanguageFile : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir FDir;

    QString Write(const QString &name, const QByteArray &data)
    {
        const QString path = FDir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size())
            return QString();
        return path;
    }

private slots:
    void lines_data()
    {
        QTest::addColumn<QByteArray>("data");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("CR LF, LF and CR alike") << "a=1\r\nb=2\nc=3\rd=4\r\n"_ba
                                                << QStringList{u"a=1"_s, u"b=2"_s, u"c=3"_s, u"d=4"_s};
        QTest::newRow("unterminated last line counts") << "a=1\r\nb=2"_ba << QStringList{u"a=1"_s, u"b=2"_s};
        QTest::newRow("empty lines count") << "\r\n\n\r\r\nx"_ba
                                           << QStringList{QString(), QString(), QString(), QString(), u"x"_s};
        QTest::newRow("LF CR is two line ends") << "a\n\rb"_ba << QStringList{u"a"_s, QString(), u"b"_s};
        QTest::newRow("nothing trimmed") << " a = b \t\r\n"_ba << QStringList{u" a = b \t"_s};
        QTest::newRow("NUL ends the text") << "a=1\r\nb=2\0c=3\r\n"_ba << QStringList{u"a=1"_s, u"b=2"_s};
        QTest::newRow("UTF-8 text") << "w.l=Größe 大小\r\n"_ba << QStringList{u"w.l=Größe 大小"_s};
        QTest::newRow("empty file") << QByteArray() << QStringList{};
    }

    void lines()
    {
        QFETCH(QByteArray, data);
        QFETCH(QStringList, lines);
        const QString path = Write(u"lines.bab"_s, data);
        QCOMPARE(LanguageFile::ReadLines(path), lines);
        QCOMPARE(LanguageFile::ReadFirstLine(path), lines.value(0));
    }

    void headers_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("menuName"); // null: no header
        QTest::addColumn<QString>("helpFile");
        QTest::newRow("both headers") << u"menuname:Deutsch"_s << u"helpfile:de/Vantor.html"_s << u"Deutsch"_s
                                      << u"de/Vantor.html"_s;
        QTest::newRow("blank after the prefix is part of the name")
            << u"menuname: Deutsch "_s << u"helpfile:"_s << u" Deutsch "_s << QString();
        QTest::newRow("blank before the prefix") << u" menuname:Deutsch"_s << u"x"_s << QString() << QString();
        QTest::newRow("byte order mark before the prefix")
            << u"\uFEFFmenuname:Deutsch"_s << u"x"_s << QString() << QString();
        QTest::newRow("capitals are no header") << u"MENUNAME:Deutsch"_s << u"HELPFILE:x"_s << QString() << QString();
        QTest::newRow("empty display name") << u"menuname:"_s << u"formMain.miFile=Datei"_s << u""_s << QString();
        QTest::newRow("second line an ordinary entry")
            << u"menuname:X"_s << u"formMain.miFile=Datei"_s << u"X"_s << QString();
    }

    void headers()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, menuName);
        QFETCH(QString, helpFile);
        QCOMPARE(LanguageFile::MenuName(first).isNull(), menuName.isNull());
        QCOMPARE(LanguageFile::MenuName(first), menuName);
        QCOMPARE(LanguageFile::HelpFile(second), helpFile);
    }

    void lookup_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain") << u"w.a"_s << u"Eins"_s;
        QTest::newRow("key regardless of case") << u"W.A"_s << u"Eins"_s;
        QTest::newRow("text holding =") << u"w.b"_s << u"x = y = z"_s;
        QTest::newRow("first occurrence wins") << u"w.c"_s << u"first"_s;
        QTest::newRow("empty text keeps the default") << u"w.d"_s << u"default"_s;
        QTest::newRow("empty first occurrence hides a later one") << u"w.e"_s << u"default"_s;
        QTest::newRow("missing key") << u"w.z"_s << u"default"_s;
        QTest::newRow("blanks are part of the key") << u"w.f"_s << u"default"_s;
        QTest::newRow("header line never matches a key") << u"menuname:X"_s << u"default"_s;
    }

    void lookup()
    {
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QStringList lines{u"menuname:X"_s, u"helpfile:"_s, u"w.a=Eins"_s,     u"w.b=x = y = z"_s,
                                u"w.c=first"_s,  u"w.c=second"_s, u"w.d="_s,        u"w.e="_s,
                                u"w.e=later"_s,  u"w.f =blank"_s, u"no equals here"_s};
        QCOMPARE(LanguageFile::Lookup(lines, key, u"default"_s), expected);
    }

    void writeEndsEveryLineWithCrLf()
    {
        const QString path = FDir.filePath(u"out.bab"_s);
        Write(u"out.bab"_s, "old content that is longer than the new one\r\n"_ba);
        LanguageFile::WriteLines(path, {u"w.a=Ä"_s, u"w.b=two\nlines"_s, u"w.c=x\r\ny"_s, u"w.d="_s});
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "w.a=\xc3\x84\r\nw.b=two\r\nlines\r\nw.c=x\r\ny\r\nw.d=\r\n"_ba);
        // Read back, a caption with a line break is two lines: the second part
        // no longer belongs to the entry.
        QCOMPARE(LanguageFile::ReadLines(path),
                 QStringList({u"w.a=Ä"_s, u"w.b=two"_s, u"lines"_s, u"w.c=x"_s, u"y"_s, u"w.d="_s}));
    }

    void failuresName_data()
    {
        QTest::addColumn<QString>("operation");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("prefix");
        const QString missing = FDir.filePath(u"missing/x.bab"_s);
        QTest::newRow("read a missing file") << u"read"_s << missing << u"Cannot open file \"%1\". "_s.arg(missing);
        QTest::newRow("first line of a folder")
            << u"first"_s << FDir.path() << u"Cannot open file \"%1\". "_s.arg(FDir.path());
        QTest::newRow("write into a missing folder")
            << u"write"_s << missing << u"Cannot create file \"%1\". "_s.arg(missing);
    }

    void failuresName()
    {
        QFETCH(QString, operation);
        QFETCH(QString, path);
        QFETCH(QString, prefix);
        try {
            if (operation == u"read"_s)
                LanguageFile::ReadLines(path);
            else if (operation == u"first"_s)
                LanguageFile::ReadFirstLine(path);
            else
                LanguageFile::WriteLines(path, {u"a=b"_s});
            QFAIL("no error");
        } catch (const ELanguageError &error) {
            // The file layer's reason follows the path.
            QVERIFY2(error.Message().startsWith(prefix) && error.Message().size() > prefix.size(),
                     qPrintable(error.Message()));
        }
    }

    void iconPath()
    {
        QCOMPARE(LanguageFile::IconPath(u"/p/Languages/English.bab"_s), u"/p/Languages/English.ico"_s);
        QCOMPARE(LanguageFile::IconPath(u"/p/Languages/x.lang"_s), u"/p/Languages/x..ico"_s);
    }
};

QTEST_GUILESS_MAIN(tst_LanguageFile)
#include "tst_LanguageFile.moc"
