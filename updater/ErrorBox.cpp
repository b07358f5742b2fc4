// ErrorBox: QMessageBox with the error icon, or whatever a test put in its place.
#include "ErrorBox.h"

#include <QGuiApplication>
#include <QMessageBox>

namespace {
TErrorBoxHandler g_handler;
}

QString ErrorBoxText(const QString &message)
{
    QString text = message;
    if (!text.isEmpty() && text.back() > u'.')
        text += u'.';
    return text;
}

void ShowErrorBox(QWidget *owner, const QString &message)
{
    const QString caption = QGuiApplication::applicationDisplayName();
    const QString text = ErrorBoxText(message);
    if (g_handler) {
        g_handler(owner, caption, text);
        return;
    }
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.exec();
}

TErrorBoxHandler SetErrorBoxHandler(TErrorBoxHandler handler)
{
    std::swap(handler, g_handler);
    return handler;
}
