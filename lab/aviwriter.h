#pragma once

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QVector>

// Writes a Motion-JPEG AVI: the simplest video file that common players open.
class AviWriter
{
public:
    AviWriter(int width, int height, int fps) : width_(width), height_(height), fps_(fps) {}
    void addFrame(const QImage &frame);
    bool save(const QString &path) const;

private:
    int width_;
    int height_;
    int fps_;
    QVector<QByteArray> frames_;
};
