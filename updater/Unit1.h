// Unit1: the update window TForm1: its settings, its Options page and the
// update run behind its single button.
#pragma once

#include "FTP_VERSION_CHECK_Old.h"
#include "HttpClient.h"

#include <QStringList>
#include <QWidget>

#include <exception>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QTabWidget;
class QTimer;

// One connection section ("FTP" or "HTTP") of the settings file.
struct TConnectionSettings
{
    QString Host;
    int Port = 0;
    bool UseProxy = false;
    QString LocalFile;
    QString RemoteFile;
    QString ProxyHost;
    int ProxyPort = 0;
};

class TForm1 : public QWidget
{
    Q_OBJECT
public:
    // The settings file: the executable's path with its extension replaced by
    // ".ini" (the executable has none here, so "Updater" reads "Updater.ini").
    static QString SettingsFileName();

    // Builds the window and runs FormCreate. Errors of FormCreate are shown in
    // the error box; the window is usable afterwards.
    explicit TForm1(const QString &settingsFile = SettingsFileName(), QWidget *parent = nullptr);
    ~TForm1() override;

    // The log as lines (an empty log has none; a log of one empty line has one).
    QStringList LogLines() const;

    // Transfer clients, configured by ApplySettings.
    FTP_CHECK *ftp = nullptr;
    THttpClient *http = nullptr;

    // Controls (object names as the fields).
    QTabWidget *PageControl1 = nullptr;
    QWidget *TabSheet1 = nullptr;
    QWidget *TabSheet2 = nullptr;
    QLabel *LbCheck = nullptr;
    QPlainTextEdit *memo1 = nullptr;
    QLabel *Label6 = nullptr;
    QProgressBar *ProgressBar1 = nullptr;
    QLabel *Label2 = nullptr;
    QLabel *TimeStat = nullptr;
    QProgressBar *ProgressBar2 = nullptr;
    QPushButton *Button1 = nullptr;
    QGroupBox *GroupBox1 = nullptr;
    QLabel *Label5 = nullptr;
    QComboBox *ComboBox1 = nullptr;
    QCheckBox *CheckBox1 = nullptr;
    QLabel *Label1 = nullptr;
    QLineEdit *Edit1 = nullptr;
    QLabel *Label4 = nullptr;
    QLineEdit *Edit4 = nullptr;
    QTimer *Timer = nullptr;

public slots:
    void Button1Click();
    void TimerTimer();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void CreateControls();
    void FormCreate();
    void FormClose();
    void ReadSettings();
    TConnectionSettings ReadConnection(const QString &section) const;
    void ApplySettings();
    void CheckBox1Click();
    void Edit1Change();
    void Edit4Change();
    void ComboBox1Change();
    void WriteProxyEdits();
    bool HasCurrentProtocol() const;

    void PerformRun();
    void CheckCancelled() const;
    void AddLog(const QString &line);
    void ClearLog();

    void ftpWorkBegin(TWorkMode mode, qint64 expectedSize);
    void ftpWork(TWorkMode mode, qint64 count);
    void ftpWorkEnd(TWorkMode mode);
    void httpWorkBegin(TWorkMode mode, qint64 expectedSize);
    void httpWork(TWorkMode mode, qint64 count);
    void httpWorkEnd(TWorkMode mode);

    // Qt cannot carry an exception out of a signal. A handler run by a change
    // the program makes to a control parks its error; the code that made the
    // change throws it on, so the handler chain stops as a whole. Handlers run
    // by the user show their error at once.
    template<typename Change> void ChangeControl(Change &&change);
    template<typename Handler> void RunHandler(Handler &&handler);
    void ShowError(const std::exception_ptr &error);

    QString FSettingsFile;

    // From the settings file, refreshed by ApplySettings.
    QString FCurrentVersion;
    QString FInstallDir;
    QString FProtocol; // the current protocol: changes through ComboBox1 too
    int FLocalUpdateID = 0;
    TConnectionSettings FFtpSettings;
    TConnectionSettings FHttpSettings;

    // Run state, for the program's life.
    QString FDescriptorFile;
    int FRemoteUpdateID = 0;
    bool FShowDetails = false;
    int FHttpFileCount = 0;
    qint64 FTotalSize = 0;
    qint64 FCurrentFileSize = 0;
    qint64 FLastWorkCount = 0;
    qint64 FFinishedBytes = 0;
    double FElapsed = 0;
    double FHttpPercent = 0;

    int FLogLineCount = 0;
    bool FRunning = false;         // a run is inside Button1Click
    bool FCancelRequested = false; // Cancel was clicked during the run
    bool FQuitAfterRun = false;    // the window was closed during the run
    int FChangeDepth = 0;
    std::exception_ptr FParkedError;
};
