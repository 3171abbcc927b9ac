#pragma once

#include <QBrush>
#include <QColor>
#include <QFont>
#include <QList>
#include <QPaintDevice>
#include <QPaintEngine>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

// One text drawn through a painter: what, where (baseline origin), in which font and colour.
struct TDrawnText {
    QString Text;
    QPointF Position;
    QFont Font;
    QColor Colour;
};

// A paint engine that keeps the texts and filled rectangles instead of drawing them.
class TRecordingEngine : public QPaintEngine
{
public:
    TRecordingEngine() : QPaintEngine(AllFeatures) {}
    bool begin(QPaintDevice *) override { return true; }
    bool end() override { return true; }
    void updateState(const QPaintEngineState &state) override
    {
        if (state.state() & DirtyPen)
            m_pen = state.pen();
        if (state.state() & DirtyBrush)
            m_brush = state.brush();
    }
    void drawPixmap(const QRectF &, const QPixmap &, const QRectF &) override {}
    void drawPath(const QPainterPath &) override {}
    void drawPolygon(const QPointF *, int, PolygonDrawMode) override {}
    void drawRects(const QRectF *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            Fills.append({rects[i], m_brush.color()});
    }
    void drawRects(const QRect *rects, int count) override
    {
        for (int i = 0; i < count; ++i)
            Fills.append({QRectF(rects[i]), m_brush.color()});
    }
    void drawTextItem(const QPointF &p, const QTextItem &item) override
    {
        Texts.append({item.text(), p, item.font(), m_pen.color()});
    }
    Type type() const override { return User; }

    QList<TDrawnText> Texts;
    QList<QPair<QRectF, QColor>> Fills;

private:
    QPen m_pen;
    QBrush m_brush;
};

class TRecorder : public QPaintDevice
{
public:
    QPaintEngine *paintEngine() const override { return &Engine; }
    mutable TRecordingEngine Engine;

protected:
    int metric(PaintDeviceMetric metric) const override
    {
        switch (metric) {
        case PdmWidth:
        case PdmHeight:
            return 1000;
        case PdmWidthMM:
        case PdmHeightMM:
            return 264;
        case PdmDpiX:
        case PdmDpiY:
        case PdmPhysicalDpiX:
        case PdmPhysicalDpiY:
            return 96;
        case PdmDepth:
            return 32;
        case PdmNumColors:
            return INT_MAX;
        case PdmDevicePixelRatio:
            return 1;
        case PdmDevicePixelRatioScaled:
            return int(devicePixelRatioFScale());
        default:
            return QPaintDevice::metric(metric);
        }
    }
};
