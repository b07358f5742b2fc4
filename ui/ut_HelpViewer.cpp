// ut_HelpViewer: the help window and the F1 key.
#include "ut_HelpViewer.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QRegularExpression>
#include <QSplitter>
#include <QTextBrowser>
#include <QToolBar>
#include <QUrl>
#include <QVBoxLayout>

#include <QScrollBar>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

THelpRequestHandler &CurrentHandler()
{
    static THelpRequestHandler handler;
    return handler;
}

// Sees every F1 press of the application before the control does.
class THelpKeyFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
            return false;
        const auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() != Qt::Key_F1 || key->modifiers() != Qt::NoModifier || !CurrentHandler())
            return false;
        const QWidget *focus = QApplication::focusWidget();
        return CurrentHandler()(HelpContextOf(focus ? focus : static_cast<QWidget *>(watched)));
    }
};

// The topics of a help file: its <h2> headings that begin with a named anchor.
QList<std::pair<QString, QString>> Topics(const QString &html)
{
    static const QRegularExpression heading(
        uR"re(<h2[^>]*>\s*<a\s+name="([^"]+)"[^>]*>\s*</a>(.*?)</h2>)re"_s,
        QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
    static const QRegularExpression tag(u"<[^>]*>"_s);
    QList<std::pair<QString, QString>> topics;
    for (auto match = heading.globalMatch(html); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        QString title = found.captured(2);
        title.remove(tag);
        topics.append({found.captured(1), title.simplified()});
    }
    return topics;
}

} // namespace

THelpViewer::THelpViewer(QWidget *owner)
    : QWidget(owner, Qt::Window), FOwner(owner)
{
    setObjectName(u"helpViewer"_s);
    setWindowTitle(u"Vantor Help"_s);
    resize(820, 560);

    auto *bar = new QToolBar(this);
    bar->setObjectName(u"tbHelpViewer"_s);
    bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
    acBack = bar->addAction(u"Back"_s);
    acBack->setObjectName(u"acBack"_s);
    acBack->setShortcut(QKeySequence::Back);
    acForward = bar->addAction(u"Forward"_s);
    acForward->setObjectName(u"acForward"_s);
    acForward->setShortcut(QKeySequence::Forward);
    acContents = bar->addAction(u"Contents"_s);
    acContents->setObjectName(u"acContents"_s);

    lbTopics = new QListWidget;
    lbTopics->setObjectName(u"lbTopics"_s);
    hvBrowser = new QTextBrowser;
    hvBrowser->setObjectName(u"hvBrowser"_s);
    // Links to other files and addresses go to the desktop; the file's own
    // anchors stay here.
    hvBrowser->setOpenExternalLinks(true);

    auto *split = new QSplitter;
    split->setObjectName(u"splitHelp"_s);
    split->addWidget(lbTopics);
    split->addWidget(hvBrowser);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({200, 620});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(bar);
    layout->addWidget(split);

    acBack->setEnabled(false);
    acForward->setEnabled(false);
    connect(acBack, &QAction::triggered, hvBrowser, &QTextBrowser::backward);
    connect(acForward, &QAction::triggered, hvBrowser, &QTextBrowser::forward);
    connect(acContents, &QAction::triggered, this, [this] { GoTo(QString()); });
    connect(hvBrowser, &QTextBrowser::backwardAvailable, acBack, &QAction::setEnabled);
    connect(hvBrowser, &QTextBrowser::forwardAvailable, acForward, &QAction::setEnabled);
    connect(hvBrowser, &QTextBrowser::sourceChanged, this, [this](const QUrl &url) { FAnchor = url.fragment(); });
    connect(lbTopics, &QListWidget::itemActivated, this,
            [this](QListWidgetItem *item) { GoTo(item->data(Qt::UserRole).toString()); });
    connect(lbTopics, &QListWidget::itemClicked, this,
            [this](QListWidgetItem *item) { GoTo(item->data(Qt::UserRole).toString()); });
}

QString THelpViewer::CurrentAnchor() const
{
    return FAnchor;
}

void THelpViewer::Load(const QString &fileName)
{
    FFileName = fileName;
    FAnchor.clear();
    lbTopics->clear();
    hvBrowser->clearHistory();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        hvBrowser->setSource(QUrl());
        hvBrowser->setHtml(u"<p>The help file <b>%1</b> cannot be read.</p>"_s.arg(fileName.toHtmlEscaped()));
        return;
    }
    const QString html = QString::fromUtf8(file.readAll());
    for (const auto &[anchor, title] : Topics(html)) {
        auto *item = new QListWidgetItem(title, lbTopics);
        item->setData(Qt::UserRole, anchor);
    }
    hvBrowser->setSource(QUrl::fromLocalFile(QFileInfo(fileName).absoluteFilePath()));
}

void THelpViewer::GoTo(const QString &anchor)
{
    QUrl url = QUrl::fromLocalFile(QFileInfo(FFileName).absoluteFilePath());
    if (!anchor.isEmpty())
        url.setFragment(anchor);
    if (hvBrowser->source() == url) {
        // Asked for again after the user scrolled away: go there once more.
        if (anchor.isEmpty())
            hvBrowser->verticalScrollBar()->setValue(0);
        else
            hvBrowser->scrollToAnchor(anchor);
        return;
    }
    hvBrowser->setSource(url);
}

void THelpViewer::ShowTopic(const QString &fileName, int context)
{
    QWidget *modal = QApplication::activeModalWidget();
    QWidget *parent = modal && modal != this ? modal : FOwner;
    if (parentWidget() != parent) {
        const bool shown = isVisible();
        setParent(parent, Qt::Window);
        if (shown)
            show();
    }
    if (fileName != FFileName || !QFileInfo::exists(fileName))
        Load(fileName);
    if (QFileInfo::exists(fileName))
        GoTo(context > 0 ? u"context-%1"_s.arg(context) : QString());
    show();
    raise();
    activateWindow();
}

THelpViewer *HelpViewer(QWidget *owner)
{
    if (auto *existing = owner->findChild<THelpViewer *>(u"helpViewer"_s))
        return existing;
    return new THelpViewer(owner);
}

int HelpContextOf(const QWidget *widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const QVariant context = widget->property("helpContext");
        if (context.isValid() && context.toInt() > 0)
            return context.toInt();
    }
    return 0;
}

THelpRequestHandler SetHelpRequestHandler(THelpRequestHandler handler)
{
    static THelpKeyFilter *filter = nullptr;
    if (!filter && qApp) {
        filter = new THelpKeyFilter(qApp);
        qApp->installEventFilter(filter);
    }
    return std::exchange(CurrentHandler(), std::move(handler));
}
