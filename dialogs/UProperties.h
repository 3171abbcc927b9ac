#pragma once

#include "dialogs/Form.h"

class TfrmProperties : public TForm
{
    Q_OBJECT

public:
    explicit TfrmProperties(QWidget *parent = nullptr);
};

extern TfrmProperties *frmProperties;
