// frm_Main_Language: the main window's part in switching languages: its
// translation engine, the Language menu, the two language commands, and the
// start-up step that writes the built-in texts and applies the stored language.
#include <QLabel>
#include <QMenu>
#include <algorithm>

#include "LanguageFile.h"
#include "MLang.h"
#include "frm_EditFile.h"
#include "frm_Main.h"
#include "ut_Dialogs.h"

using namespace Qt::StringLiterals;

void TformMain::CreateLanguageEngine()
{
    FLanguage = new MLanguage(this);
    FLanguage->LanguageFolder = u"Languages"_s;
    FLanguage->OriginalTextsFile = u"vantorOriginal.bab"_s;
    FLanguage->FileExt = u"bab"_s;
    FLanguage->AddIcons = true;
    FLanguage->RunCommand = [this](const std::function<void()> &command) { LanguageCommand(command); };
    // A language may bring its own help file; the built-in texts bring back ours.
    FLanguage->InitialHelpFile = InitialHelpFile();
    connect(FLanguage, &MLanguage::HelpFileChanged, this, &TformMain::SetHelpFile);
    FLanguage->OnAfterTranslate = [this](MLanguage *) {
        // The entry editor's two caption columns line up at the width of the
        // longest caption, which changes with the language.
        if (auto *editor = findChild<TformEditFile *>(u"formEditFile"_s, Qt::FindDirectChildrenOnly)) {
            for (QLabel *label : {editor->Label1, editor->Label2, editor->Label3, editor->Label12, editor->Label13})
                label->setMinimumWidth(0);
            const int width = std::max({editor->Label1->sizeHint().width(), editor->Label2->sizeHint().width(),
                                        editor->Label3->sizeHint().width(), editor->Label12->sizeHint().width(),
                                        editor->Label13->sizeHint().width()});
            for (QLabel *label : {editor->Label1, editor->Label2, editor->Label3, editor->Label12, editor->Label13})
                label->setMinimumWidth(width);
        }
    };
}

void TformMain::LanguageCommand(const std::function<void()> &command)
{
    Guarded(command);
    FAppliedLanguageFile = FLanguage->CurrentLanguageFile;
}

void TformMain::BuildLanguageMenu()
{
    FLanguage->AddExcludedComponent(miLanguages->objectName());
    Guarded([this] { FLanguage->FillLanguageMenu(miLanguages); });
}

void TformMain::ApplySavedLanguage()
{
    // The stored language is applied even when the built-in texts cannot be
    // written: a file that cannot be written must not cost the user the
    // language they chose, nor (stored empty at closing) the choice itself.
    QString writeError;
    try {
        FLanguage->SaveOriginalTexts();
    } catch (const ELanguageError &error) {
        writeError = error.Message();
    }
    LanguageCommand([this] { FLanguage->LoadLanguage(FLanguageFile); });
    if (!writeError.isEmpty())
        ShowError(this, writeError);
}

void TformMain::ExportCurrentLanguage1Click()
{
    FLanguage->ExportTexts(true);
}

void TformMain::LoadOriginalLanguage1Click()
{
    LanguageCommand([this] { FLanguage->LoadOriginalLanguage(); });
}
