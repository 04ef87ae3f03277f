#include "lab/labimages.h"

#include <QBuffer>
#include <QFont>
#include <QImageReader>
#include <QLinearGradient>
#include <QPainter>

QByteArray LabImages::png(const QImage &image)
{
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return out;
}

QByteArray LabImages::thumbnail(const QString &hostPath, int maxSide)
{
    QImageReader reader(hostPath);
    const QSize size = reader.size();
    if (size.isValid() && (size.width() > maxSide || size.height() > maxSide))
        reader.setScaledSize(size.scaled(maxSide, maxSide, Qt::KeepAspectRatio));
    const QImage image = reader.read();
    if (image.isNull())
        return QByteArray();
    if (image.width() > maxSide || image.height() > maxSide)
        return png(image.scaled(maxSide, maxSide, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    return png(image);
}

QImage LabImages::poster(const QString &title, bool series, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, series ? QColor(104, 47, 170) : QColor(32, 64, 120));
    g.setColorAt(1, QColor(12, 12, 20));
    p.fillRect(image.rect(), g);
    // Film strip along both edges.
    p.setBrush(QColor(240, 240, 240, 200));
    p.setPen(Qt::NoPen);
    for (int y = 6; y < height; y += 18) {
        p.drawRect(4, y, 8, 10);
        p.drawRect(width - 12, y, 8, 10);
    }
    // Play mark.
    const QPointF c(width / 2.0, height * 0.4);
    const qreal r = width / 5.0;
    p.setBrush(QColor(255, 255, 255, 220));
    const QPointF tri[3] = {c + QPointF(-r / 2, -r * 0.7), c + QPointF(-r / 2, r * 0.7),
                            c + QPointF(r * 0.8, 0)};
    p.drawPolygon(tri, 3);
    p.setPen(Qt::white);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(qMax(10, width / 11));
    p.setFont(font);
    p.drawText(QRect(16, int(height * 0.62), width - 32, int(height * 0.36)),
               Qt::AlignHCenter | Qt::AlignTop | Qt::TextWordWrap, title);
    p.end();
    return image;
}

QImage LabImages::picture(const QString &title, const QColor &base, int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, height);
    sky.setColorAt(0, base.lighter(160));
    sky.setColorAt(1, base);
    p.fillRect(image.rect(), sky);
    // A sun and two hills, so that every sample picture is recognisable at thumbnail size.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 220, 90));
    p.drawEllipse(QPointF(width * 0.78, height * 0.25), height * 0.12, height * 0.12);
    p.setBrush(base.darker(180));
    p.drawEllipse(QPointF(width * 0.25, height * 1.05), width * 0.45, height * 0.45);
    p.setBrush(base.darker(140));
    p.drawEllipse(QPointF(width * 0.8, height * 1.1), width * 0.5, height * 0.5);
    p.setPen(Qt::white);
    QFont font(QStringLiteral("WenQuanYi Micro Hei"));
    font.setPixelSize(qMax(12, height / 12));
    font.setBold(true);
    p.setFont(font);
    p.drawText(QRect(0, int(height * 0.4), width, height / 5), Qt::AlignCenter, title);
    p.end();
    return image;
}
