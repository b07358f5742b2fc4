// Unit1: the update window, its settings handlers, the update run and its
// progress display.
#include "Unit1.h"

#include "Descriptor.h"
#include "Downloads.h"
#include "ErrorBox.h"
#include "ProfileFile.h"
#include "UpdateFormat.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTabWidget>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>

#include <algorithm>
#include <climits>

namespace {

const QString kSettings = QStringLiteral("Settings");
const QString kFtp = QStringLiteral("FTP");
const QString kHttp = QStringLiteral("HTTP");
const QString kCaptionUpdate = QStringLiteral("Update");
const QString kCaptionCancel = QStringLiteral("Cancel");
const QString kCaptionClose = QStringLiteral("Close");

// Thrown at a step boundary of a run after Cancel was clicked.
struct TRunCancelled
{
};

// A bar keeps its position inside its range, as the user sees it: QProgressBar
// would ignore an out-of-range value instead.
void SetBarPosition(QProgressBar *bar, qint64 position)
{
    bar->setValue(int(std::clamp<qint64>(position, bar->minimum(), bar->maximum())));
}

void SetBarMaximum(QProgressBar *bar, qint64 maximum)
{
    const int position = bar->value();
    const int top = int(std::clamp<qint64>(maximum, 0, INT_MAX));
    bar->setRange(0, top); // resets the bar when the position falls outside
    bar->setValue(qMin(qMax(position, 0), top));
}

template<typename T> T *Named(T *object, const char *name)
{
    object->setObjectName(QString::fromLatin1(name));
    return object;
}

} // namespace

QString TForm1::SettingsFileName()
{
    const QFileInfo exe(QCoreApplication::applicationFilePath());
    // The extension is what follows the last dot of the file name, if any.
    const QString name = exe.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    const QString base = dot > 0 ? name.left(dot) : name;
    return exe.absolutePath() + u'/' + base + QStringLiteral(".ini");
}

TForm1::TForm1(const QString &settingsFile, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint
                          | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
    , FSettingsFile(settingsFile)
{
    setObjectName(QStringLiteral("Form1"));
    CreateControls();
    try {
        FormCreate();
    } catch (...) {
        ShowError(std::current_exception());
    }
}

TForm1::~TForm1() = default;

void TForm1::CreateControls()
{
    setWindowTitle(kCaptionUpdate);
    setFixedSize(378, 293);

    ftp = Named(new FTP_CHECK(this), "ftp");
    http = Named(new THttpClient(this), "http");
    Timer = Named(new QTimer(this), "Timer");
    Timer->setInterval(500);

    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    PageControl1->setGeometry(4, 4, 370, 285);
    TabSheet1 = Named(new QWidget, "TabSheet1");
    TabSheet2 = Named(new QWidget, "TabSheet2");
    PageControl1->addTab(TabSheet1, QStringLiteral("Update"));
    PageControl1->addTab(TabSheet2, QStringLiteral("Options"));

    // Page "Update", top to bottom.
    LbCheck = Named(new QLabel(QStringLiteral("Checking for updates..."), TabSheet1), "LbCheck");
    LbCheck->setGeometry(8, 4, 340, 16);
    memo1 = Named(new QPlainTextEdit(TabSheet1), "memo1");
    memo1->setGeometry(8, 22, 346, 112);
    memo1->setReadOnly(true);
    memo1->setLineWrapMode(QPlainTextEdit::NoWrap);
    memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    Label6 = Named(new QLabel(QStringLiteral("Downloading files..."), TabSheet1), "Label6");
    Label6->setGeometry(8, 140, 200, 16);
    ProgressBar1 = Named(new QProgressBar(TabSheet1), "ProgressBar1");
    ProgressBar1->setGeometry(8, 158, 346, 16);
    Label2 = Named(new QLabel(QStringLiteral("Total"), TabSheet1), "Label2");
    Label2->setGeometry(8, 180, 100, 16);
    TimeStat = Named(new QLabel(TabSheet1), "TimeStat");
    TimeStat->setGeometry(114, 180, 240, 16);
    TimeStat->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    ProgressBar2 = Named(new QProgressBar(TabSheet1), "ProgressBar2");
    ProgressBar2->setGeometry(8, 198, 346, 16);
    for (QProgressBar *bar : {ProgressBar1, ProgressBar2}) {
        bar->setRange(0, 100);
        bar->setValue(0);
        bar->setTextVisible(false);
    }
    Button1 = Named(new QPushButton(kCaptionUpdate, TabSheet1), "Button1");
    Button1->setGeometry(274, 222, 80, 26);

    // Page "Options".
    GroupBox1 = Named(new QGroupBox(TabSheet2), "GroupBox1");
    GroupBox1->setGeometry(8, 8, 346, 150);
    Label5 = Named(new QLabel(QStringLiteral("Protocol"), GroupBox1), "Label5");
    Label5->setGeometry(12, 22, 70, 22);
    ComboBox1 = Named(new QComboBox(GroupBox1), "ComboBox1");
    ComboBox1->setGeometry(88, 22, 110, 22);
    ComboBox1->addItems({kFtp, kHttp});
    ComboBox1->setCurrentIndex(-1);
    CheckBox1 = Named(new QCheckBox(QStringLiteral("Use Proxy"), GroupBox1), "CheckBox1");
    CheckBox1->setGeometry(12, 54, 200, 22);
    Label1 = Named(new QLabel(QStringLiteral("Host"), GroupBox1), "Label1");
    Label1->setGeometry(12, 86, 70, 22);
    Edit1 = Named(new QLineEdit(GroupBox1), "Edit1");
    Edit1->setGeometry(88, 86, 240, 22);
    Label4 = Named(new QLabel(QStringLiteral("Port"), GroupBox1), "Label4");
    Label4->setGeometry(12, 116, 70, 22);
    Edit4 = Named(new QLineEdit(GroupBox1), "Edit4");
    Edit4->setGeometry(88, 116, 80, 22);
    for (QWidget *w : {static_cast<QWidget *>(Label1), static_cast<QWidget *>(Edit1),
                       static_cast<QWidget *>(Label4), static_cast<QWidget *>(Edit4)})
        w->setEnabled(false);

    connect(Button1, &QPushButton::clicked, this, &TForm1::Button1Click);
    connect(Timer, &QTimer::timeout, this, &TForm1::TimerTimer);
    connect(CheckBox1, &QCheckBox::toggled, this, [this] { RunHandler([this] { CheckBox1Click(); }); });
    connect(Edit1, &QLineEdit::textChanged, this, [this] { RunHandler([this] { Edit1Change(); }); });
    connect(Edit4, &QLineEdit::textChanged, this, [this] { RunHandler([this] { Edit4Change(); }); });
    // activated: the user's choice only, as a program's own selection runs no
    // change handling.
    connect(ComboBox1, &QComboBox::activated, this, [this] { RunHandler([this] { ComboBox1Change(); }); });

    connect(ftp, &FTP_CHECK::OnWorkBegin, this, &TForm1::ftpWorkBegin);
    connect(ftp, &FTP_CHECK::OnWork, this, &TForm1::ftpWork);
    connect(ftp, &FTP_CHECK::OnWorkEnd, this, &TForm1::ftpWorkEnd);
    connect(http, &THttpClient::OnWorkBegin, this, &TForm1::httpWorkBegin);
    connect(http, &THttpClient::OnWork, this, &TForm1::httpWork);
    connect(http, &THttpClient::OnWorkEnd, this, &TForm1::httpWorkEnd);
}

// ---------------------------------------------------------------------------
// Error handling around control changes

template<typename Change> void TForm1::ChangeControl(Change &&change)
{
    ++FChangeDepth;
    change();
    --FChangeDepth;
    if (FParkedError)
        std::rethrow_exception(std::exchange(FParkedError, nullptr));
}

template<typename Handler> void TForm1::RunHandler(Handler &&handler)
{
    try {
        handler();
    } catch (...) {
        if (FChangeDepth > 0) {
            if (!FParkedError)
                FParkedError = std::current_exception();
        } else {
            ShowError(std::current_exception());
        }
    }
}

void TForm1::ShowError(const std::exception_ptr &error)
{
    QString message;
    try {
        std::rethrow_exception(error);
    } catch (const EProfileWriteError &e) {
        message = e.Message();
    } catch (const ETransferError &e) {
        message = e.Message();
    } catch (const std::exception &e) {
        message = QString::fromUtf8(e.what());
    } catch (...) {
        message = QStringLiteral("Unknown error");
    }
    ShowErrorBox(this, message);
}

// ---------------------------------------------------------------------------
// Settings

void TForm1::ReadSettings()
{
    const TProfileFile ini(FSettingsFile);
    FCurrentVersion = ini.ReadString(kSettings, QStringLiteral("CurrentVersion"), QString());
    FInstallDir = ini.ReadString(kSettings, QStringLiteral("InstallDir"), QString());
    FProtocol = ini.ReadString(kSettings, QStringLiteral("Protocol"), QString());
    FLocalUpdateID = ini.ReadInteger(kSettings, QStringLiteral("UpdateID"), 0);
}

TConnectionSettings TForm1::ReadConnection(const QString &section) const
{
    const TProfileFile ini(FSettingsFile);
    TConnectionSettings c;
    c.Host = ini.ReadString(section, QStringLiteral("Host"), QString());
    c.Port = ini.ReadInteger(section, QStringLiteral("Port"), 0);
    c.UseProxy = ini.ReadBool(section, QStringLiteral("UseProxy"), false);
    c.LocalFile = ini.ReadString(section, QStringLiteral("LocalFile"), QString());
    c.RemoteFile = ini.ReadString(section, QStringLiteral("RemoteFile"), QString());
    c.ProxyHost = ini.ReadString(section, QStringLiteral("ProxyHost"), QString());
    c.ProxyPort = ini.ReadInteger(section, QStringLiteral("ProxyPort"), 0);
    return c;
}

bool TForm1::HasCurrentProtocol() const
{
    return FProtocol == kFtp || FProtocol == kHttp;
}

void TForm1::ApplySettings()
{
    ReadSettings();
    setWindowTitle(kCaptionUpdate);

    FFtpSettings = ReadConnection(kFtp);
    ftp->Host = FFtpSettings.Host;
    ftp->Port = FFtpSettings.Port;
    ftp->ProxySettings.Host = FFtpSettings.ProxyHost;
    ftp->ProxySettings.Port = FFtpSettings.ProxyPort;
    ftp->ProxySettings.ProxyType = FFtpSettings.UseProxy ? fpcmUserSite : fpcmNone;
    ftp->LocalFile = FFtpSettings.LocalFile;
    ftp->RemoteFile = FFtpSettings.RemoteFile;

    FHttpSettings = ReadConnection(kHttp);
    http->Host = FHttpSettings.Host;
    http->Port = FHttpSettings.Port;
    http->ProxyParams = FHttpSettings.UseProxy
                            ? THttpProxyParams{FHttpSettings.ProxyHost, FHttpSettings.ProxyPort}
                            : THttpProxyParams{};

    // A change of state runs CheckBox1Click, which applies the settings once
    // more; that nested call finds the box in its state already and stops.
    if (FProtocol == kHttp) {
        const bool on = FHttpSettings.UseProxy;
        ChangeControl([&] { CheckBox1->setChecked(on); });
    } else if (FProtocol == kFtp) {
        const bool on = FFtpSettings.UseProxy;
        ChangeControl([&] { CheckBox1->setChecked(on); });
    }
}

void TForm1::FormCreate()
{
    ApplySettings();
    FHttpPercent = 0;
    if (!HasCurrentProtocol())
        return;
    const TConnectionSettings &c = FProtocol == kFtp ? FFtpSettings : FHttpSettings;
    // Both values are taken before either edit is filled: filling Edit1 writes
    // both keys, with Edit4 still empty, and filling Edit4 then mends the port.
    const QString host = c.ProxyHost;
    const int port = c.ProxyPort;
    ComboBox1->setCurrentIndex(FProtocol == kFtp ? 0 : 1);
    ChangeControl([&] { Edit1->setText(host); });
    ChangeControl([&] { Edit4->setText(QString::number(port)); });
}

void TForm1::CheckBox1Click()
{
    const bool on = CheckBox1->isChecked();
    for (QWidget *w : {static_cast<QWidget *>(Edit1), static_cast<QWidget *>(Edit4),
                       static_cast<QWidget *>(Label1), static_cast<QWidget *>(Label4)})
        w->setEnabled(on);
    if (HasCurrentProtocol())
        TProfileFile(FSettingsFile).WriteBool(FProtocol, QStringLiteral("UseProxy"), on);
    ApplySettings();
}

void TForm1::WriteProxyEdits()
{
    if (!HasCurrentProtocol())
        return;
    TProfileFile ini(FSettingsFile);
    ini.WriteString(FProtocol, QStringLiteral("ProxyHost"), Edit1->text());
    ini.WriteString(FProtocol, QStringLiteral("ProxyPort"), Edit4->text());
}

void TForm1::Edit1Change()
{
    WriteProxyEdits();
}

void TForm1::Edit4Change()
{
    WriteProxyEdits();
}

void TForm1::ComboBox1Change()
{
    const QString selected = ComboBox1->currentText();
    TProfileFile(FSettingsFile).WriteString(kSettings, QStringLiteral("Protocol"), selected);
    FProtocol = selected;

    // Read both first: filling Edit1 writes the old Edit4 text as the port.
    const TProfileFile ini(FSettingsFile);
    const QString host = ini.ReadString(FProtocol, QStringLiteral("ProxyHost"), QString());
    const int port = ini.ReadInteger(FProtocol, QStringLiteral("ProxyPort"), 0);
    ChangeControl([&] { Edit1->setText(host); });
    ChangeControl([&] { Edit4->setText(QString::number(port)); });

    const bool on = TProfileFile(FSettingsFile).ReadBool(FProtocol, QStringLiteral("UseProxy"), false);
    ChangeControl([&] { CheckBox1->setChecked(on); });
}

// ---------------------------------------------------------------------------
// Log

QStringList TForm1::LogLines() const
{
    if (FLogLineCount == 0)
        return {};
    return memo1->toPlainText().split(u'\n');
}

void TForm1::AddLog(const QString &line)
{
    // appendPlainText starts no new line while the text is still empty, so
    // leading empty lines would vanish: each line after the first opens its
    // own block here.
    QScrollBar *scroll = memo1->verticalScrollBar();
    const bool atEnd = scroll->value() == scroll->maximum();
    QTextCursor cursor(memo1->document());
    cursor.movePosition(QTextCursor::End);
    if (FLogLineCount > 0)
        cursor.insertBlock();
    cursor.insertText(line);
    ++FLogLineCount;
    // Follow the new line unless the user has scrolled back to read.
    if (atEnd)
        scroll->setValue(scroll->maximum());
}

void TForm1::ClearLog()
{
    memo1->clear();
    FLogLineCount = 0;
}

// ---------------------------------------------------------------------------
// The run

void TForm1::Button1Click()
{
    // The caption is looked at three times within one click. A click during a
    // run arrives here again from inside a progress notification, reads
    // "Cancel" and only aborts.
    bool ranHere = false;
    try {
        if (Button1->text() == kCaptionClose) {
            // Ends the message loop without the close handling, so the
            // descriptor copy stays.
            QCoreApplication::exit(0);
            return;
        }
        // While a cancelled run unwinds, "Update" starts nothing: a second run
        // inside the first would drive the same clients mid-transfer.
        if (Button1->text() == kCaptionUpdate && !FRunning) {
            Button1->setText(kCaptionCancel);
            ComboBox1->setEnabled(false);
            ranHere = true;
            FRunning = true;
            FCancelRequested = false;
            try {
                PerformRun();
            } catch (const TRunCancelled &) {
                FRunning = false;
                ftp->Disconnect();
                http->Disconnect();
            } catch (...) {
                FRunning = false;
                throw;
            }
            FRunning = false;
        }
        if (Button1->text() == kCaptionCancel) {
            if (FRunning)
                FCancelRequested = true;
            if (ftp->Connected())
                ftp->Abort();
            http->Disconnect();
            Button1->setText(kCaptionUpdate);
        }
    } catch (...) {
        ShowError(std::current_exception());
    }
    if (ranHere) {
        // No run is in progress any more, whatever ended it: the protocol can
        // be changed again (after an error too, so FTP can give way to HTTP).
        ComboBox1->setEnabled(true);
        if (FQuitAfterRun)
            QCoreApplication::exit(0);
    }
}

void TForm1::CheckCancelled() const
{
    if (FCancelRequested)
        throw TRunCancelled{};
}

void TForm1::PerformRun()
{
    const TAddLog addLog = [this](const QString &line) { AddLog(line); };

    // 1. The descriptor.
    FDescriptorFile = FetchDescriptor(FProtocol, *ftp, *http,
                                      THttpDescriptorSource{FHttpSettings.Host, FHttpSettings.RemoteFile,
                                                            FHttpSettings.LocalFile},
                                      addLog);
    CheckCancelled();

    // 2. Description, update number and details flag.
    const QString path = QDir::currentPath() + u'/' + FDescriptorFile;
    QStringList info;
    FRemoteUpdateID = ReadDescriptorInfo(path, FCurrentVersion, info, FShowDetails);

    // 3. Anything new?
    if (FRemoteUpdateID <= FLocalUpdateID) {
        ClearLog();
        AddLog(QStringLiteral("There is nothing to update."));
        ComboBox1->setEnabled(true);
        return;
    }

    // 4. The update's description.
    ClearLog();
    for (const QString &line : std::as_const(info))
        AddLog(line);
    AddLog(QString());

    // 5.-6. Every list is read before the first file is fetched.
    QStringList ftpList;
    QStringList httpList;
    ReadFileLists(path, FCurrentVersion, ftpList, httpList);
    ftpList = TakeFileEntries(ftpList, FShowDetails, addLog);
    httpList = TakeFileEntries(httpList, FShowDetails, addLog);
    FHttpFileCount = int(httpList.size());
    QStringList runList;
    ReadRunList(path, FCurrentVersion, runList);

    // 7. Folders.
    CreateDirectories(path, FCurrentVersion, FInstallDir, FShowDetails, addLog);

    // 8.-9. Size of the FTP download.
    FTotalSize = 0;
    if (FProtocol == kFtp)
        FTotalSize = FtpTotalSize(*ftp, ftpList);
    if (FTotalSize != 0 && FShowDetails)
        AddLog(QStringLiteral("Update size: ") + FormatSize(FTotalSize));

    // 10. The files. Cancel takes effect between two files: either list stops
    // before its next fetch.
    if (FProtocol == kFtp) {
        DownloadFtpFiles(*ftp, ftpList, FInstallDir, FShowDetails, addLog, [this](qint32 size) {
            CheckCancelled();
            FCurrentFileSize = size;
        });
    } else if (FProtocol == kHttp) {
        DownloadHttpFiles(*http, httpList, FInstallDir, FShowDetails, addLog, [this] { CheckCancelled(); });
    }
    CheckCancelled();

    // 11.-12. The update is in; record it.
    ComboBox1->setEnabled(true);
    TProfileFile(FSettingsFile).WriteInteger(kSettings, QStringLiteral("UpdateID"), FRemoteUpdateID);

    // 13.-15.
    RunPrograms(runList, FInstallDir);
    AddLog(QString());
    AddLog(QStringLiteral("Done."));
    if (Button1->text() == kCaptionCancel)
        Button1->setText(kCaptionClose);
}

// ---------------------------------------------------------------------------
// Progress

void TForm1::ftpWorkBegin(TWorkMode, qint64)
{
    // A transfer that brings no bytes (an empty file) raises no OnWork; without
    // this its end would count the previous transfer's bytes once more.
    FLastWorkCount = 0;
    Timer->start();
}

void TForm1::ftpWork(TWorkMode, qint64 count)
{
    if (FCurrentFileSize != 0)
        SetBarPosition(ProgressBar1, RoundHalfEven(double(count) / double(FCurrentFileSize) * 100));
    if (FTotalSize != 0)
        SetBarPosition(ProgressBar2, RoundHalfEven(double(FFinishedBytes + count) / double(FTotalSize) * 100));
    FLastWorkCount = count;
    QCoreApplication::processEvents();
}

void TForm1::ftpWorkEnd(TWorkMode)
{
    Timer->stop();
    FFinishedBytes += FLastWorkCount;
}

void TForm1::TimerTimer()
{
    FElapsed += 0.5;
    const double position = ProgressBar2->value();
    const double rate = position / FElapsed;
    const double left = rate != 0 ? (ProgressBar2->maximum() - position) / rate : 0;
    TimeStat->setText(QStringLiteral("Time left: ") + FormatTimeLeft(RoundHalfEven(left)));
}

void TForm1::httpWorkBegin(TWorkMode, qint64 expectedSize)
{
    SetBarMaximum(ProgressBar1, expectedSize);
}

void TForm1::httpWork(TWorkMode, qint64 count)
{
    SetBarPosition(ProgressBar1, count);
    QCoreApplication::processEvents();
}

void TForm1::httpWorkEnd(TWorkMode)
{
    SetBarPosition(ProgressBar1, 0);
    if (FHttpFileCount != 0) {
        FHttpPercent += 100.0 / FHttpFileCount;
        SetBarPosition(ProgressBar2, RoundHalfEven(FHttpPercent));
    }
    QCoreApplication::processEvents();
}

// ---------------------------------------------------------------------------
// Closing

void TForm1::FormClose()
{
    const QString copy = QDir::currentPath() + u'/' + FDescriptorFile;
    if (!FDescriptorFile.isEmpty() && QFileInfo(copy).isFile())
        QFile::remove(copy); // a failure here is not worth a message
}

void TForm1::closeEvent(QCloseEvent *event)
{
    FormClose();
    if (FRunning) {
        // The run goes on with the window shown; the program ends when the
        // run's click handling has returned.
        FQuitAfterRun = true;
        event->ignore();
        return;
    }
    event->accept();
}
