// ComponentTexts: the component kinds the translation engine knows, over Qt's widgets.
#include "ComponentTexts.h"

#include <QAbstractItemModel>
#include <QAction>
#include <QCheckBox>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QTreeView>

using namespace Qt::StringLiterals;

namespace {

// Qt's own parts of a widget (a scroll area's viewport, a tab widget's tab bar):
// never a kind, though what they hold is walked.
bool IsToolkitPart(const QObject *object)
{
    const QString name = object->objectName();
    return name.startsWith(u"qt_"_s) || name.startsWith(u"_q_"_s);
}

bool IsHelperAction(const QObject *object)
{
    const auto *action = qobject_cast<const QAction *>(object);
    if (!action)
        return false;
    if (const auto *menu = qobject_cast<const QMenu *>(action->parent()))
        return menu->menuAction() == action;
    if (const auto *bar = qobject_cast<const QToolBar *>(action->parent()))
        return bar->toggleViewAction() == action;
    if (const auto *dock = qobject_cast<const QDockWidget *>(action->parent()))
        return dock->toggleViewAction() == action;
    return false;
}

// An action on a tool bar and in no menu stands for a tool button.
bool IsToolBarOnly(const QAction *action)
{
    bool onToolBar = false;
    for (const QObject *user : action->associatedObjects()) {
        if (qobject_cast<const QMenu *>(user) || qobject_cast<const QMenuBar *>(user))
            return false;
        if (qobject_cast<const QToolBar *>(user))
            onToolBar = true;
    }
    return onToolBar;
}

bool IsStringListMarker(const QString &line)
{
    const qsizetype equals = line.indexOf(u'=');
    return equals >= 0 && QStringView(line).left(equals).compare(u"MLStringList"_s, Qt::CaseInsensitive) == 0
           && QStringView(line).mid(equals + 1) == u"translation"_s;
}

enum TKind { kLabel, kWindow, kMenuItem, kTabSheet, kToolButton, kSpeedButton, kCheckBox, kListView, kTabControl, kMemo };

void AddTexts(TKind kind, QWidget *window, QObject *component, QList<TComponentText> &texts)
{
    const QString key = window->objectName() + u'.' + component->objectName();
    const auto caption = [&](const QString &text, std::function<void(const QString &)> set) {
        texts.append({key, text, TComponentText::trCaption, std::move(set)});
    };
    switch (kind) {
    case kLabel:
        if (auto *label = qobject_cast<QLabel *>(component);
            label && !qobject_cast<QStatusBar *>(label->parent()))
            caption(label->text(), [label](const QString &t) { label->setText(t); });
        break;
    case kWindow:
        if (component == window)
            caption(window->windowTitle(), [window](const QString &t) { window->setWindowTitle(t); });
        break;
    case kMenuItem:
        if (auto *menu = qobject_cast<QMenu *>(component))
            caption(menu->title(), [menu](const QString &t) { menu->setTitle(t); });
        else if (auto *action = qobject_cast<QAction *>(component); action && !IsToolBarOnly(action))
            caption(action->text(), [action](const QString &t) { action->setText(t); });
        break;
    case kTabSheet:
        if (auto *page = qobject_cast<QWidget *>(component)) {
            auto *stack = qobject_cast<QStackedWidget *>(page->parent());
            auto *tabs = stack ? qobject_cast<QTabWidget *>(stack->parent()) : nullptr;
            if (tabs && tabs->indexOf(page) >= 0)
                caption(tabs->tabText(tabs->indexOf(page)),
                        [tabs, page](const QString &t) { tabs->setTabText(tabs->indexOf(page), t); });
        }
        break;
    case kToolButton:
        if (auto *action = qobject_cast<QAction *>(component); action && IsToolBarOnly(action))
            caption(action->toolTip(), [action](const QString &t) {
                // The hint is also the action's text (shown when the tool bar
                // overflows) and status tip where they were the same.
                const QString old = action->toolTip();
                if (action->text() == old)
                    action->setText(t);
                if (action->statusTip() == old)
                    action->setStatusTip(t);
                action->setToolTip(t);
            });
        break;
    case kSpeedButton:
        if (auto *button = qobject_cast<QToolButton *>(component); button && !button->defaultAction())
            caption(button->toolTip(), [button](const QString &t) { button->setToolTip(t); });
        break;
    case kCheckBox:
        if (auto *box = qobject_cast<QCheckBox *>(component))
            caption(box->text(), [box](const QString &t) { box->setText(t); });
        break;
    case kListView:
        if (qobject_cast<QTreeView *>(component) || qobject_cast<QTableView *>(component)) {
            QAbstractItemModel *model = static_cast<QAbstractItemView *>(component)->model();
            for (int n = 0; model && n < model->columnCount(); ++n)
                texts.append({key + u'.' + QString::number(n),
                              model->headerData(n, Qt::Horizontal, Qt::DisplayRole).toString(),
                              TComponentText::trItem,
                              [model, n](const QString &t) { model->setHeaderData(n, Qt::Horizontal, t); }});
        }
        break;
    case kTabControl:
        if (auto *bar = qobject_cast<QTabBar *>(component); bar && !qobject_cast<QTabWidget *>(bar->parent()))
            for (int n = 0; n < bar->count(); ++n)
                texts.append({key + u'.' + QString::number(n), bar->tabText(n), TComponentText::trTab,
                              [bar, n](const QString &t) { bar->setTabText(n, t); }});
        break;
    case kMemo:
        if (auto *memo = qobject_cast<QPlainTextEdit *>(component)) {
            const QStringList lines = memo->toPlainText().split(u'\n');
            if (std::none_of(lines.begin(), lines.end(), IsStringListMarker))
                break;
            // The first line is taken for the marker; the others are name=value.
            for (int i = 1; i < lines.size(); ++i) {
                const qsizetype equals = lines[i].indexOf(u'=');
                const QString name = equals < 0 ? lines[i] : lines[i].left(equals);
                const QString value = equals < 0 ? QString() : lines[i].mid(equals + 1);
                texts.append({name, value, TComponentText::trValue, [memo, i, name](const QString &t) {
                                  QStringList now = memo->toPlainText().split(u'\n');
                                  if (i < now.size())
                                      now[i] = name + u'=' + t;
                                  memo->setPlainText(now.join(u'\n'));
                              }});
            }
        }
        break;
    }
}

} // namespace

bool IsWalkedWindow(const QObject *object)
{
    const auto *widget = qobject_cast<const QWidget *>(object);
    if (!widget || !widget->isWindow() || qobject_cast<const QMenu *>(widget))
        return false;
    const Qt::WindowType type = widget->windowType();
    return type == Qt::Window || type == Qt::Dialog || type == Qt::Sheet;
}

QList<QObject *> OwnedComponents(const QObject *component)
{
    QList<QObject *> owned;
    for (QObject *child : component->children())
        if (!IsWalkedWindow(child) && !IsHelperAction(child))
            owned << child;
    return owned;
}

QList<TComponentText> ComponentTexts(QWidget *window, QObject *component, TWalkOrder order)
{
    static constexpr TKind translateOrder[] = {kLabel,       kWindow,   kMenuItem,  kTabSheet,  kToolButton,
                                               kSpeedButton, kCheckBox, kListView,  kTabControl, kMemo};
    static constexpr TKind collectOrder[] = {kLabel,       kWindow,      kMenuItem, kTabSheet, kTabControl,
                                             kToolButton,  kSpeedButton, kCheckBox, kListView, kMemo};
    QList<TComponentText> texts;
    if (IsToolkitPart(component) || IsHelperAction(component))
        return texts;
    for (const TKind kind : order == TWalkOrder::woTranslate ? translateOrder : collectOrder)
        AddTexts(kind, window, component, texts);
    return texts;
}
