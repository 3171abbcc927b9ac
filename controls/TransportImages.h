#pragma once

#include <QPixmap>

// The pictures of the transport and filter buttons, drawn at start: a blue square with
// softened corners carrying a light symbol (21 x 21), and the blue "Filter..." bar (69 x 21).
// The hover picture is the same in a lighter blue with a white symbol.
enum class TTransportSymbol { Previous, Play, Next, Pause, Stop };

QPixmap TransportImage(TTransportSymbol symbol, bool over);
QPixmap FilterImage(bool over);

constexpr int TransportImageSize = 21;
constexpr int FilterImageWidth = 69;
constexpr int FilterImageHeight = 21;
