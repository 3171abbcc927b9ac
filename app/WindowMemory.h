#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <optional>

// One grid column as it was left.
struct TColumnMemory {
    QString Field;
    int Width = 0;
    bool Shown = true;
};

// What the main window keeps from one run to the next, in the settings store under
// WindowKeyPath: its place and size, the available songs shown or not and their width, both
// grids' columns, the open playlist.
struct TWindowMemory {
    QByteArray Geometry; // as QWidget::saveGeometry gives it
    bool AvailableShown = false;
    int AvailableWidth = 0;
    QList<TColumnMemory> PlayListColumns;
    QList<TColumnMemory> AvailableColumns;
    qint64 PlaylistId = -1;

    // Nothing on a first run, or when what is stored cannot be read.
    static std::optional<TWindowMemory> Read();
    // Raises ERegistryError when the store cannot be written.
    void Write() const;
};

// Columns as one settings text ("ID3_Title=115,Y;Duration=53,N") and back; parts that cannot be
// read are passed over.
QString ColumnsText(const QList<TColumnMemory> &columns);
QList<TColumnMemory> ParseColumns(const QString &text);
