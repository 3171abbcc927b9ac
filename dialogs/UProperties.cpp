#include "dialogs/UProperties.h"

TfrmProperties *frmProperties = nullptr;

TfrmProperties::TfrmProperties(QWidget *parent) : TForm(parent)
{
    setObjectName(QStringLiteral("frmProperties"));
    setWindowTitle(QStringLiteral("Properties"));
}
