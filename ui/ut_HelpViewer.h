// ut_HelpViewer: the program's help: a small window of its own that shows one
// HTML help file with its topics, back and forward, and the routing of the F1
// key to whoever answers help requests.
//
// A topic behind a help context number N is the anchor "context-N" of the
// help file; context 0 is the start of the file.
#pragma once

#include <QString>
#include <QWidget>
#include <functional>

class QAction;
class QListWidget;
class QTextBrowser;

class THelpViewer : public QWidget
{
    Q_OBJECT

public:
    explicit THelpViewer(QWidget *owner);

    // Shows `fileName` at the topic of `context` and brings the window up. The
    // file is read again when it is another one than shown. A missing or
    // unreadable file is shown as a short note in the window, nothing else.
    // While a modal dialog is open the window is made a window of that dialog,
    // so the user can use it next to the dialog.
    void ShowTopic(const QString &fileName, int context);

    // The file shown and the anchor scrolled to last (empty for the start).
    QString FileName() const { return FFileName; }
    QString CurrentAnchor() const;

    // --- controls (objectName = member name) ------------------------------
    QAction *acBack = nullptr, *acForward = nullptr, *acContents = nullptr;
    QListWidget *lbTopics = nullptr;
    QTextBrowser *hvBrowser = nullptr;

private:
    void Load(const QString &fileName);
    void GoTo(const QString &anchor);

    QWidget *FOwner;
    QString FFileName;
    QString FAnchor;
};

// The help viewer of `owner`, made on first use and kept.
THelpViewer *HelpViewer(QWidget *owner);

// The help context of `widget`: its "helpContext" property, else that of the
// nearest parent that has one; 0 when none has.
int HelpContextOf(const QWidget *widget);

// Who answers a help request (F1 on a control): called with the help context
// of the focused control; returns true when it handled the request. Returns
// the handler that was in place, so it can be put back; an empty handler
// leaves F1 to the controls.
using THelpRequestHandler = std::function<bool(int context)>;
THelpRequestHandler SetHelpRequestHandler(THelpRequestHandler handler);
