#pragma once

#include "dialogs/ErrorReporting.h"

#include <QApplication>

// Shows an error that no handler caught in an error box and carries on.
class TQuillmereApplication : public QApplication
{
    Q_OBJECT

public:
    TQuillmereApplication(int &argc, char **argv);
    bool notify(QObject *receiver, QEvent *event) override;
};
