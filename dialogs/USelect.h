#pragma once

#include "dialogs/Form.h"

class TfrmSelect : public TForm
{
    Q_OBJECT

public:
    explicit TfrmSelect(QWidget *parent = nullptr);
};

extern TfrmSelect *frmSelect;
