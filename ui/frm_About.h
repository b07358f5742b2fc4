// frm_About: the about box: the program's name and version, its credits and
// links to the help and the read-me shipped with it.
#pragma once

#include <QDialog>
#include <QLabel>

// A label that opens its target through the shell when clicked, shown bold
// and underlined in the link colour while the mouse is over it.
class QPushButton;

class TLinkLabel : public QLabel
{
    Q_OBJECT

public:
    TLinkLabel(const QString &text, QWidget *parent);

    // What a click opens (a file, folder or address).
    QString Target;

protected:
    void enterEvent(QEnterEvent *event) override;
    void leaveEvent(QEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void SetHot(bool hot);
};

class TformAbout : public QDialog
{
    Q_OBJECT

public:
    explicit TformAbout(QWidget *owner);

    // Where the links point: the help file and the read-me in the program
    // folder. The help link follows the help file in use.
    void SetHelpFile(const QString &fileName);

    // --- controls (objectName = member name) ------------------------------
    QLabel *lblName = nullptr;
    QLabel *lblProgramming = nullptr;
    QLabel *lblCredit = nullptr;
    QLabel *lblDate = nullptr;
    TLinkLabel *lblHelpLink = nullptr;
    TLinkLabel *lblReadmeLink = nullptr;
    QPushButton *btnOK = nullptr;

protected:
    void keyPressEvent(QKeyEvent *event) override;
};

// The about box of `owner`, made on first use and kept.
TformAbout *AboutBox(QWidget *owner);
