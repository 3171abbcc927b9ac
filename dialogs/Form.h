#pragma once

#include "dialogs/MessageService.h"

#include <QDialog>

// A modal window of the program: created once, shown many times. exec() returns mrOk (1)
// or mrCancel (2); closing the window counts as Cancel.
class TForm : public QDialog
{
    Q_OBJECT

public:
    using QDialog::QDialog;
    int ShowModal() { return exec(); }
    void reject() override { done(mrCancel); }
    void accept() override { done(mrOk); }
};
