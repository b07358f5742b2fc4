// frm_About: the about box.
#include "frm_About.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include "ut_General.h"

using namespace Qt::StringLiterals;

TLinkLabel::TLinkLabel(const QString &text, QWidget *parent)
    : QLabel(text, parent)
{
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::StrongFocus);
}

void TLinkLabel::SetHot(bool hot)
{
    QFont font = this->font();
    font.setBold(hot);
    font.setUnderline(hot);
    setFont(font);
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText,
                     hot ? colours.color(QPalette::Link) : parentWidget()->palette().color(QPalette::WindowText));
    setPalette(colours);
}

void TLinkLabel::enterEvent(QEnterEvent *event)
{
    SetHot(true);
    QLabel::enterEvent(event);
}

void TLinkLabel::leaveEvent(QEvent *event)
{
    SetHot(false);
    QLabel::leaveEvent(event);
}

void TLinkLabel::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        OpenWithShell(Target);
    QLabel::mouseReleaseEvent(event);
}

void TLinkLabel::keyPressEvent(QKeyEvent *event)
{
    // Reachable by keyboard too: Space opens the link that has the focus.
    if (event->key() == Qt::Key_Space) {
        OpenWithShell(Target);
        return;
    }
    QLabel::keyPressEvent(event);
}

TformAbout::TformAbout(QWidget *owner)
    : QDialog(owner)
{
    setObjectName(u"formAbout"_s);
    setWindowTitle(UiText::sCredits);
    setModal(true);

    const auto label = [this](const char *name, const QString &text) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    lblName = label("lblName", UiText::sVantor);
    // The version is added to whatever the name label says, once, here.
    lblName->setText(lblName->text() + u' ' + UiText::sVersion);
    QFont big = lblName->font();
    big.setPointSizeF(big.pointSizeF() * 1.5);
    big.setBold(true);
    lblName->setFont(big);
    lblProgramming = label("lblProgramming", UiText::sProgramming);
    QFont bold = lblProgramming->font();
    bold.setBold(true);
    lblProgramming->setFont(bold);
    lblCredit = label("lblCredit", u"The Vantor developers"_s);
    lblDate = label("lblDate", u"2026"_s);

    lblHelpLink = new TLinkLabel(u"Vantor Help"_s, this);
    lblHelpLink->setObjectName(u"lblHelpLink"_s);
    lblReadmeLink = new TLinkLabel(u"Read me"_s, this);
    lblReadmeLink->setObjectName(u"lblReadmeLink"_s);
    lblReadmeLink->Target = QCoreApplication::applicationDirPath() + u"/help/README.md"_s;
    SetHelpFile(QCoreApplication::applicationDirPath() + u"/help/Vantor.html"_s);

    btnOK = new QPushButton(u"OK"_s, this);
    btnOK->setObjectName(u"btnOK"_s);
    btnOK->setDefault(true);
    connect(btnOK, &QPushButton::clicked, this, &QDialog::accept);

    auto *top = new QVBoxLayout(this);
    top->setContentsMargins(20, 16, 20, 12);
    top->addWidget(lblName);
    top->addSpacing(12);
    top->addWidget(lblProgramming);
    top->addWidget(lblCredit);
    top->addWidget(lblDate);
    top->addSpacing(12);
    top->addWidget(lblHelpLink);
    top->addWidget(lblReadmeLink);
    top->addStretch(1);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(btnOK);
    top->addLayout(buttons);

    setFixedSize(330, 250);
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect frame = frameGeometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

void TformAbout::SetHelpFile(const QString &fileName)
{
    lblHelpLink->Target = fileName;
}

void TformAbout::keyPressEvent(QKeyEvent *event)
{
    // Escape closes the box whichever control has the focus.
    if (event->key() == Qt::Key_Escape) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}

TformAbout *AboutBox(QWidget *owner)
{
    if (auto *existing = owner->findChild<TformAbout *>(u"formAbout"_s, Qt::FindDirectChildrenOnly))
        return existing;
    return new TformAbout(owner);
}
