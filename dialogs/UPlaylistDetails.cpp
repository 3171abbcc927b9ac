#include "dialogs/UPlaylistDetails.h"

TfrmPlaylistDetails *frmPlaylistDetails = nullptr;

TfrmPlaylistDetails::TfrmPlaylistDetails(QWidget *parent) : TForm(parent)
{
    setObjectName(QStringLiteral("frmPlaylistDetails"));
    setWindowTitle(QStringLiteral("Playlist Details"));
}
