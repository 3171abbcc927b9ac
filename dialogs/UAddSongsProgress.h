#pragma once

#include <QProgressDialog>

// The progress of adding many songs to a playlist, with a button that stops it. Shown at
// once when the songs take more than one step.
class TfrmAddSongsProgress : public QProgressDialog
{
    Q_OBJECT

public:
    TfrmAddSongsProgress(QWidget *parent, int songs, bool showAtOnce);

    // Takes how many songs are added so far and lets the window answer its buttons; false
    // once Stop was pressed.
    bool Step(int added);
};
