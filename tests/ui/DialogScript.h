// DialogScript: answers the program's message boxes and file dialogs in tests,
// in the order given, and records what was asked.
#pragma once

#include <QStringList>

#include "ut_Dialogs.h"

class TDialogScript final : public TDialogs
{
public:
    struct TAsked
    {
        QMessageBox::Icon icon;
        QString text;
    };

    TDialogScript() { FPrevious = SetDialogs(this); }
    ~TDialogScript() override { SetDialogs(FPrevious); }

    // Answers for the coming message boxes; with none left a box is answered
    // Cancel (or OK when only OK is offered) and counted as unexpected.
    QList<QMessageBox::StandardButton> answers;
    // Answers for the coming file and folder dialogs; an empty string cancels.
    QStringList paths;

    QList<TAsked> messages;
    QStringList fileDialogs; // "open", "save:<suffix>" or "folder:<start>" per dialog shown
    int unexpected = 0;

    QStringList Texts() const
    {
        QStringList texts;
        for (const TAsked &asked : messages)
            texts << asked.text;
        return texts;
    }

    QMessageBox::StandardButton Message(QWidget *, QMessageBox::Icon icon, const QString &text,
                                        QMessageBox::StandardButtons buttons) override
    {
        messages.append({icon, text});
        if (!answers.isEmpty())
            return answers.takeFirst();
        if (buttons == QMessageBox::Ok)
            return QMessageBox::Ok;
        ++unexpected;
        return QMessageBox::Cancel;
    }

    QString OpenFileName(QWidget *, const QString &, const QString &, const QString &) override
    {
        fileDialogs << QStringLiteral("open");
        return NextPath();
    }

    QString SaveFileName(QWidget *, const QString &, const QString &, const QString &,
                         const QString &defaultSuffix) override
    {
        fileDialogs << QStringLiteral("save:") + defaultSuffix;
        return NextPath();
    }

    QString ExistingDirectory(QWidget *, const QString &, const QString &dir) override
    {
        fileDialogs << QStringLiteral("folder:") + dir;
        return NextPath();
    }

private:
    QString NextPath()
    {
        if (paths.isEmpty()) {
            ++unexpected;
            return QString();
        }
        return paths.takeFirst();
    }

    TDialogs *FPrevious = nullptr;
};
