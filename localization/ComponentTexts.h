// ComponentTexts: which texts a component carries for the translation engine,
// under which keys, and how each is put back; and which objects count as a
// window's components.
#pragma once

#include <QList>
#include <QString>
#include <functional>

class QObject;
class QWidget;

struct TComponentText
{
    enum TRule {
        trCaption, // translated when the component has a name and the text is not "-";
                   // collected when the text is neither empty nor "-"
        trItem,    // an indexed caption: translated and collected when neither empty nor "-"
        trTab,     // a tab of a tab bar: translated as trItem, collected always
        trValue,   // a string list value: translated and collected when not empty
    };
    QString key;
    QString text;
    TRule rule = trCaption;
    std::function<void(const QString &)> set;
};

enum class TWalkOrder { woTranslate, woCollect };

// The texts of `component` while `window` is walked, kind by kind in `order`.
QList<TComponentText> ComponentTexts(QWidget *window, QObject *component, TWalkOrder order);

// The components `component` owns, in the order they were made: its children,
// less child windows (walked as windows of their own) and the helper actions
// Qt makes for menus and tool bars.
QList<QObject *> OwnedComponents(const QObject *component);

// A widget that the walk treats as a window of its own.
bool IsWalkedWindow(const QObject *object);
