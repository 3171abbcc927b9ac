// The grids' cell drawing, Ctrl+A in the available songs, the hover images.
#include "app/UMain.h"

#include "controls/DBGrid.h"
#include "controls/TransportImages.h"
#include "data/Durations.h"
#include "data/UMP3s.h"

#include <QIcon>
#include <QKeyEvent>
#include <QPainter>
#include <QToolButton>

namespace
{
const QString NoTitle = QStringLiteral("No.");
const QString DurationTitle = QStringLiteral("Duration");
const QString GenreTitle = QStringLiteral("ID3_Genre");
const QString EmptyCellMark = QStringLiteral("-");

// What the available grid shows for a genre number. 255 is "no genre" (a file without a
// tag) and shows the grid's empty mark; other numbers that the table cannot name keep
// their number so that nothing stored is hidden.
QString GenreText(qint64 number)
{
    if (number >= 0 && number < GenreCount)
        return GenreName(int(number));
    if (number == NoGenre)
        return EmptyCellMark;
    return QString::number(number);
}

void SetGlyph(QToolButton *button, const QPixmap &image)
{
    if (button)
        button->setIcon(QIcon(image));
}
} // namespace

TfrmMain::THoverButton TfrmMain::HoverButtonOf(int code)
{
    switch (code) {
    case 1:
        return {btnPrevious, &imgPreviousNormal, &imgPreviousOver};
    case 2:
        return {btnPlay, &imgPlayNormal, &imgPlayOver};
    case 3:
        return {btnNext, &imgNextNormal, &imgNextOver};
    case 4:
        return {btnPause, &imgPauseNormal, &imgPauseOver};
    case 5:
        return {btnStop, &imgStopNormal, &imgStopOver};
    case 6:
        return {btnFilter, &imgFilterNormal, &imgFilterOver};
    default:
        return {nullptr, nullptr, nullptr};
    }
}

void TfrmMain::CreateHoverImages()
{
    imgPreviousNormal = TransportImage(TTransportSymbol::Previous, false);
    imgPreviousOver = TransportImage(TTransportSymbol::Previous, true);
    imgPlayNormal = TransportImage(TTransportSymbol::Play, false);
    imgPlayOver = TransportImage(TTransportSymbol::Play, true);
    imgNextNormal = TransportImage(TTransportSymbol::Next, false);
    imgNextOver = TransportImage(TTransportSymbol::Next, true);
    imgPauseNormal = TransportImage(TTransportSymbol::Pause, false);
    imgPauseOver = TransportImage(TTransportSymbol::Pause, true);
    imgStopNormal = TransportImage(TTransportSymbol::Stop, false);
    imgStopOver = TransportImage(TTransportSymbol::Stop, true);
    imgFilterNormal = FilterImage(false);
    imgFilterOver = FilterImage(true);

    for (int code = 1; code <= 6; ++code) {
        const THoverButton hover = HoverButtonOf(code);
        hover.Button->setIconSize(hover.Normal->size());
        // A button ignores a move without a pressed button, and Qt would hand it on to the
        // panel, whose handler would take the hover away again at once. Windows sends the
        // move to the control under the mouse only.
        hover.Button->setAttribute(Qt::WA_NoMousePropagation);
        SetGlyph(hover.Button, *hover.Normal);
    }
}

void TfrmMain::grdPlayListDrawColumnCell(QPainter &painter, const QRect &rect, int row, int column,
                                         bool selected)
{
    QString text = grdPlayList->CellText(row, column);
    if (text.isEmpty())
        return; // the cell stays as the grid drew it

    // The row's "No." decides the highlight of all its cells. Qt may repaint a single cell,
    // so every cell reads its row's "No." itself instead of relying on the paint order.
    const int noColumn = grdPlayList->ColumnByTitle(NoTitle);
    if (noColumn >= 0) {
        const QString sequence = grdPlayList->CellText(row, noColumn);
        HighlightPlayingRow =
            !sequence.isEmpty() && CellInteger(sequence) == Queue.PlayingSequence();
    }

    QFont font = painter.font();
    font.setBold(HighlightPlayingRow);
    painter.setFont(font);
    painter.setPen(HighlightPlayingRow ? QColor(255, 255, 255) : SkyBlue());

    const QColor background = selected ? grdPlayList->SelectionColour() : QColor(Qt::black);
    if (grdPlayList->ColumnTitle(column) == DurationTitle)
        DrawCellRight(painter, rect, background, CellDuration(text));
    else
        DrawCellLeft(painter, rect, background, text);

    font.setBold(false);
    painter.setFont(font);
    painter.setPen(SkyBlue());
}

void TfrmMain::grdAvailableSongsDrawColumnCell(QPainter &painter, const QRect &rect, int row,
                                               int column, bool selected)
{
    const QString text = grdAvailableSongs->CellText(row, column);
    const QString title = grdAvailableSongs->ColumnTitle(column);
    const QColor background = selected ? grdAvailableSongs->SelectionColour() : QColor(Qt::black);
    if (text.isEmpty())
        DrawCellLeft(painter, rect, background, EmptyCellMark);
    else if (title == DurationTitle)
        DrawCellRight(painter, rect, background, CellDuration(text));
    else if (title == GenreTitle)
        DrawCellLeft(painter, rect, background, GenreText(CellInteger(text)));
    else
        DrawCellLeft(painter, rect, background, text);
}

void TfrmMain::grdAvailableSongsKeyDown(QKeyEvent *event)
{
    if (event->key() == Qt::Key_A && event->modifiers().testFlag(Qt::ControlModifier)) {
        SelectAllRows(grdAvailableSongs);
        event->accept(); // the view's own select-all would keep the current row
    }
}

void TfrmMain::SelectAllRows(TDBGrid *grid)
{
    // One selection range instead of a row-by-row walk: clears the selection, selects
    // every row and makes the last one current, as the walk ended.
    grid->SelectAllRows();
}

void TfrmMain::btnPreviousMouseMove()
{
    HoverButton = 1;
    UpdateHoverImages();
}

void TfrmMain::btnPlayMouseMove()
{
    HoverButton = 2;
    UpdateHoverImages();
}

void TfrmMain::btnNextMouseMove()
{
    HoverButton = 3;
    UpdateHoverImages();
}

void TfrmMain::btnPauseMouseMove()
{
    HoverButton = 4;
    UpdateHoverImages();
}

void TfrmMain::btnStopMouseMove()
{
    HoverButton = 5;
    UpdateHoverImages();
}

void TfrmMain::btnFilterMouseMove()
{
    HoverButton = 6;
    UpdateHoverImages();
}

void TfrmMain::pnlButtonsMouseMove()
{
    HoverButton = 0;
    UpdateHoverImages();
}

void TfrmMain::gbAvailableSongsMouseMove()
{
    HoverButton = 0;
    UpdateHoverImages();
}

void TfrmMain::grdAvailableSongsMouseMove()
{
    HoverButton = 0;
    UpdateHoverImages();
}

void TfrmMain::grdPlayListMouseMove()
{
    HoverButton = 0;
    UpdateHoverImages();
}

void TfrmMain::pbSongProgressMouseMove()
{
    HoverButton = 0;
    UpdateHoverImages();
}

void TfrmMain::UpdateHoverImages()
{
    if (ShownHoverButton == HoverButton)
        return;
    const THoverButton shown = HoverButtonOf(ShownHoverButton);
    if (shown.Button)
        SetGlyph(shown.Button, *shown.Normal);
    const THoverButton hovered = HoverButtonOf(HoverButton);
    if (hovered.Button)
        SetGlyph(hovered.Button, *hovered.Over);
    ShownHoverButton = HoverButton;
}

void TfrmMain::ButtonRefreshTimerTimer()
{
    UpdateHoverImages();
}
