#include "dialogs/UAddSongsProgress.h"

#include <QCoreApplication>
#include <QPushButton>

TfrmAddSongsProgress::TfrmAddSongsProgress(QWidget *parent, int songs, bool showAtOnce)
    : QProgressDialog(parent)
{
    setObjectName(QStringLiteral("frmAddSongsProgress"));
    setWindowTitle(QStringLiteral("Adding Songs"));
    setLabelText(QStringLiteral("Adding %1 songs to the playlist...").arg(songs));
    auto *stop = new QPushButton(QStringLiteral("&Stop"), this);
    stop->setObjectName(QStringLiteral("btnStop"));
    setCancelButton(stop);
    setWindowModality(Qt::WindowModal);
    setAutoReset(false);
    setAutoClose(false);
    setRange(0, songs);
    setMinimumDuration(showAtOnce ? 0 : 500);
    setValue(0);
}

bool TfrmAddSongsProgress::Step(int added)
{
    setValue(added);
    QCoreApplication::processEvents();
    return !wasCanceled();
}
