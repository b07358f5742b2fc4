// ErrorBox: the update program's modal error message, with a seam for tests.
#pragma once

#include <QString>
#include <functional>

class QWidget;

// The text shown for an error: the message with a full stop appended when its
// last character sorts after "." (letters and digits do; "!" or ")" do not).
QString ErrorBoxText(const QString &message);

// Shows `message` (through ErrorBoxText) in a modal box with the error icon,
// captioned with the application title, owned by `owner`. Returns when the
// user has dismissed it.
void ShowErrorBox(QWidget *owner, const QString &message);

// Seam for tests: replaces the box. Returns the handler that was in place
// (empty for the real box); pass an empty handler to restore the real one.
using TErrorBoxHandler = std::function<void(QWidget *owner, const QString &caption, const QString &text)>;
TErrorBoxHandler SetErrorBoxHandler(TErrorBoxHandler handler);
