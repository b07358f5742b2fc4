// The log box on its own: it follows the end of the log until the user scrolls
// away, rows are found where they are painted at any scroll position, mouse and
// keyboard selections copy the right lines in order, and long lines can be
// scrolled to.
#include <QApplication>
#include <QClipboard>
#include <QScrollBar>
#include <QTest>
#include <utility>

#include "ut_LogView.h"

using namespace Qt::StringLiterals;

class tst_ut_LogView : public QObject
{
    Q_OBJECT

private:
    static void AddLines(TLogView &view, int from, int count)
    {
        for (int i = from; i < from + count; ++i)
            view.AddLine(u"line %1"_s.arg(i));
        view.Flush();
    }
    // The line shown at the top and the one shown last, wholly visible.
    static std::pair<int, int> Shown(const TLogView &view)
    {
        const QModelIndex top = view.indexAt(QPoint(5, 0));
        const int page = view.viewport()->height() / view.LineHeight();
        const QModelIndex last = view.indexAt(QPoint(5, (page - 1) * view.LineHeight()));
        return {top.isValid() ? top.row() : -1, last.isValid() ? last.row() : -1};
    }

private slots:
    void followsTheEndUntilScrolledAway()
    {
        TLogView view;
        view.resize(400, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        AddLines(view, 0, 3);
        QCOMPARE(Shown(view).first, 0);

        AddLines(view, 3, 997);
        QCOMPARE(Shown(view).second, 999);
        QVERIFY(view.viewport()->rect().contains(view.visualRect(view.model()->index(999, 0))));

        // Scrolled up by the user: new lines leave the view where it is.
        view.verticalScrollBar()->setValue(10);
        AddLines(view, 1000, 500);
        QCOMPARE(Shown(view).first, 10);
        QCOMPARE(view.model()->rowCount(), 1500);

        // Back at the end: it follows again.
        view.verticalScrollBar()->setValue(view.verticalScrollBar()->maximum());
        AddLines(view, 1500, 100);
        QCOMPARE(Shown(view).second, 1599);
        QCOMPARE(view.indexAt(QPoint(5, view.viewport()->height() - 1)).isValid(),
                 view.viewport()->height() % view.LineHeight() == 0);
    }

    void rowsAreFoundWherePainted_data()
    {
        QTest::addColumn<int>("scroll");
        QTest::newRow("top") << 0;
        QTest::newRow("middle") << 4321;
        QTest::newRow("end") << -1;
    }
    void rowsAreFoundWherePainted()
    {
        QFETCH(int, scroll);
        TLogView view;
        view.resize(400, 150);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        AddLines(view, 0, 10000);
        QScrollBar *bar = view.verticalScrollBar();
        bar->setValue(scroll < 0 ? bar->maximum() : scroll);
        const int first = bar->value();
        const int height = view.LineHeight();
        for (int offset = 0; offset * height < view.viewport()->height() && first + offset < 10000; ++offset) {
            const QModelIndex index = view.model()->index(first + offset, 0);
            const QRect rect = view.visualRect(index);
            QCOMPARE(rect.top(), offset * height);
            QCOMPARE(rect.height(), height);
            QCOMPARE(view.indexAt(rect.topLeft() + QPoint(3, 0)), index);
            QCOMPARE(view.indexAt(QPoint(3, rect.bottom())), index);
        }
        QCOMPARE(view.indexAt(QPoint(3, -1)), QModelIndex());
        if (scroll < 0)   // below the last line
            QCOMPARE(view.indexAt(QPoint(3, (10000 - first) * height)), QModelIndex());
        QVERIFY(!view.visualRect(view.model()->index(first + 1, 0)).intersects(
            view.visualRect(view.model()->index(first, 0))));
    }

    void selectionsCopyTheirLinesInOrder()
    {
        TLogView view;
        view.resize(400, 200);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        AddLines(view, 0, 300);
        view.verticalScrollBar()->setValue(100);
        const auto centre = [&view](int row) { return view.visualRect(view.model()->index(row, 0)).center(); };

        // Click, shift-click a line above, ctrl-click one more.
        QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, centre(105));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ShiftModifier, centre(102));
        QTest::mouseClick(view.viewport(), Qt::LeftButton, Qt::ControlModifier, centre(107));
        QTest::keySequence(&view, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(),
                 u"line 102\nline 103\nline 104\nline 105\nline 107"_s);

        // Keyboard: End, then two lines up with Shift.
        QTest::keyClick(&view, Qt::Key_End);
        QTest::keyClick(&view, Qt::Key_Up, Qt::ShiftModifier);
        QTest::keyClick(&view, Qt::Key_Up, Qt::ShiftModifier);
        QTest::keySequence(&view, QKeySequence::Copy);
        QCOMPARE(QApplication::clipboard()->text(), u"line 297\nline 298\nline 299"_s);
        QCOMPARE(Shown(view).second, 299);

        // Home and Page Down move by whole pages of lines.
        QTest::keyClick(&view, Qt::Key_Home);
        QCOMPARE(Shown(view).first, 0);
        QTest::keyClick(&view, Qt::Key_PageDown);
        QCOMPARE(view.currentIndex().row(), view.viewport()->height() / view.LineHeight());
    }

    void longLinesCanBeScrolledTo()
    {
        TLogView view;
        view.resize(300, 120);
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        AddLines(view, 0, 2);
        const QString tail = u" and the end of a long line"_s;
        view.AddLine(QString(200, u'x') + tail);
        view.Flush();
        QTRY_VERIFY(view.horizontalScrollBar()->maximum() > 0);
        const int needed = view.fontMetrics().horizontalAdvance(view.LogModel()->Line(2));
        QVERIFY(view.visualRect(view.model()->index(0, 0)).width() >= needed);
        view.horizontalScrollBar()->setValue(view.horizontalScrollBar()->maximum());
        QVERIFY(view.visualRect(view.model()->index(2, 0)).right() >= view.viewport()->width() - 1);
    }
};

QTEST_MAIN(tst_ut_LogView)
#include "tst_ut_LogView.moc"
