#include "app/UExport.h"

TfrmExport *frmExport = nullptr;

TfrmExport::TfrmExport(QWidget *parent) : TForm(parent)
{
    setObjectName(QStringLiteral("frmExport"));
    setWindowTitle(QStringLiteral("Export to MP3 device..."));
}
