// ut_Dialogs: the real Qt dialogs behind TDialogs, and the short forms.
#include "ut_Dialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

using namespace Qt::StringLiterals;

TDialogs::~TDialogs() = default;

namespace {

class TQtDialogs final : public TDialogs
{
public:
    QMessageBox::StandardButton Message(QWidget *parent, QMessageBox::Icon icon, const QString &text,
                                        QMessageBox::StandardButtons buttons) override
    {
        QMessageBox box(icon, QApplication::applicationDisplayName(), text, buttons, parent);
        if (buttons.testFlag(QMessageBox::Cancel))
            box.setEscapeButton(QMessageBox::Cancel);
        const int result = box.exec();
        const auto pressed = static_cast<QMessageBox::StandardButton>(result);
        // Closing the box from its title bar counts as Cancel where Cancel is offered.
        if (pressed == QMessageBox::NoButton && buttons.testFlag(QMessageBox::Cancel))
            return QMessageBox::Cancel;
        return pressed;
    }

    QString OpenFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter) override
    {
        return QFileDialog::getOpenFileName(parent, caption, dir, filter);
    }

    QString SaveFileName(QWidget *parent, const QString &caption, const QString &dir, const QString &filter,
                         const QString &defaultSuffix) override
    {
        QFileDialog dialog(parent, caption, dir, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setDefaultSuffix(defaultSuffix);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().constFirst();
    }

    QString ExistingDirectory(QWidget *parent, const QString &caption, const QString &dir) override
    {
        return QFileDialog::getExistingDirectory(parent, caption, dir, QFileDialog::ShowDirsOnly);
    }
};

TQtDialogs gQtDialogs;
TDialogs *gDialogs = &gQtDialogs;

} // namespace

TDialogs &Dialogs()
{
    return *gDialogs;
}

TDialogs *SetDialogs(TDialogs *dialogs)
{
    TDialogs *previous = gDialogs;
    gDialogs = dialogs ? dialogs : &gQtDialogs;
    return previous;
}

void ShowError(QWidget *parent, const QString &text)
{
    Dialogs().Message(parent, QMessageBox::Critical, text, QMessageBox::Ok);
}

QMessageBox::StandardButton AskYesNoCancel(QWidget *parent, const QString &text)
{
    return Dialogs().Message(parent, QMessageBox::Question, text,
                             QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
}

QString BrowseForFolder(QWidget *parent, const QString &initial)
{
    const QString start = QFileInfo(initial).isDir() ? initial : QString();
    const QString chosen = Dialogs().ExistingDirectory(parent, u"Browse"_s, start);
    if (chosen.isEmpty())
        return initial;
    return QDir::toNativeSeparators(QDir::cleanPath(chosen));
}
