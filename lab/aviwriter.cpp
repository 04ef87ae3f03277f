#include "lab/aviwriter.h"

#include <QBuffer>
#include <QFile>

namespace {

void u32(QByteArray &b, quint32 v)
{
    for (int i = 0; i < 4; ++i)
        b.append(static_cast<char>((v >> (8 * i)) & 0xff));
}

void u16(QByteArray &b, quint16 v)
{
    b.append(static_cast<char>(v & 0xff));
    b.append(static_cast<char>(v >> 8));
}

QByteArray chunk(const char *id, const QByteArray &data)
{
    QByteArray out(id, 4);
    u32(out, static_cast<quint32>(data.size()));
    out += data;
    if (data.size() % 2)
        out.append('\0');
    return out;
}

QByteArray list(const char *type, const QByteArray &data)
{
    return chunk("LIST", QByteArray(type, 4) + data);
}

} // namespace

void AviWriter::addFrame(const QImage &frame)
{
    QByteArray jpeg;
    QBuffer buffer(&jpeg);
    buffer.open(QIODevice::WriteOnly);
    frame.scaled(width_, height_).convertToFormat(QImage::Format_RGB32).save(&buffer, "JPEG", 80);
    frames_.append(jpeg);
}

bool AviWriter::save(const QString &path) const
{
    quint32 largest = 0;
    for (const QByteArray &f : frames_)
        largest = qMax<quint32>(largest, static_cast<quint32>(f.size()));
    const quint32 count = static_cast<quint32>(frames_.size());

    QByteArray avih;
    u32(avih, 1000000 / static_cast<quint32>(fps_)); // microseconds per frame
    u32(avih, largest * static_cast<quint32>(fps_));
    u32(avih, 0);
    u32(avih, 0x10); // has an index
    u32(avih, count);
    u32(avih, 0);
    u32(avih, 1); // streams
    u32(avih, largest);
    u32(avih, static_cast<quint32>(width_));
    u32(avih, static_cast<quint32>(height_));
    for (int i = 0; i < 4; ++i)
        u32(avih, 0);

    QByteArray strh("vidsMJPG", 8);
    u32(strh, 0);
    u16(strh, 0);
    u16(strh, 0);
    u32(strh, 0);
    u32(strh, 1);                          // scale
    u32(strh, static_cast<quint32>(fps_)); // rate
    u32(strh, 0);
    u32(strh, count);
    u32(strh, largest);
    u32(strh, 0xffffffffu);
    u32(strh, 0);
    u16(strh, 0);
    u16(strh, 0);
    u16(strh, static_cast<quint16>(width_));
    u16(strh, static_cast<quint16>(height_));

    QByteArray strf;
    u32(strf, 40);
    u32(strf, static_cast<quint32>(width_));
    u32(strf, static_cast<quint32>(height_));
    u16(strf, 1);
    u16(strf, 24);
    strf += QByteArray("MJPG", 4);
    u32(strf, static_cast<quint32>(width_ * height_ * 3));
    for (int i = 0; i < 4; ++i)
        u32(strf, 0);

    const QByteArray hdrl =
        list("hdrl", chunk("avih", avih) + list("strl", chunk("strh", strh) + chunk("strf", strf)));

    QByteArray movi("movi", 4);
    QByteArray idx;
    for (const QByteArray &f : frames_) {
        idx += QByteArray("00dc", 4);
        u32(idx, 0x10); // key frame
        u32(idx, static_cast<quint32>(movi.size()));
        u32(idx, static_cast<quint32>(f.size()));
        movi += chunk("00dc", f);
    }
    const QByteArray body = QByteArray("AVI ", 4) + hdrl + chunk("LIST", movi) + chunk("idx1", idx);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        return false;
    return out.write(chunk("RIFF", body)) > 0;
}
