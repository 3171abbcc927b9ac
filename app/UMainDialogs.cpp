#include "app/UMain.h"

#include "data/URegistry.h"
#include "dialogs/UAbout.h"
#include "dialogs/UCopyRightNotice.h"
#include "dialogs/UImportSongs.h"
#include "dialogs/UOptions.h"

void TfrmMain::FormActivate()
{
    if (m_activated)
        return;
    m_activated = true;
    if (frmCopyrightNotice->ShowModal() == mrOk)
        LibraryImported =
            ReadSetting(QuillmereKeyPath, QStringLiteral("Imported"), false) == QLatin1String("Y");
    else
        close();
}

void TfrmMain::ImportSongs1Click()
{
    // What the import changed is shown as it ends (SongsImported).
    frmImportSongs->ShowModal();
}

void TfrmMain::Options1Click()
{
    frmOptions->ShowModal();
}

void TfrmMain::About1Click()
{
    frmAbout->ShowModal();
}
