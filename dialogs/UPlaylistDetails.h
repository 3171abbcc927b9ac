#pragma once

#include "dialogs/Form.h"

class TfrmPlaylistDetails : public TForm
{
    Q_OBJECT

public:
    explicit TfrmPlaylistDetails(QWidget *parent = nullptr);
};

extern TfrmPlaylistDetails *frmPlaylistDetails;
