// frm_EditFile: the entry editor dialog.
#include "frm_EditFile.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <climits>

#include "LocaleFormats.h"
#include "ut_Dialogs.h"
#include "ut_General.h"
#include "ut_classes.h"

using namespace Qt::StringLiterals;

namespace {

constexpr QChar kSeparator = u'/';

// Day 0 of the program's date-time type.
QDate ZeroDate()
{
    return QDate(1899, 12, 30);
}

double TimeFraction(const QTime &time)
{
    return static_cast<double>(time.msecsSinceStartOfDay()) / 86400000.0;
}

void SetBoxDateTime(QDateTimeEdit *box, const QDateTime &value)
{
    const QSignalBlocker block(box);
    box->setDateTime(value);
}

} // namespace

QString PathTail(const QString &path)
{
    if (path.startsWith(kSeparator)) {
        qsizetype i = 0;
        while (i < path.size() && path.at(i) == kSeparator)
            ++i;
        return path.mid(i);
    }
    const qsizetype colon = path.indexOf(u':');
    if (colon >= 0)
        return path.mid(colon + 2);
    const qsizetype pair = path.indexOf(QString(2, kSeparator));
    if (pair >= 0)
        return path.mid(pair + 2);
    return QString();
}

TformEditFile *EntryEditor(QWidget *owner)
{
    if (auto *existing = owner->findChild<TformEditFile *>(u"formEditFile"_s, Qt::FindDirectChildrenOnly))
        return existing;
    return new TformEditFile(owner);
}

TOpenDialog::TOpenDialog(QWidget *owner)
    : QObject(owner), FOwner(owner)
{
}

bool TOpenDialog::Execute()
{
    const QString picked = Dialogs().OpenFileName(FOwner, QString(), InitialDir, QString());
    if (picked.isEmpty())
        return false;
    FileName = picked;
    return true;
}

TformEditFile::TformEditFile(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(u"formEditFile"_s);
    setWindowTitle(u"Edit"_s);
    setModal(true);

    auto label = [this](const QString &name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(name);
        return l;
    };
    auto edit = [this](const QString &name) {
        auto *e = new QLineEdit(this);
        e->setObjectName(name);
        return e;
    };
    auto browse = [this](const QString &name) {
        auto *b = new QToolButton(this);
        b->setObjectName(name);
        b->setText(u"..."_s);
        b->setFocusPolicy(Qt::NoFocus); // like the small browse buttons: never in the tab order
        return b;
    };
    // One line of a grid: the caption, its box and the box's browse button.
    auto line = [](QGridLayout *grid, int row, QLabel *caption, QLineEdit *box, QToolButton *button) {
        grid->addWidget(caption, row, 0);
        grid->addWidget(box, row, 1);
        grid->addWidget(button, row, 2);
    };

    // Compact spacing, so everything fits the dialog's fixed 532 by 508.
    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(8, 6, 8, 6);
    top->setSpacing(4);
    auto *folders = new QGridLayout;
    folders->setVerticalSpacing(3);
    top->addLayout(folders);

    Label1 = label(u"Label1"_s, u"Source:"_s);
    edSrc = edit(u"edSrc"_s);
    edSrc->setProperty("helpContext", 1);
    SpeedButton1 = browse(u"SpeedButton1"_s);
    Label2 = label(u"Label2"_s, u"Source Files Mask:"_s);
    edSrcFileMask = edit(u"edSrcFileMask"_s);
    SpeedButton3 = browse(u"SpeedButton3"_s);
    Label3 = label(u"Label3"_s, u"Destination:"_s);
    edDest = edit(u"edDest"_s);
    SpeedButton2 = browse(u"SpeedButton2"_s);
    line(folders, 0, Label1, edSrc, SpeedButton1);
    line(folders, 1, Label2, edSrcFileMask, SpeedButton3);
    line(folders, 2, Label3, edDest, SpeedButton2);

    GroupBox1 = new QGroupBox(u"Schedule:"_s, this);
    GroupBox1->setObjectName(u"GroupBox1"_s);
    top->addWidget(GroupBox1);
    auto *sched = new QGridLayout(GroupBox1);
    sched->setContentsMargins(8, 4, 8, 4);
    sched->setVerticalSpacing(2);

    Label4 = label(u"Label4"_s, u"Period:"_s);
    cbSchedule = new QComboBox(this);
    cbSchedule->setObjectName(u"cbSchedule"_s);
    cbSchedule->addItems({u"No Schedule"_s, u"Fixed"_s, u"Daily"_s, u"Hourly"_s, u"Weekly"_s, u"Monthly"_s});
    cbSchedule->setCurrentIndex(-1);
    Label5 = label(u"Label5"_s, u"Fixed at:"_s);
    dtFixedDate = MakeDateBox(u"dtFixedDate"_s);
    dtFixedTime = MakeTimeBox(u"dtFixedTime"_s);
    Label6 = label(u"Label6"_s, u"Daily at:"_s);
    dtDailyTime = MakeTimeBox(u"dtDailyTime"_s);
    Label7 = label(u"Label7"_s, u"Hourly:"_s);
    seHour = new QSpinBox(this);
    seHour->setObjectName(u"seHour"_s);
    seHour->setRange(INT_MIN, INT_MAX); // no bound is enforced on the hour count
    Label8 = label(u"Label8"_s, u"Weekly:"_s);
    cbWeekly = new QComboBox(this);
    cbWeekly->setObjectName(u"cbWeekly"_s);
    cbWeekly->setEditable(true);
    cbWeekly->setInsertPolicy(QComboBox::NoInsert);
    dtWeekly = MakeTimeBox(u"dtWeekly"_s);
    Label9 = label(u"Label9"_s, u"Monthly - every:"_s);
    cbMonthly = new QComboBox(this);
    cbMonthly->setObjectName(u"cbMonthly"_s);
    cbMonthly->setEditable(true);
    cbMonthly->setInsertPolicy(QComboBox::NoInsert);
    for (int day = 1; day <= 31; ++day)
        cbMonthly->addItem(QString::number(day));
    // The 32nd item: stored as day 32, which the monthly schedule turns into the
    // last day of each month.
    cbMonthly->addItem(u"\t"_s);
    dtMonthly = MakeTimeBox(u"dtMonthly"_s);
    Label10 = label(u"Label10"_s, u"Last Finished:"_s);
    dtLastDate = MakeDateBox(u"dtLastDate"_s);
    dtLastTime = MakeTimeBox(u"dtLastTime"_s);
    Label11 = label(u"Label11"_s, u"Next Copy:"_s);
    dtNextDate = MakeDateBox(u"dtNextDate"_s);
    dtNextTime = MakeTimeBox(u"dtNextTime"_s);

    const QList<std::pair<QLabel *, QList<QWidget *>>> rows = {
        {Label4, {cbSchedule}},
        {Label5, {dtFixedDate, dtFixedTime}},
        {Label6, {dtDailyTime}},
        {Label7, {seHour}},
        {Label8, {cbWeekly, dtWeekly}},
        {Label9, {cbMonthly, dtMonthly}},
        {Label10, {dtLastDate, dtLastTime}},
        {Label11, {dtNextDate, dtNextTime}},
    };
    for (int r = 0; r < rows.size(); ++r) {
        sched->addWidget(rows[r].first, r, 0);
        rows[r].first->setBuddy(rows[r].second.constFirst());
        for (int c = 0; c < rows[r].second.size(); ++c)
            sched->addWidget(rows[r].second[c], r, c + 1);
    }
    sched->setColumnStretch(1, 1);
    sched->setColumnStretch(2, 1);

    GroupBox2 = new QGroupBox(u"Actions"_s, this);
    GroupBox2->setObjectName(u"GroupBox2"_s);
    top->addWidget(GroupBox2);
    auto *actions = new QVBoxLayout(GroupBox2);
    actions->setContentsMargins(8, 2, 8, 2);
    actions->setSpacing(0);
    rbnothing = new QRadioButton(u"Do Not Copy or Replicate"_s, this);
    rbnothing->setObjectName(u"rbnothing"_s);
    rbreplicate = new QRadioButton(u"Replicate (copy new or changed;delete deleted)"_s, this);
    rbreplicate->setObjectName(u"rbreplicate"_s);
    rbcopy = new QRadioButton(u"Copy Only (copy new or changed)"_s, this);
    rbcopy->setObjectName(u"rbcopy"_s);
    actions->addWidget(rbnothing);
    actions->addWidget(rbreplicate);
    actions->addWidget(rbcopy);
    rbreplicate->setChecked(true);

    auto *runs = new QGridLayout;
    runs->setVerticalSpacing(3);
    top->addLayout(runs);
    Label12 = label(u"Label12"_s, u"Action Before Run:"_s);
    edRunBefore = edit(u"edRunBefore"_s);
    SpeedButton4 = browse(u"SpeedButton4"_s);
    Label13 = label(u"Label13"_s, u"Action After Run:"_s);
    edRunAfter = edit(u"edRunAfter"_s);
    SpeedButton5 = browse(u"SpeedButton5"_s);
    line(runs, 0, Label12, edRunBefore, SpeedButton4);
    line(runs, 1, Label13, edRunAfter, SpeedButton5);

    for (QLabel *l : {Label1, Label2, Label3})
        l->setMinimumWidth(Label12->sizeHint().width());
    Label1->setBuddy(edSrc);
    Label2->setBuddy(edSrcFileMask);
    Label3->setBuddy(edDest);
    Label12->setBuddy(edRunBefore);
    Label13->setBuddy(edRunAfter);

    auto *buttons = new QHBoxLayout;
    top->addStretch(1);
    top->addLayout(buttons);
    buttons->addStretch(1);
    btnOK = new QPushButton(u"OK"_s, this);
    btnOK->setObjectName(u"btnOK"_s);
    btnOK->setDefault(true);
    btnCancel = new QPushButton(u"Cancel"_s, this);
    btnCancel->setObjectName(u"btnCancel"_s); // Escape cancels any QDialog
    buttons->addWidget(btnOK);
    buttons->addWidget(btnCancel);

    dlgFileMask = new TOpenDialog(this);
    dlgFileMask->setObjectName(u"dlgFileMask"_s);

    // Tab order top to bottom; the navigation keys follow it.
    const QList<QWidget *> order = {edSrc,       edSrcFileMask, edDest,     cbSchedule, dtFixedDate, dtFixedTime,
                                    dtDailyTime, seHour,        cbWeekly,   dtWeekly,   cbMonthly,   dtMonthly,
                                    dtLastDate,  dtLastTime,    dtNextDate, dtNextTime, rbnothing,   rbreplicate,
                                    rbcopy,      edRunBefore,   edRunAfter, btnOK,      btnCancel};
    for (qsizetype i = 1; i < order.size(); ++i)
        setTabOrder(order[i - 1], order[i]);

    // The boxes start at the moment the dialog is made; the daily, weekly and
    // monthly ones hold a time of day only.
    const QDateTime now = CurrentDateTime();
    for (QDateTimeEdit *box : {dtFixedDate, dtFixedTime, dtLastDate, dtLastTime, dtNextDate, dtNextTime})
        SetBoxDateTime(box, now);
    for (QDateTimeEdit *box : {dtDailyTime, dtWeekly, dtMonthly})
        SetBoxDateTime(box, QDateTime(ZeroDate(), now.time()));

    connect(edSrc, &QLineEdit::textChanged, this, &TformEditFile::edSrcChange);
    // Only a choice made by the user counts as a change of the Period.
    connect(cbSchedule, &QComboBox::activated, this, &TformEditFile::cbScheduleChange);
    connect(dtFixedTime, &QDateTimeEdit::dateTimeChanged, this, &TformEditFile::dtFixedTimeChange);
    connect(dtNextTime, &QDateTimeEdit::dateTimeChanged, this, &TformEditFile::dtNextTimeChange);
    connect(dtLastTime, &QDateTimeEdit::dateTimeChanged, this, &TformEditFile::dtLastTimeChange);
    connect(dtDailyTime, &QDateTimeEdit::dateTimeChanged, this, &TformEditFile::dtDailyTimeChange);
    connect(dtWeekly, &QDateTimeEdit::dateTimeChanged, this, &TformEditFile::dtWeeklyChange);
    connect(dtMonthly, &QDateTimeEdit::dateTimeChanged, this, &TformEditFile::dtMonthlyChange);
    connect(SpeedButton1, &QToolButton::clicked, this, &TformEditFile::SpeedButton1Click);
    connect(SpeedButton2, &QToolButton::clicked, this, &TformEditFile::SpeedButton2Click);
    connect(SpeedButton3, &QToolButton::clicked, this, &TformEditFile::SpeedButton3Click);
    connect(SpeedButton4, &QToolButton::clicked, this, &TformEditFile::SpeedButton4Click);
    connect(SpeedButton5, &QToolButton::clicked, this, &TformEditFile::SpeedButton5Click);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);

    HookNavigationKeys();
    FillWeekdays();
    cbWeekly->setCurrentIndex(0);
    cbMonthly->setCurrentIndex(0);
    UpdateScheduleControls();
    FPrevPeriod = -1;

    resize(532, 508);
}

QDateTimeEdit *TformEditFile::MakeDateBox(const QString &name)
{
    auto *box = new QDateTimeEdit(this);
    box->setObjectName(name);
    box->setDisplayFormat(ShortDateFormat());
    box->setCalendarPopup(true);
    return box;
}

QDateTimeEdit *TformEditFile::MakeTimeBox(const QString &name)
{
    auto *box = new QDateTimeEdit(this);
    box->setObjectName(name);
    box->setDisplayFormat(LongTimeFormat());
    // Without date sections Qt pins the box to the date of each value it is
    // given, so the box still carries a full date-time value; the user's edits
    // change its time only.
    return box;
}

void TformEditFile::HookNavigationKeys()
{
    for (QWidget *w : std::initializer_list<QWidget *>{edSrc, edSrcFileMask, edDest, edRunBefore, edRunAfter,
                                                       cbSchedule, cbWeekly, cbMonthly})
        w->installEventFilter(this);
}

bool TformEditFile::eventFilter(QObject *watched, QEvent *event)
{
    // NavKeyDown: Enter and Down go to the next control, Up to the previous one.
    // The key is used up, so Enter never presses OK from these boxes and the
    // arrows never change a list's choice.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Down) {
            focusNextPrevChild(true);
            return true;
        }
        if (key == Qt::Key_Up) {
            focusNextPrevChild(false);
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

void TformEditFile::FillWeekdays()
{
    cbWeekly->clear();
    for (int isoDay = 1; isoDay <= 7; ++isoDay)
        cbWeekly->addItem(LongDayName(isoDay));
}

TDateTime TformEditFile::BoxValue(const QDateTimeEdit *box)
{
    return OleFromDateTime(box->dateTime());
}

void TformEditFile::SetBoxValue(QDateTimeEdit *box, TDateTime value)
{
    SetBoxDateTime(box, DateTimeFromOle(value));
}

int TformEditFile::ListPosition(const QComboBox *box)
{
    const QString shown = box->currentText();
    if (box->currentIndex() >= 0 && box->itemText(box->currentIndex()) == shown)
        return box->currentIndex();
    return box->findText(shown); // exact, case-sensitive
}

int TformEditFile::Period() const
{
    return cbSchedule->currentIndex();
}

quint8 TformEditFile::CopyType() const
{
    if (rbnothing->isChecked())
        return ctNothing;
    if (rbcopy->isChecked())
        return ctCopy;
    return ctReplicate;
}

void TformEditFile::SetCopyType(int copyType)
{
    switch (copyType) {
    case ctNothing:
        rbnothing->setChecked(true);
        break;
    case ctReplicate:
        rbreplicate->setChecked(true);
        break;
    case ctCopy:
        rbcopy->setChecked(true);
        break;
    default:
        break;
    }
}

bool TformEditFile::ScheduleValue(TDateTime *value) const
{
    switch (Period()) {
    case skNone:
        *value = 0;
        return true;
    case skFixed:
        *value = BoxValue(dtFixedDate);
        return true;
    case skDaily:
        *value = BoxValue(dtDailyTime);
        return true;
    case skHourly:
        *value = seHour->value();
        return true;
    case skWeekly:
        *value = ListPosition(cbWeekly) + TimeFraction(dtWeekly->time());
        return true;
    case skMonthly:
        *value = ListPosition(cbMonthly) + 1 + TimeFraction(dtMonthly->time());
        return true;
    default:
        return false;
    }
}

void TformEditFile::UpdateScheduleControls()
{
    const int period = Period();
    if (FPrevPeriod >= 0) {
        // The user switched from one Period to another: start the weekly and
        // monthly boxes on fresh dates, keeping their times.
        SetBoxDateTime(dtWeekly, QDateTime(ZeroDate(), dtWeekly->time()));
        SetBoxDateTime(dtMonthly, QDateTime(ZeroDate().addDays(1), dtMonthly->time()));
    }
    dtFixedDate->setEnabled(period == skFixed);
    dtFixedTime->setEnabled(period == skFixed);
    dtDailyTime->setEnabled(period == skDaily);
    seHour->setEnabled(period == skHourly);
    cbWeekly->setEnabled(period == skWeekly);
    dtWeekly->setEnabled(period == skWeekly);
    cbMonthly->setEnabled(period == skMonthly);
    dtMonthly->setEnabled(period == skMonthly);
    dtLastDate->setEnabled(false);
    dtLastTime->setEnabled(false);
    dtNextDate->setEnabled(true);
    dtNextTime->setEnabled(true);
    FPrevPeriod = period;
}

void TformEditFile::accept()
{
    // An hourly entry due every 0 hours (or fewer) would start again the moment
    // each run ends, for ever. The dialog stays open so the count can be put right.
    if (Period() == skHourly && seHour->value() <= 0) {
        ShowError(this, UiText::sHoursTooFew);
        seHour->setFocus();
        seHour->selectAll();
        return;
    }
    QDialog::accept();
}

void TformEditFile::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    UpdateScheduleControls();
    edSrc->setFocus();
}

void TformEditFile::edSrcChange()
{
    if (!FDefaultRoot)
        return;
    QString root = FDefaultRoot->text();
    if (root.isEmpty())
        return;
    if (!root.endsWith(kSeparator)) {
        root += kSeparator;
        FDefaultRoot->setText(root);
    }
    edDest->setText(root + PathTail(edSrc->text()));
    setWindowTitle(edSrc->text());
}

void TformEditFile::cbScheduleChange()
{
    UpdateScheduleControls();
}

void TformEditFile::dtFixedTimeChange()
{
    SetBoxDateTime(dtFixedDate, QDateTime(dtFixedDate->date(), dtFixedTime->time()));
}

void TformEditFile::dtNextTimeChange()
{
    SetBoxDateTime(dtNextDate, QDateTime(dtNextDate->date(), dtNextTime->time()));
}

void TformEditFile::dtLastTimeChange()
{
    SetBoxDateTime(dtLastDate, QDateTime(dtLastDate->date(), dtLastTime->time()));
}

void TformEditFile::dtDailyTimeChange()
{
    SetBoxDateTime(dtDailyTime, QDateTime(ZeroDate(), dtDailyTime->time()));
}

void TformEditFile::dtWeeklyChange()
{
    SetBoxDateTime(dtWeekly, QDateTime(ZeroDate(), dtWeekly->time()));
}

void TformEditFile::dtMonthlyChange()
{
    SetBoxDateTime(dtMonthly, QDateTime(ZeroDate(), dtMonthly->time()));
}

void TformEditFile::SpeedButton1Click()
{
    const QString chosen = BrowseForFolder(this, edSrc->text());
    if (chosen != edSrc->text()) {
        edSrc->setText(chosen);
        edSrcFileMask->setText(u"*.*"_s);
    }
}

void TformEditFile::SpeedButton2Click()
{
    edDest->setText(BrowseForFolder(this, edDest->text()));
}

void TformEditFile::SpeedButton3Click()
{
    dlgFileMask->FileName.clear();
    dlgFileMask->InitialDir = edSrc->text();
    if (!dlgFileMask->Execute())
        return;
    const QFileInfo picked(dlgFileMask->FileName);
    edSrcFileMask->setText(picked.fileName());
    // The folder without its trailing separator, except for the root itself.
    edSrc->setText(picked.path());
}

void TformEditFile::SpeedButton4Click()
{
    dlgFileMask->FileName.clear();
    dlgFileMask->InitialDir.clear();
    if (dlgFileMask->Execute())
        edRunBefore->setText(dlgFileMask->FileName);
}

void TformEditFile::SpeedButton5Click()
{
    dlgFileMask->FileName.clear();
    dlgFileMask->InitialDir.clear();
    if (dlgFileMask->Execute())
        edRunAfter->setText(dlgFileMask->FileName);
}
