#include "app/UMain.h"

#include "app/UExport.h"
#include "controls/DBGrid.h"
#include "controls/Hourglass.h"
#include "data/SongRow.h"
#include "dialogs/MessageService.h"
#include "platform/FileCopy.h"

#include <QProgressDialog>

void TfrmMain::Exportplaylist1Click()
{
    if (!frmExport)
        frmExport = new TfrmExport(this);
    if (frmExport->ShowModal() != mrOk)
        return;
    if (!qryPlayListSongs->Active())
        return;
    const QList<int> rows = grdPlayList->SelectedRows();
    if (rows.isEmpty()) {
        qryPlayListSongs->First();
        return;
    }

    const TExportChoice choice = frmExport->Choice();
    TCopyReport report;
    {
        THourglass hourglass;
        // Shows itself only when the copying takes a while; a device copy can take minutes.
        // It is gone before the closing message, so it cannot come up over it.
        QProgressDialog progress(QStringLiteral("Exporting songs..."), QStringLiteral("Stop"), 0,
                                 int(rows.size()), this);
        progress.setObjectName(QStringLiteral("ExportProgress"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(1000);
        progress.setAutoReset(false);
        TDBGrid::TSelectionWalk walk(grdPlayList);
        for (int i = 0; i < rows.size(); ++i) {
            progress.setValue(i);
            if (progress.wasCanceled())
                break;
            qryPlayListSongs->SetRecNo(rows.at(i));
            const QString fileName = qryPlayListSongs->AsString(QStringLiteral("FileName"));
            const QString source = SongFile(*qryPlayListSongs);
            const QString target =
                choice.Folder +
                (choice.RenameFiles ? QStringLiteral("Song%1.mp3").arg(i) : fileName);
            progress.setLabelText(QStringLiteral("Copying %1").arg(fileName));
            report.Add(source, CopyFileNoOverwrite(source, target));
        }
        progress.reset();
    }
    // A complete export says nothing; anything left behind is told once, at the end.
    if (report.FailedCount() > 0)
        ShowWarning(report.Summary());
    else if (!report.Complete())
        ShowInformation(report.Summary());
}
