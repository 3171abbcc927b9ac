#pragma once

#include "dialogs/Form.h"

class TfrmImportSongs : public TForm
{
    Q_OBJECT

public:
    explicit TfrmImportSongs(QWidget *parent = nullptr);
};

extern TfrmImportSongs *frmImportSongs;
