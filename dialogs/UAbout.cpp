#include "dialogs/UAbout.h"

#include "controls/ButtonFaces.h"
#include "controls/Captions.h"
#include "controls/TexturedBackground.h"

#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QShowEvent>
#include <QToolButton>

TfrmAbout *frmAbout = nullptr;

namespace
{

const QSize ClientSize(350, 148);
const QColor PictureGround(0, 102, 255);

QLabel *NewVersionLabel(QWidget *parent, const QString &name, int x, int y, const QColor &colour)
{
    auto *label = new QLabel(QStringLiteral("Version 1.01"), parent);
    label->setObjectName(name);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, colour);
    label->setPalette(palette);
    label->move(x, y);
    label->adjustSize();
    return label;
}

// The logo mark: a quill whose nib ends in a note head, inside a ring.
void DrawLogoMark(QPainter &p, QPointF centre)
{
    p.setPen(QPen(Qt::white, 3));
    p.setBrush(QColor(0, 60, 170));
    p.drawEllipse(centre, 27, 27);

    QPainterPath feather;
    feather.moveTo(centre + QPointF(14, -20));
    feather.cubicTo(centre + QPointF(-4, -14), centre + QPointF(-10, 0), centre + QPointF(-9, 12));
    feather.cubicTo(centre + QPointF(0, 2), centre + QPointF(12, -6), centre + QPointF(14, -20));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawPath(feather);
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(centre + QPointF(-9, 12), centre + QPointF(-12, 18));
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 214, 0));
    p.drawEllipse(centre + QPointF(-14, 19), 5, 3.6);
}

} // namespace

TfrmAbout::TfrmAbout(QWidget *parent) : TForm(parent), m_anchors(ClientSize)
{
    setObjectName(QStringLiteral("frmAbout"));
    setWindowTitle(QStringLiteral("About Quillmere"));
    setFont(DialogFont());
    resize(ClientSize);

    TexturedBackground1 = NewTexturedBackground(this, PAL_CLOUDS, PAL_CLOUDS, 5, true);
    TexturedBackground1->setGeometry(QRect(QPoint(0, 0), ClientSize));

    imgAbout = new QLabel(this);
    imgAbout->setObjectName(QStringLiteral("imgAbout"));
    imgAbout->setAlignment(Qt::AlignCenter);
    imgAbout->setPixmap(TransparentPicture(AboutPicture()));
    imgAbout->setGeometry(QRect(QPoint(0, 0), ClientSize));

    btnOK = NewPictureButton(this, QStringLiteral("btnOK"), OkButtonFace(), 152, 112, 49, 23);

    lblVersionShadow = NewVersionLabel(this, QStringLiteral("lblVersionShadow"), 275, 9, Qt::black);
    lblVersion = NewVersionLabel(this, QStringLiteral("lblVersion"), 274, 7, QColor(192, 192, 192));

    m_anchors.Add(TexturedBackground1, akLeft | akTop | akRight | akBottom);
    m_anchors.Add(imgAbout, akLeft | akTop | akRight | akBottom);
    m_anchors.Add(btnOK, akLeft | akRight | akBottom);
    m_anchors.Add(lblVersionShadow, akTop | akRight);
    m_anchors.Add(lblVersion, akTop | akRight);

    connect(btnOK, &QToolButton::clicked, this, &TfrmAbout::btnOKClick);
}

QImage TfrmAbout::AboutPicture()
{
    QImage picture(222, 148, QImage::Format_RGB888);
    picture.fill(PictureGround);
    QPainter p(&picture);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);

    DrawLogoMark(p, QPointF(111, 36));

    QFont title;
    title.setPixelSize(30);
    title.setBold(true);
    p.setFont(title);
    p.setPen(QColor(0, 40, 120));
    p.drawText(QRect(2, 66, 222, 36), Qt::AlignCenter, QStringLiteral("Quillmere"));
    p.setPen(Qt::white);
    p.drawText(QRect(0, 64, 222, 36), Qt::AlignCenter, QStringLiteral("Quillmere"));

    QFont slogan;
    slogan.setPixelSize(12);
    slogan.setItalic(true);
    p.setFont(slogan);
    p.setPen(QColor(255, 214, 0));
    p.drawText(QRect(0, 98, 222, 16), Qt::AlignCenter, QStringLiteral("Every song in its place"));
    p.end();
    // The lower-left pixel stays the ground colour: it keys the transparency.
    picture.setPixelColor(0, picture.height() - 1, PictureGround);
    return picture;
}

QPixmap TransparentPicture(const QImage &picture)
{
    QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    const QRgb key = image.pixel(0, image.height() - 1);
    for (int y = 0; y < image.height(); ++y) {
        auto *line = reinterpret_cast<QRgb *>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            if (line[x] == key)
                line[x] = qRgba(0, 0, 0, 0);
        }
    }
    return QPixmap::fromImage(image);
}

void TfrmAbout::FormShow()
{
    for (int n = 1; n <= 3; ++n)
        TexturedBackground1->GenerateScreen(n);
    TexturedBackground1->update();
}

void TfrmAbout::btnOKClick()
{
    done(mrOk);
}

void TfrmAbout::showEvent(QShowEvent *event)
{
    if (!event->spontaneous())
        FormShow();
    TForm::showEvent(event);
}

void TfrmAbout::resizeEvent(QResizeEvent *event)
{
    m_anchors.Apply(size());
    TForm::resizeEvent(event);
}
