// Entry editor: the real dialog, opened by the main window's Add and Edit
// commands and driven by objectName, offscreen.
#include "LocaleFormats.h"
#include "TEntryList.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
#include "ut_Dialogs.h"
#include "ut_General.h"
#include "ut_classes.h"

#include <QApplication>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <cmath>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

// Scripted answers for the browse buttons; records what each dialog was given.
class TScriptedDialogs : public TDialogs
{
public:
    QString folderAnswer, fileAnswer;
    QStringList calls;
    QMessageBox::StandardButton Message(QWidget *, QMessageBox::Icon, const QString &text,
                                        QMessageBox::StandardButtons) override
    {
        calls << u"message:"_s + text;
        return QMessageBox::No;
    }
    QString OpenFileName(QWidget *, const QString &caption, const QString &dir, const QString &filter) override
    {
        calls << u"open:%1|%2|%3"_s.arg(caption, dir, filter);
        return fileAnswer;
    }
    QString SaveFileName(QWidget *, const QString &, const QString &, const QString &, const QString &) override
    {
        return {};
    }
    QString ExistingDirectory(QWidget *, const QString &, const QString &dir) override
    {
        calls << u"folder:"_s + dir;
        return folderAnswer;
    }
};

using TDialogScript = std::function<void(TformEditFile *)>;

// Runs `script` on the editor once its modal loop is running, then leaves the
// dialog (Cancel) if the script did not close it, so a failing check never
// leaves the test hanging in exec().
void OnEditor(TformMain &w, const TDialogScript &script)
{
    TformEditFile *f = EntryEditor(&w);
    QTimer::singleShot(0, f, [f, script] {
        QVERIFY(f->isVisible());
        script(f);
        if (f->isVisible())
            f->reject();
    });
}

void ChoosePeriod(TformEditFile *f, int period)
{
    f->cbSchedule->setCurrentIndex(period);
    emit f->cbSchedule->activated(period); // as a choice made in the list
}

void SelectRow(TformMain &w, int row)
{
    w.lvMain->selectionModel()->setCurrentIndex(w.FEntries->index(row, 0),
                                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

TDateTime Ole(int y, int mo, int d, int h = 0, int mi = 0, int s = 0)
{
    return OleFromDateTime(QDateTime(QDate(y, mo, d), QTime(h, mi, s)));
}

bool Near(double a, double b)
{
    return std::abs(a - b) < 1e-7; // well below one millisecond
}

} // namespace

class tst_frm_EditFile : public QObject
{
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();

    void dialogHasItsControls();
    void proposalFromSourceAndRoot_data();
    void proposalFromSourceAndRoot();
    void storedScheduleValues_data();
    void storedScheduleValues();
    void newEntryIsLastRunNowAndNextFromIt();
    void hourCountBelowOneIsRefused_data();
    void hourCountBelowOneIsRefused();
    void editShowsEntryAndKeepsEveryValue_data();
    void editShowsEntryAndKeepsEveryValue();
    void dailyTimeChangeDropsTheDate();
    void editCancelChangesNothing();
    void addAfterEditResetsSomeAndKeepsTheRest();
    void periodEnablesItsInputs_data();
    void periodEnablesItsInputs();
    void navigationKeysMoveAndNeverConfirm();
    void enterInEntryListOpensEditor_data();
    void enterInEntryListOpensEditor();
    void browseButtonsGoThroughTheSeam();
    void roundTripThroughJobList();

private:
    TScriptedDialogs FDialogs;
    QDateTime FNow;
};

void tst_frm_EditFile::initTestCase()
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    QStandardPaths::setTestModeEnabled(true);
    SetDialogs(&FDialogs);
    FNow = QDateTime(QDate(2024, 5, 6), QTime(10, 5, 0)); // a Monday
    SetCurrentDateTimeSource([this] { return FNow; });
}

void tst_frm_EditFile::init()
{
    FDialogs.calls.clear();
    FDialogs.folderAnswer.clear();
    FDialogs.fileAnswer.clear();
}

void tst_frm_EditFile::cleanupTestCase()
{
    SetCurrentDateTimeSource({});
    SetDialogs(nullptr);
}

void tst_frm_EditFile::dialogHasItsControls()
{
    TformMain w;
    TformEditFile *f = EntryEditor(&w);
    QCOMPARE(EntryEditor(&w), f); // one editor, reused
    QCOMPARE(f->objectName(), u"formEditFile"_s);
    f->show(); // the layout fits without growing the dialog
    QCOMPARE(f->size(), QSize(532, 508));
    f->hide();
    for (const char *name : {"edSrc", "edSrcFileMask", "edDest", "cbSchedule", "dtFixedDate", "dtFixedTime",
                             "dtDailyTime", "seHour", "cbWeekly", "dtWeekly", "cbMonthly", "dtMonthly",
                             "dtLastDate", "dtLastTime", "dtNextDate", "dtNextTime", "rbnothing", "rbreplicate",
                             "rbcopy", "edRunBefore", "edRunAfter", "btnOK", "btnCancel", "dlgFileMask",
                             "SpeedButton1", "SpeedButton2", "SpeedButton3", "SpeedButton4", "SpeedButton5"})
        QVERIFY2(f->findChild<QObject *>(QString::fromLatin1(name)), name);

    QStringList periods;
    for (int i = 0; i < f->cbSchedule->count(); ++i)
        periods << f->cbSchedule->itemText(i);
    QCOMPARE(periods, QStringList({u"No Schedule"_s, u"Fixed"_s, u"Daily"_s, u"Hourly"_s, u"Weekly"_s,
                                   u"Monthly"_s}));
    QCOMPARE(f->cbWeekly->count(), 7);
    QCOMPARE(f->cbWeekly->itemText(0), u"Monday"_s);
    QCOMPARE(f->cbWeekly->itemText(6), u"Sunday"_s);
    QCOMPARE(f->cbMonthly->count(), 32);
    QCOMPARE(f->cbMonthly->itemText(14), u"15"_s);
    QCOMPARE(f->cbMonthly->itemText(31), u"\t"_s);
    QVERIFY(f->btnOK->isDefault());
    // The boxes show the locale's formats, with a four-digit year.
    QCOMPARE(f->dtNextDate->displayFormat(), u"dd/MM/yyyy"_s);
    QCOMPARE(f->dtNextTime->displayFormat(), LongTimeFormat());
}

void tst_frm_EditFile::proposalFromSourceAndRoot_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("rootAfter");
    QTest::addColumn<QString>("proposed");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("entryDest");

    QTest::newRow("local path, root without separator")
        << u"/backup"_s << u"/data"_s << u"/backup/"_s << u"/backup/data"_s << u"/data"_s << u"/backup/data/"_s;
    QTest::newRow("deeper local path") << u"/backup/"_s << u"/home/ann/Docs"_s << u"/backup/"_s
                                       << u"/backup/home/ann/Docs"_s << u"/home/ann/Docs"_s
                                       << u"/backup/home/ann/Docs/"_s;
    QTest::newRow("network-style") << u"/backup/"_s << u"//server/share/dir"_s << u"/backup/"_s
                                   << u"/backup/server/share/dir"_s << u"//server/share/dir"_s
                                   << u"/backup/server/share/dir/"_s;
    QTest::newRow("root folder alone") << u"/backup/"_s << u"/"_s << u"/backup/"_s << u"/backup/"_s << u"/"_s
                                       << u"/backup/"_s;
    // No root: nothing proposed, the caption stays empty and the destination empty.
    QTest::newRow("empty root") << QString() << u"/data"_s << QString() << QString() << QString() << QString();
}

void tst_frm_EditFile::proposalFromSourceAndRoot()
{
    QFETCH(QString, root);
    QFETCH(QString, typed);
    QFETCH(QString, rootAfter);
    QFETCH(QString, proposed);
    QFETCH(QString, caption);
    QFETCH(QString, entryDest);

    TformMain w;
    w.edDef->setText(root);
    OnEditor(w, [&](TformEditFile *f) {
        QTest::keyClicks(f->edSrc, typed);
        QCOMPARE(w.edDef->text(), rootAfter);
        QCOMPARE(f->edDest->text(), proposed);
        QCOMPARE(f->windowTitle(), caption);
        f->edSrcFileMask->selectAll();
        QTest::keyClicks(f->edSrcFileMask, u"*.doc"_s);
        QTest::mouseClick(f->btnOK, Qt::LeftButton);
    });
    w.AddEntry();
    QCOMPARE(w.FEntries->Count(), 1);
    const TDataObject *e = w.FEntries->Entry(0);
    QCOMPARE(e->FSource, typed.endsWith(u'/') ? typed : typed + u'/');
    QCOMPARE(e->FDest, entryDest);
    QCOMPARE(e->FFileMask, u"*.doc"_s);
    QCOMPARE(e->FCopyType, quint8(ctReplicate));
    QVERIFY(w.FEntries->IsChecked(0));
}

void tst_frm_EditFile::storedScheduleValues_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("listText"); // weekly/monthly: item text chosen, or typed
    QTest::addColumn<QTime>("time");
    QTest::addColumn<int>("hours");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<int>("schedule");
    QTest::addColumn<double>("value");

    const QDate none;
    QTest::newRow("weekly Wednesday 18:00") << 4 << u"Wednesday"_s << QTime(18, 0) << 0 << none << 4 << 2.75;
    QTest::newRow("weekly typed text") << 4 << u"Someday"_s << QTime(6, 0) << 0 << none << 4 << -0.75;
    // Position 14 + 1 + 0.25: day 15, the item the user chose.
    QTest::newRow("monthly 15 at 06:00") << 5 << u"15"_s << QTime(6, 0) << 0 << none << 5 << 15.25;
    QTest::newRow("monthly 32nd item") << 5 << u"\t"_s << QTime(12, 0) << 0 << none << 5 << 32.5;
    QTest::newRow("monthly typed text") << 5 << u"40"_s << QTime(12, 0) << 0 << none << 5 << 0.5;
    QTest::newRow("hourly") << 3 << QString() << QTime() << 5 << none << 3 << 5.0;
    QTest::newRow("daily: time only") << 2 << QString() << QTime(21, 30) << 0 << none << 2 << 21.5 / 24;
    QTest::newRow("fixed: date and time") << 1 << QString() << QTime(14, 30) << 0 << QDate(2024, 3, 10) << 1
                                          << Ole(2024, 3, 10, 14, 30);
    QTest::newRow("no schedule") << 0 << QString() << QTime() << 0 << none << 0 << 0.0;
    QTest::newRow("no period chosen") << -1 << QString() << QTime() << 0 << none << -1 << 0.0;
}

void tst_frm_EditFile::storedScheduleValues()
{
    QFETCH(int, period);
    QFETCH(QString, listText);
    QFETCH(QTime, time);
    QFETCH(int, hours);
    QFETCH(QDate, date);
    QFETCH(int, schedule);
    QFETCH(double, value);

    TformMain w;
    OnEditor(w, [&](TformEditFile *f) {
        if (period >= 0)
            ChoosePeriod(f, period);
        // The inputs are changed the way the user changes them: the change
        // handlers of the boxes run.
        switch (period) {
        case skFixed:
            f->dtFixedDate->setDate(date);
            f->dtFixedTime->setTime(time);
            break;
        case skDaily:
            f->dtDailyTime->setTime(time);
            break;
        case skHourly:
            f->seHour->setValue(hours);
            break;
        case skWeekly:
        case skMonthly: {
            QComboBox *list = period == skWeekly ? f->cbWeekly : f->cbMonthly;
            const int item = list->findText(listText);
            if (item >= 0)
                list->setCurrentIndex(item);
            else
                list->setEditText(listText);
            (period == skWeekly ? f->dtWeekly : f->dtMonthly)->setTime(time);
            break;
        }
        default:
            break;
        }
        f->btnOK->click();
    });
    w.AddEntry();
    QCOMPARE(w.FEntries->Count(), 1);
    const TDataObject *e = w.FEntries->Entry(0);
    QCOMPARE(e->FSchedule, schedule);
    QVERIFY2(Near(e->FScheduleTime, value), qPrintable(QString::number(e->FScheduleTime, 'g', 17)));
}

void tst_frm_EditFile::newEntryIsLastRunNowAndNextFromIt()
{
    TformMain w;
    w.FModified = false;
    OnEditor(w, [&](TformEditFile *f) {
        // The Next Copy boxes play no part in a new entry.
        f->dtNextDate->setDate(QDate(2030, 1, 1));
        ChoosePeriod(f, skDaily);
        f->btnOK->click();
    });
    w.AddEntry();
    OnEditor(w, [&](TformEditFile *f) {
        ChoosePeriod(f, skHourly);
        f->seHour->setValue(3);
        f->btnOK->click();
    });
    w.AddEntry();
    QVERIFY(w.FModified);
    QCOMPARE(w.FEntries->Count(), 2);
    const TDateTime now = OleFromDateTime(FNow);
    QCOMPARE(w.FEntries->Entry(0)->FLastRun, now);
    QVERIFY(Near(w.FEntries->Entry(0)->FNextRun, now + 1));
    QVERIFY(Near(w.FEntries->Entry(1)->FNextRun, now + 3.0 / 24));
    QCOMPARE(w.FEntries->Text(0, ecLastCopy), u"06/05/2024 10:05:00"_s);
    QCOMPARE(w.FEntries->Text(0, ecNextCopy), u"07/05/2024 10:05:00"_s);
    QCOMPARE(w.FEntries->Text(1, ecSchedule), u"Every 3 Hour(s)"_s);

    // Cancel adds nothing.
    OnEditor(w, [&](TformEditFile *f) { f->btnCancel->click(); });
    w.AddEntry();
    QCOMPARE(w.FEntries->Count(), 2);
}

void tst_frm_EditFile::hourCountBelowOneIsRefused_data()
{
    QTest::addColumn<bool>("editing");
    QTest::addColumn<int>("hours");
    // 0 is what the spin box holds when Hourly is first chosen.
    QTest::newRow("add, 0 hours") << false << 0;
    QTest::newRow("add, negative") << false << -3;
    QTest::newRow("edit, 0 hours") << true << 0;
}

void tst_frm_EditFile::hourCountBelowOneIsRefused()
{
    QFETCH(bool, editing);
    QFETCH(int, hours);
    const QString refused = u"message:"_s + UiText::sHoursTooFew;
    TformMain w;
    if (editing) {
        w.AddEntryRow(u"/data"_s, u"/backup"_s, u"*.*"_s, true, skHourly, 4, OleFromDateTime(FNow), QString(),
                      QString(), ctCopy);
        SelectRow(w, 0);
    }
    w.FModified = false;
    bool stayedOpen = false;
    bool enabledAgain = false;
    OnEditor(w, [&](TformEditFile *f) {
        ChoosePeriod(f, skHourly);
        f->seHour->setValue(hours);
        f->btnOK->click();
        // Refused: the box is shown and the dialog stays, Enter on the OK
        // button included.
        stayedOpen = f->isVisible() && FDialogs.calls == QStringList{refused};
        QTest::keyClick(f->btnOK, Qt::Key_Return);
        stayedOpen = stayedOpen && f->isVisible() && FDialogs.calls.size() == 2;
        enabledAgain = f->seHour->isEnabled() && f->focusWidget() == f->seHour;
        f->seHour->setValue(2);
        f->btnOK->click();
    });
    if (editing)
        w.EditEntry();
    else
        w.AddEntry();
    QVERIFY(stayedOpen);
    QVERIFY(enabledAgain);
    QCOMPARE(FDialogs.calls, QStringList({refused, refused}));
    QCOMPARE(w.FEntries->Count(), 1);
    const TDataObject *e = w.FEntries->Entry(0);
    QCOMPARE(e->FSchedule, int(skHourly));
    QCOMPARE(e->FScheduleTime, 2.0);
    QCOMPARE(w.FEntries->Text(0, ecSchedule), u"Every 2 Hour(s)"_s);
    QVERIFY(w.FModified);

    // Cancel after a refusal changes nothing.
    FDialogs.calls.clear();
    SelectRow(w, 0);
    OnEditor(w, [&](TformEditFile *f) {
        f->seHour->setValue(0);
        f->btnOK->click();
        f->btnCancel->click();
    });
    w.EditEntry();
    QCOMPARE(FDialogs.calls, QStringList{refused});
    QCOMPARE(e->FScheduleTime, 2.0);
}

void tst_frm_EditFile::editShowsEntryAndKeepsEveryValue_data()
{
    QTest::addColumn<int>("schedule");
    QTest::addColumn<double>("value");
    QTest::addColumn<QString>("shown"); // what the schedule inputs show

    QTest::newRow("fixed") << 1 << Ole(2024, 7, 1, 8, 15) << u"01/07/2024 08:15:00"_s;
    QTest::newRow("daily") << 2 << 0.25 << u"06:00:00"_s;
    QTest::newRow("hourly") << 3 << 4.0 << u"4"_s;
    QTest::newRow("weekly Wednesday 18:00") << 4 << 2.75 << u"Wednesday 18:00:00"_s;
    QTest::newRow("monthly 15 at 06:00") << 5 << 15.25 << u"15 06:00:00"_s;
    QTest::newRow("monthly day 32") << 5 << 32.5 << u"\t 12:00:00"_s;
    QTest::newRow("no schedule") << 0 << 0.0 << QString();
    // No period chosen: the stored value is kept as it is.
    QTest::newRow("no period") << -1 << 7.5 << QString();
}

void tst_frm_EditFile::editShowsEntryAndKeepsEveryValue()
{
    QFETCH(int, schedule);
    QFETCH(double, value);
    QFETCH(QString, shown);

    TformMain w;
    w.edDef->setText(u"/backup/"_s);
    TDataObject *e = w.AddEntryRow(u"/data"_s, u"/elsewhere/copy"_s, u"*.txt"_s, true, schedule, value,
                                   Ole(2024, 5, 1, 9, 30), u"/bin/before"_s, u"/bin/after"_s, ctCopy);
    e->FNextRun = Ole(2024, 5, 9, 23, 0); // the editor shows and keeps this one
    SelectRow(w, 0);
    w.FModified = false;

    OnEditor(w, [&](TformEditFile *f) {
        QCOMPARE(f->windowTitle(), u"/data/"_s);
        QCOMPARE(f->edSrc->text(), u"/data/"_s);
        QCOMPARE(f->edDest->text(), u"/elsewhere/copy/"_s); // its own, not a proposal
        QCOMPARE(f->edSrcFileMask->text(), u"*.txt"_s);
        QCOMPARE(f->cbSchedule->currentIndex(), schedule);
        QVERIFY(f->rbcopy->isChecked());
        QCOMPARE(f->edRunBefore->text(), u"/bin/before"_s);
        QCOMPARE(f->edRunAfter->text(), u"/bin/after"_s);
        QCOMPARE(f->dtLastDate->dateTime(), QDateTime(QDate(2024, 5, 1), QTime(9, 30)));
        QCOMPARE(f->dtLastTime->time(), QTime(9, 30));
        QVERIFY(!f->dtLastDate->isEnabled());
        QCOMPARE(f->dtNextTime->time(), QTime(23, 0));
        QString inputs;
        switch (schedule) {
        case skFixed:
            inputs = f->dtFixedDate->text() + u' ' + f->dtFixedTime->text();
            break;
        case skDaily:
            inputs = f->dtDailyTime->text();
            break;
        case skHourly:
            inputs = f->seHour->text();
            break;
        case skWeekly:
            inputs = f->cbWeekly->currentText() + u' ' + f->dtWeekly->text();
            break;
        case skMonthly:
            inputs = f->cbMonthly->currentText() + u' ' + f->dtMonthly->text();
            break;
        }
        QCOMPARE(inputs, shown);
        // Inputs of the other kinds are cleared.
        if (schedule != skHourly)
            QCOMPARE(f->seHour->value(), 0);
        if (schedule != skFixed)
            QCOMPARE(f->dtFixedDate->dateTime(), QDateTime(QDate(1899, 12, 30), QTime(0, 0)));
        f->btnOK->click();
    });
    w.EditEntry();

    QVERIFY(w.FModified);
    QCOMPARE(e->FSource, u"/data/"_s);
    QCOMPARE(e->FDest, u"/elsewhere/copy/"_s);
    QCOMPARE(e->FFileMask, u"*.txt"_s);
    QCOMPARE(e->FSchedule, schedule);
    QVERIFY2(Near(e->FScheduleTime, value), qPrintable(QString::number(e->FScheduleTime, 'g', 17)));
    QVERIFY(Near(e->FLastRun, Ole(2024, 5, 1, 9, 30)));
    QVERIFY(Near(e->FNextRun, Ole(2024, 5, 9, 23, 0))); // stored as shown, not recomputed
    QCOMPARE(e->FCopyType, quint8(ctCopy));
    QCOMPARE(w.FEntries->Text(0, ecNextCopy), u"09/05/2024 23:00:00"_s);
    QCOMPARE(w.edDef->text(), u"/backup/"_s);
}

void tst_frm_EditFile::dailyTimeChangeDropsTheDate()
{
    // A daily value with a date part (a hand-edited job list) is kept as it
    // is until the user changes the time.
    TformMain w;
    TDataObject *e = w.AddEntryRow(u"/data"_s, u"/copy"_s, u"*.*"_s, true, skDaily, Ole(2023, 3, 15, 6, 0), 0,
                                   QString(), QString(), ctCopy);
    SelectRow(w, 0);
    OnEditor(w, [&](TformEditFile *f) { f->btnOK->click(); });
    w.EditEntry();
    QVERIFY(Near(e->FScheduleTime, Ole(2023, 3, 15, 6, 0)));

    OnEditor(w, [&](TformEditFile *f) {
        f->dtDailyTime->setCurrentSection(QDateTimeEdit::HourSection);
        f->dtDailyTime->stepBy(1); // the up arrow on the hour
        QCOMPARE(f->dtDailyTime->time(), QTime(7, 0));
        f->btnOK->click();
    });
    w.EditEntry();
    QVERIFY2(Near(e->FScheduleTime, 7.0 / 24), qPrintable(QString::number(e->FScheduleTime, 'g', 17)));
    QCOMPARE(w.FEntries->Text(0, ecSchedule), u"Daily at 07:00:00"_s);
}

void tst_frm_EditFile::editCancelChangesNothing()
{
    TformMain w;
    TDataObject *e = w.AddEntryRow(u"/data"_s, u"/copy"_s, u"*.*"_s, true, skHourly, 2, 0, QString(), QString(),
                                   ctReplicate);
    SelectRow(w, 0);
    w.FModified = false;
    OnEditor(w, [&](TformEditFile *f) {
        f->edDest->setText(u"/other"_s);
        ChoosePeriod(f, skWeekly);
        f->btnCancel->click();
    });
    w.EditEntry();
    QVERIFY(!w.FModified);
    QCOMPARE(e->FDest, u"/copy/"_s);
    QCOMPARE(e->FSchedule, qint32(skHourly));

    // Nothing selected: no dialog, nothing happens.
    w.lvMain->selectionModel()->clear();
    w.EditEntry();
    QVERIFY(!EntryEditor(&w)->isVisible());
    QVERIFY(!w.FModified);
}

void tst_frm_EditFile::addAfterEditResetsSomeAndKeepsTheRest()
{
    TformMain w;
    w.AddEntryRow(u"/data"_s, u"/copy"_s, u"*.txt"_s, true, skWeekly, 2.75, 0, u"/bin/before"_s,
                  u"https://example.org/after"_s, ctNothing);
    SelectRow(w, 0);
    OnEditor(w, [&](TformEditFile *f) {
        f->seHour->setValue(7);
        f->btnOK->click();
    });
    w.EditEntry();

    OnEditor(w, [&](TformEditFile *f) {
        // Reset by Add.
        QCOMPARE(f->windowTitle(), QString());
        QCOMPARE(f->edSrc->text(), QString());
        QCOMPARE(f->edSrcFileMask->text(), u"*.*"_s);
        QCOMPARE(f->edDest->text(), QString());
        QCOMPARE(f->cbSchedule->currentIndex(), -1);
        QVERIFY(f->rbreplicate->isChecked());
        QCOMPARE(f->dtWeekly->time(), QTime(0, 0));
        // Kept from the edit.
        QCOMPARE(f->edRunBefore->text(), u"/bin/before"_s);
        QCOMPARE(f->edRunAfter->text(), u"https://example.org/after"_s);
        QCOMPARE(f->seHour->value(), 7);
        QCOMPARE(f->cbWeekly->currentText(), u"Wednesday"_s);
        f->btnOK->click();
    });
    w.AddEntry();
    QCOMPARE(w.FEntries->Count(), 2);
    const TDataObject *e = w.FEntries->Entry(1);
    QCOMPARE(e->FActionBefore, u"/bin/before"_s);
    QCOMPARE(e->FSchedule, qint32(skUnset));
    QCOMPARE(e->FNextRun, 0.0);
    QCOMPARE(w.FEntries->Text(1, ecSchedule), QString());
}

void tst_frm_EditFile::periodEnablesItsInputs_data()
{
    QTest::addColumn<int>("period");
    QTest::addColumn<QStringList>("enabled");
    QTest::newRow("none chosen") << -1 << QStringList();
    QTest::newRow("no schedule") << 0 << QStringList();
    QTest::newRow("fixed") << 1 << QStringList({u"dtFixedDate"_s, u"dtFixedTime"_s});
    QTest::newRow("daily") << 2 << QStringList({u"dtDailyTime"_s});
    QTest::newRow("hourly") << 3 << QStringList({u"seHour"_s});
    QTest::newRow("weekly") << 4 << QStringList({u"cbWeekly"_s, u"dtWeekly"_s});
    QTest::newRow("monthly") << 5 << QStringList({u"cbMonthly"_s, u"dtMonthly"_s});
}

void tst_frm_EditFile::periodEnablesItsInputs()
{
    QFETCH(int, period);
    QFETCH(QStringList, enabled);
    TformMain w;
    OnEditor(w, [&](TformEditFile *f) {
        ChoosePeriod(f, 3); // start from another Period, so the change is a real one
        ChoosePeriod(f, period);
        QStringList on;
        for (const char *name : {"dtFixedDate", "dtFixedTime", "dtDailyTime", "seHour", "cbWeekly", "dtWeekly",
                                 "cbMonthly", "dtMonthly"}) {
            auto *input = f->findChild<QWidget *>(QString::fromLatin1(name));
            if (input->isEnabled())
                on << input->objectName();
        }
        QCOMPARE(on, enabled);
        QVERIFY(!f->dtLastDate->isEnabled() && !f->dtLastTime->isEnabled());
        QVERIFY(f->dtNextDate->isEnabled() && f->dtNextTime->isEnabled());
    });
    w.AddEntry();
}

void tst_frm_EditFile::navigationKeysMoveAndNeverConfirm()
{
    TformMain w;
    TformEditFile *f = EntryEditor(&w);
    f->show();
    QVERIFY(QTest::qWaitForWindowActive(f));
    QSignalSpy accepted(f, &QDialog::accepted);
    QTRY_COMPARE(QApplication::focusWidget(), f->edSrc);

    QTest::keyClick(f->edSrc, Qt::Key_Return);
    QCOMPARE(QApplication::focusWidget(), f->edSrcFileMask);
    QTest::keyClick(f->edSrcFileMask, Qt::Key_Down);
    QCOMPARE(QApplication::focusWidget(), f->edDest);
    QTest::keyClick(f->edDest, Qt::Key_Up);
    QCOMPARE(QApplication::focusWidget(), f->edSrcFileMask);

    // In a list the arrows move on instead of changing the choice; the next
    // enabled control after the Period (no Period: every input is off) is
    // the Next Copy date.
    f->cbSchedule->setFocus();
    f->cbSchedule->setCurrentIndex(2);
    QTest::keyClick(f->cbSchedule, Qt::Key_Down);
    QCOMPARE(f->cbSchedule->currentIndex(), 2);
    QCOMPARE(QApplication::focusWidget(), f->dtNextDate);
    f->cbSchedule->setFocus();
    QTest::keyClick(f->cbSchedule, Qt::Key_Up);
    QCOMPARE(f->cbSchedule->currentIndex(), 2);
    QCOMPARE(QApplication::focusWidget(), f->edDest);
    f->cbSchedule->setFocus();
    QTest::keyClick(f->cbSchedule, Qt::Key_Enter);
    QCOMPARE(QApplication::focusWidget(), f->dtNextDate);
    // An editable list takes the keys the same way.
    f->cbMonthly->setEnabled(true);
    f->cbMonthly->setFocus();
    f->cbMonthly->setCurrentIndex(4);
    QTest::keyClick(f->cbMonthly, Qt::Key_Down);
    QCOMPARE(f->cbMonthly->currentIndex(), 4);
    QVERIFY(QApplication::focusWidget() != f->cbMonthly);

    QCOMPARE(accepted.count(), 0);
    QVERIFY(f->isVisible());
    f->reject();
}

void tst_frm_EditFile::enterInEntryListOpensEditor_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("opens");
    QTest::newRow("Return") << int(Qt::Key_Return) << int(Qt::NoModifier) << true;
    QTest::newRow("keypad Enter") << int(Qt::Key_Enter) << int(Qt::KeypadModifier) << true;
    QTest::newRow("Ctrl+Return") << int(Qt::Key_Return) << int(Qt::ControlModifier) << false;
}

void tst_frm_EditFile::enterInEntryListOpensEditor()
{
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(bool, opens);
    TformMain w;
    w.AddEntryRow(u"/first"_s, u"/b1"_s, u"*.*"_s, true, skNone, 0, 0, QString(), QString(), ctCopy);
    w.AddEntryRow(u"/second"_s, u"/b2"_s, u"*.*"_s, true, skNone, 0, 0, QString(), QString(), ctCopy);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    SelectRow(w, 1);
    w.lvMain->setFocus();
    TformEditFile *f = EntryEditor(&w);
    QString shown;
    QTimer::singleShot(0, f, [f, &shown] {
        if (f->isVisible()) {
            shown = f->edSrc->text();
            f->reject();
        }
    });
    QTest::keyClick(w.lvMain, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCoreApplication::processEvents(); // the check runs here when nothing opened
    QCOMPARE(shown, opens ? u"/second/"_s : QString());
}

void tst_frm_EditFile::browseButtonsGoThroughTheSeam()
{
    QTemporaryDir tmp;
    QVERIFY(tmp.isValid());
    const QString start = tmp.filePath(u"start"_s);
    const QString music = tmp.filePath(u"Music"_s);
    QVERIFY(QDir().mkpath(start) && QDir().mkpath(music));

    TformMain w;
    w.edDef->setText(u"/backup"_s);
    OnEditor(w, [&](TformEditFile *f) {
        f->edSrc->setText(start);
        f->edSrcFileMask->setText(u"*.txt"_s);

        // Cancelled folder browse: the text and the mask stay.
        f->SpeedButton1->click();
        QCOMPARE(f->edSrc->text(), start);
        QCOMPARE(f->edSrcFileMask->text(), u"*.txt"_s);

        FDialogs.folderAnswer = music;
        f->SpeedButton1->click();
        QCOMPARE(f->edSrc->text(), music);
        QCOMPARE(f->edSrcFileMask->text(), u"*.*"_s);
        QCOMPARE(f->edDest->text(), u"/backup"_s + music);

        FDialogs.folderAnswer = u"/mnt/usb"_s;
        f->SpeedButton2->click();
        QCOMPARE(f->edDest->text(), u"/mnt/usb"_s);

        FDialogs.fileAnswer = u"/data/docs/report.doc"_s;
        f->SpeedButton3->click();
        QCOMPARE(f->edSrcFileMask->text(), u"report.doc"_s);
        QCOMPARE(f->edSrc->text(), u"/data/docs"_s);
        QCOMPARE(f->edDest->text(), u"/backup/data/docs"_s);
        QCOMPARE(f->windowTitle(), u"/data/docs"_s);

        FDialogs.fileAnswer = u"/usr/bin/true"_s;
        f->SpeedButton4->click();
        QCOMPARE(f->edRunBefore->text(), u"/usr/bin/true"_s);
        FDialogs.fileAnswer.clear(); // cancelled: unchanged
        f->SpeedButton5->click();
        QCOMPARE(f->edRunAfter->text(), QString());
        FDialogs.fileAnswer = u"/usr/bin/false"_s;
        f->SpeedButton5->click();
        QCOMPARE(f->edRunAfter->text(), u"/usr/bin/false"_s);
    });
    w.AddEntry();
    QCOMPARE(FDialogs.calls, QStringList({u"folder:"_s + start, u"folder:"_s + start, u"folder:"_s,
                                          // the mask dialog opens in the source folder, the action
                                          // dialogs nowhere in particular; no title, no filter
                                          u"open:|"_s + music + u"|"_s, u"open:||"_s, u"open:||"_s,
                                          u"open:||"_s}));
}

void tst_frm_EditFile::roundTripThroughJobList()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(u"round.vnt"_s);

    struct TCase
    {
        int period;
        std::function<void(TformEditFile *)> set;
        int copyType;
    };
    const QList<TCase> cases = {
        {-1, {}, ctNothing},
        {skNone, {}, ctReplicate},
        {skFixed, [](TformEditFile *f) {
             f->dtFixedDate->setDate(QDate(2024, 12, 24));
             f->dtFixedTime->setTime(QTime(17, 45, 30));
         }, ctCopy},
        {skDaily, [](TformEditFile *f) { f->dtDailyTime->setTime(QTime(6, 30)); }, ctReplicate},
        {skHourly, [](TformEditFile *f) { f->seHour->setValue(12); }, ctCopy},
        {skWeekly, [](TformEditFile *f) {
             f->cbWeekly->setCurrentIndex(6);
             f->dtWeekly->setTime(QTime(23, 59, 59));
         }, ctNothing},
        {skMonthly, [](TformEditFile *f) {
             f->cbMonthly->setCurrentIndex(31);
             f->dtMonthly->setTime(QTime(1, 2, 3));
         }, ctReplicate},
    };

    TformMain w;
    w.edDef->setText(u"/backup"_s);
    int n = 0;
    for (const TCase &c : cases) {
        OnEditor(w, [&](TformEditFile *f) {
            QTest::keyClicks(f->edSrc, u"/src/entry %1"_s.arg(n));
            f->edSrcFileMask->setText(u"*.k%1"_s.arg(n));
            if (c.period >= 0)
                ChoosePeriod(f, c.period);
            if (c.set)
                c.set(f);
            f->SetCopyType(c.copyType);
            f->edRunBefore->setText(n % 2 ? u"/bin/echo"_s : QString());
            f->edRunAfter->setText(u"https://example.org/%1"_s.arg(n));
            f->btnOK->click();
        });
        w.AddEntry();
        ++n;
    }
    QCOMPARE(w.FEntries->Count(), cases.size());
    // Untick one, so the check mark travels too.
    w.FEntries->SetChecked(2, false);
    w.SaveJobList(file);
    QVERIFY(!w.FModified);

    TformMain fresh;
    fresh.LoadJobList(file);
    QCOMPARE(fresh.edDef->text(), u"/backup/"_s);
    QCOMPARE(fresh.FEntries->Count(), w.FEntries->Count());
    for (int row = 0; row < w.FEntries->Count(); ++row) {
        for (int col = 0; col < ecColumnCount; ++col)
            QCOMPARE(fresh.FEntries->Text(row, col), w.FEntries->Text(row, col));
        QCOMPARE(fresh.FEntries->IsChecked(row), w.FEntries->IsChecked(row));
        const TDataObject *a = w.FEntries->Entry(row);
        const TDataObject *b = fresh.FEntries->Entry(row);
        QCOMPARE(b->FSource, a->FSource);
        QCOMPARE(b->FDest, a->FDest);
        QCOMPARE(b->FFileMask, a->FFileMask);
        QCOMPARE(b->FSchedule, a->FSchedule);
        QVERIFY(Near(b->FScheduleTime, a->FScheduleTime));
        QVERIFY(Near(b->FLastRun, a->FLastRun));
        QVERIFY(Near(b->FNextRun, a->FNextRun));
        QCOMPARE(b->FActionBefore, a->FActionBefore);
        QCOMPARE(b->FActionAfter, a->FActionAfter);
        QCOMPARE(b->FCopyType, a->FCopyType);
    }
    // A few columns spelled out, so a change on both sides cannot hide.
    QCOMPARE(fresh.FEntries->Text(0, ecDest), u"/backup/src/entry 0/"_s);
    QCOMPARE(fresh.FEntries->Text(2, ecSchedule), u"Fixed at 24/12/2024 17:45:30"_s);
    QCOMPARE(fresh.FEntries->Text(5, ecSchedule), u"Weekly on Sunday 23:59:59"_s);
    QCOMPARE(fresh.FEntries->Text(6, ecSchedule), u"Monthly every 32 at 01:02:03"_s);
    QCOMPARE(fresh.FEntries->Text(0, ecSchedule), QString());
}

QTEST_MAIN(tst_frm_EditFile)
#include "tst_frm_EditFile.moc"
