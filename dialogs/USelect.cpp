#include "dialogs/USelect.h"

TfrmSelect *frmSelect = nullptr;

TfrmSelect::TfrmSelect(QWidget *parent) : TForm(parent)
{
    setObjectName(QStringLiteral("frmSelect"));
    setWindowTitle(QStringLiteral("Select songs"));
}
