// MLang: the translation engine and the Language menu's entries.
#include "MLang.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFileDialog>
#include <QIcon>
#include <QImageReader>
#include <QMenu>
#include <QPixmap>
#include <QStandardPaths>
#include <QWidget>

#include "ComponentTexts.h"
#include "FileFind.h"
#include "LanguageFile.h"

using namespace Qt::StringLiterals;

namespace {

const char *const kHelpFileProperty = "vantorHelpFile";

QString WithSlash(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

// Every image of an icon file; a null icon when none can be read.
QIcon LoadIcon(const QString &path)
{
    QIcon icon;
    QImageReader reader(path);
    for (int i = 0; i < qMax(1, reader.imageCount()); ++i) {
        if (i > 0 && !reader.jumpToImage(i))
            break;
        const QImage image = reader.read();
        if (!image.isNull())
            icon.addPixmap(QPixmap::fromImage(image));
    }
    return icon;
}

// A menu entry's text for a display name: "&" doubled, so Qt shows the name
// as it stands instead of taking the "&" for an accelerator mark.
QString EntryCaption(const QString &displayName)
{
    QString caption = displayName;
    return caption.replace(u"&"_s, u"&&"_s);
}

// The text an entry shows, as Qt reads its accelerator marks: "&&" is an "&",
// a single "&" marks the accelerator and is not shown.
QString ShownCaption(const QString &caption)
{
    QString shown;
    shown.reserve(caption.size());
    for (qsizetype i = 0; i < caption.size(); ++i) {
        if (caption.at(i) != u'&')
            shown += caption.at(i);
        else if (i + 1 < caption.size() && caption.at(i + 1) == u'&')
            shown += caption.at(++i);
    }
    return shown;
}

} // namespace

QString ApplicationHelpFile()
{
    return qApp ? qApp->property(kHelpFileProperty).toString() : QString();
}

void SetApplicationHelpFile(const QString &helpFile)
{
    if (qApp)
        qApp->setProperty(kHelpFileProperty, helpFile);
}

MLanguage::MLanguage(QWidget *owner)
    : QObject(owner), FOwner(owner)
{
    setObjectName(u"MLanguage"_s);
    ProgramFolder = WithSlash(QCoreApplication::applicationDirPath());
    InitialHelpFile = ApplicationHelpFile();
    AskExportFileName = [](QWidget *parent) {
        return QFileDialog::getSaveFileName(parent, QString(), QString(), QString(), nullptr,
                                            QFileDialog::DontConfirmOverwrite);
    };
}

MLanguage::~MLanguage() = default;

QString MLanguage::ProgramLanguageFolder() const
{
    return WithSlash(ProgramFolder) + LanguageFolder + u'/';
}

QString MLanguage::UserLanguageFolder() const
{
    return WithSlash(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)) + LanguageFolder + u'/';
}

QString MLanguage::OriginalTextsPath() const
{
    return FOriginalTextsPath.isEmpty() ? ProgramLanguageFolder() + OriginalTextsFile : FOriginalTextsPath;
}

void MLanguage::AddExcludedComponent(const QString &name)
{
    FExcludedComponents.insert(name.toLower());
}

bool MLanguage::IsExcluded(const QString &name) const
{
    return FExcludedComponents.contains(name.toLower());
}

QList<QWidget *> MLanguage::Windows() const
{
    QList<QWidget *> windows;
    QWidget *main = FOwner ? FOwner->window() : nullptr;
    if (!main)
        return windows;
    windows << main;
    // The windows the main window owns, in the order they were made.
    // Only dialogs: a plain window it owns (the help viewer) stands in for a
    // service of the system, comes and goes with use, and is not translated,
    // so what a collect walk writes never depends on what was opened before.
    const std::function<void(const QObject *)> visit = [&](const QObject *object) {
        for (QObject *child : object->children()) {
            if (IsWalkedWindow(child) && qobject_cast<QDialog *>(child))
                windows << static_cast<QWidget *>(child);
            visit(child);
        }
    };
    visit(main);
    return windows;
}

// --- loading and translating ------------------------------------------------------

void MLanguage::LoadLanguageFile(const QString &path)
{
    QStringList lines = LanguageFile::ReadLines(path);
    if (lines.size() < 2)
        throw ELanguageError(u"List index out of bounds (%1)"_s.arg(1));
    Texts = lines;
    LanguageHelpFile = LanguageFile::HelpFile(Texts.at(1));
}

void MLanguage::LoadLanguage(const QString &path)
{
    if (path.isEmpty())
        return;
    LoadLanguageFile(path);
    CurrentLanguageFile = path;
    TranslateAll();
}

void MLanguage::LoadOriginalLanguage()
{
    const QString path = OriginalTextsPath();
    if (!OriginalTextsFile.isEmpty())
        LoadLanguageFile(path);
    CurrentLanguageFile = path;
    TranslateAll();
}

void MLanguage::TranslateAll()
{
    if (OnBeforeTranslate)
        OnBeforeTranslate(this);
    for (QWidget *window : Windows())
        if (!OwnedComponents(window).isEmpty())
            TranslateComponent(window, window);
    if (OnAfterTranslate)
        OnAfterTranslate(this);
    if (LanguageHelpFile.isEmpty())
        LanguageHelpFile = InitialHelpFile;
    SetApplicationHelpFile(LanguageHelpFile);
    emit HelpFileChanged(LanguageHelpFile);
}

void MLanguage::TranslateComponent(QWidget *window, QObject *component)
{
    // Owned components first, so a window's title is the last of its texts to change.
    for (QObject *owned : OwnedComponents(component))
        TranslateComponent(window, owned);
    const bool named = !component->objectName().isEmpty();
    for (const TComponentText &text : ComponentTexts(window, component, TWalkOrder::woTranslate)) {
        bool translate = false;
        switch (text.rule) {
        case TComponentText::trCaption:
            translate = named && text.text != u"-"_s;
            break;
        case TComponentText::trItem:
        case TComponentText::trTab:
            translate = !text.text.isEmpty() && text.text != u"-"_s;
            break;
        case TComponentText::trValue:
            translate = !text.text.isEmpty();
            break;
        }
        if (!translate)
            continue;
        const QString translated = LanguageFile::Lookup(Texts, text.key, text.text);
        if (translated != text.text)
            text.set(translated);
    }
}

// --- collecting and writing ---------------------------------------------------------

void MLanguage::CollectComponent(QWidget *window, QObject *component)
{
    // An excluded component's own text is collected; what it owns is not.
    if (!IsExcluded(component->objectName()))
        for (QObject *owned : OwnedComponents(component))
            CollectComponent(window, owned);
    for (const TComponentText &text : ComponentTexts(window, component, TWalkOrder::woCollect)) {
        bool collect = false;
        switch (text.rule) {
        case TComponentText::trCaption:
        case TComponentText::trItem:
            collect = !text.text.isEmpty() && text.text != u"-"_s;
            break;
        case TComponentText::trTab:
            collect = true;
            break;
        case TComponentText::trValue:
            collect = !text.text.isEmpty();
            break;
        }
        if (collect)
            CollectedTexts << text.key + u'=' + text.text;
    }
}

void MLanguage::WriteTexts(const QString &path) const
{
    LanguageFile::WriteLines(path, CollectedTexts);
}

void MLanguage::ExportTexts(bool ask)
{
    CollectedTexts.clear();
    for (QWidget *window : Windows())
        if (!OwnedComponents(window).isEmpty())
            CollectComponent(window, window);
    if (!ask) {
        WriteTexts(OriginalTextsPath());
        return;
    }
    const QString path = AskExportFileName ? AskExportFileName(FOwner) : QString();
    if (!path.isEmpty())
        WriteTexts(path);
}

void MLanguage::SaveOriginalTexts()
{
    // Installed for every user, the program's folder is not the user's to
    // write: the built-in texts then go to the user's own language folder,
    // rather than failing at every start.
    const QString programPath = ProgramLanguageFolder() + OriginalTextsFile;
    FOriginalTextsPath = programPath;
    try {
        ExportTexts(false);
        return;
    } catch (const ELanguageError &) {
        const QString userPath = UserLanguageFolder() + OriginalTextsFile;
        if (userPath == programPath)
            throw;
        try {
            QDir().mkpath(UserLanguageFolder());
            WriteTexts(userPath);
            FOriginalTextsPath = userPath;
            return;
        } catch (const ELanguageError &) {
        }
        throw;
    }
}

// --- the Language menu --------------------------------------------------------------

void MLanguage::FillLanguageMenu(QMenu *parent)
{
    if (!FileSearch) {
        FileSearch = new TFileSearch(this);
        FileSearch->setObjectName(u"FileSearch"_s);
    }
    FileSearch->KeepFilesFound = true;
    FFilesFound.clear();
    // The program's language files first, then the user's own.
    QStringList folders{ProgramLanguageFolder()};
    if (!folders.contains(UserLanguageFolder()))
        folders << UserLanguageFolder();
    for (const QString &folder : folders) {
        FileSearch->SetSearchFile(folder + u"*."_s + FileExt);
        FileSearch->RunSearch();
        for (const QString &path : FileSearch->FilesFound())
            if (!FFilesFound.contains(path, Qt::CaseInsensitive))
                FFilesFound << path;
    }

    for (const QString &path : std::as_const(FFilesFound)) {
        // An entry that cannot be read as text (a folder named like a language
        // file, a file without read access) is passed over: one bad file must
        // not cost the menu, nor the start-up steps that follow it.
        QString firstLine;
        try {
            firstLine = LanguageFile::ReadFirstLine(path);
        } catch (const ELanguageError &) {
            continue;
        }
        const QString name = LanguageFile::MenuName(firstLine);
        if (name.isNull())
            continue; // no header: not a language (the built-in texts file, an export)
        auto *entry = new QAction(EntryCaption(name), parent);
        entry->setData(path);
        if (AddIcons) {
            const QIcon icon = LoadIcon(LanguageFile::IconPath(path));
            if (!icon.isNull())
                entry->setIcon(icon);
        }
        connect(entry, &QAction::triggered, this, [this, entry] {
            const auto click = [this, entry] { LanguageItemClick(entry); };
            if (RunCommand) {
                RunCommand(click);
                return;
            }
            try {
                click();
            } catch (const ELanguageError &error) {
                qWarning("%s", error.what());
            }
        });
        parent->addAction(entry);
    }
}

QString MLanguage::FindLanguageFile(const QString &caption) const
{
    // A found entry that cannot be read (a folder named like a language file)
    // does not keep the files after it from being found.
    for (const QString &path : FFilesFound) {
        QString firstLine;
        try {
            firstLine = LanguageFile::ReadFirstLine(path);
        } catch (const ELanguageError &) {
            continue;
        }
        if (firstLine.startsWith(LanguageFile::kMenuNamePrefix) && firstLine.contains(caption))
            return path;
    }
    return QString();
}

void MLanguage::LanguageItemClick(QAction *entry)
{
    // The entry's own file gone or unreadable since the menu was filled: say so.
    if (const QString own = entry->data().toString(); !own.isEmpty())
        LanguageFile::ReadFirstLine(own);
    const QString path = FindLanguageFile(ShownCaption(entry->text()));
    if (path.isEmpty())
        return;
    LoadLanguageFile(path);
    CurrentLanguageFile = path;
    TranslateAll();
}
