#pragma once

#include "dialogs/Form.h"

class TfrmExport : public TForm
{
    Q_OBJECT

public:
    explicit TfrmExport(QWidget *parent = nullptr);
};

extern TfrmExport *frmExport;
