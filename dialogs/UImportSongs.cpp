#include "dialogs/UImportSongs.h"

TfrmImportSongs *frmImportSongs = nullptr;

TfrmImportSongs::TfrmImportSongs(QWidget *parent) : TForm(parent)
{
    setObjectName(QStringLiteral("frmImportSongs"));
    setWindowTitle(QStringLiteral("Import Music"));
}
