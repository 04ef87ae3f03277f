// Renders the hand-written SVG sources of the image set to PNG files.
//
//   kelvora_svgrender --manifest <list> <svg dir> <out dir>
//       renders every line "<output name> <source.svg> [old=>new ...]" of the list, each
//       picture also at twice its size as "<name>@2x.png" for high-density screens;
//   kelvora_svgrender <in.svg> <out.png> [old=>new ...]
//       renders one file.
//
// Each "old=>new" pair is a plain text replacement applied to the SVG before rendering,
// which is how state twins (for example a grey glyph and its blue checked form) share one
// drawing. The picture gets the SVG's own width and height in pixels.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPainter>
#include <QStringList>
#include <QSvgRenderer>
#include <QTextStream>
#include <cstdio>

namespace {

bool renderOne(const QString &svgPath, const QString &pngPath, const QStringList &replacements,
               int scale = 1)
{
    QFile in(svgPath);
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "svgrender: cannot read %s\n", qPrintable(svgPath));
        return false;
    }
    QByteArray svg = in.readAll();
    for (const QString &pair : replacements) {
        const int arrow = pair.indexOf(QLatin1String("=>"));
        if (arrow <= 0) {
            std::fprintf(stderr, "svgrender: bad replacement '%s'\n", qPrintable(pair));
            return false;
        }
        const QByteArray from = pair.left(arrow).toUtf8();
        const QByteArray to = pair.mid(arrow + 2).toUtf8();
        if (!svg.contains(from)) {
            std::fprintf(stderr, "svgrender: '%s' not found in %s\n", from.constData(),
                         qPrintable(svgPath));
            return false;
        }
        svg.replace(from, to);
    }
    QSvgRenderer renderer(svg);
    if (!renderer.isValid()) {
        std::fprintf(stderr, "svgrender: invalid SVG %s\n", qPrintable(svgPath));
        return false;
    }
    const QSize size = renderer.defaultSize();
    if (size.isEmpty()) {
        std::fprintf(stderr, "svgrender: %s has no width/height\n", qPrintable(svgPath));
        return false;
    }
    // Drawn again from the vectors at the larger size, never scaled up from the small one.
    QImage image(size * scale, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
        renderer.render(&painter, QRectF(QPointF(0, 0), QSizeF(size * scale)));
    }
    QDir().mkpath(QFileInfo(pngPath).absolutePath());
    if (!image.convertToFormat(QImage::Format_ARGB32).save(pngPath, "PNG")) {
        std::fprintf(stderr, "svgrender: cannot write %s\n", qPrintable(pngPath));
        return false;
    }
    return true;
}

int renderManifest(const QString &listPath, const QString &svgDir, const QString &outDir)
{
    QFile list(listPath);
    if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "svgrender: cannot read %s\n", qPrintable(listPath));
        return 1;
    }
    QTextStream stream(&list);
    int failures = 0;
    int count = 0;
    while (!stream.atEnd()) {
        const QString line = stream.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        QStringList fields = line.split(QRegExp(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
        if (fields.size() < 2) {
            std::fprintf(stderr, "svgrender: bad line '%s'\n", qPrintable(line));
            ++failures;
            continue;
        }
        const QString name = fields.takeFirst();
        const QString source = fields.takeFirst();
        const QString svg = svgDir + QLatin1Char('/') + source;
        QString twice = outDir + QLatin1Char('/') + name;
        twice.insert(twice.lastIndexOf(QLatin1Char('.')), QLatin1String("@2x"));
        if (!renderOne(svg, outDir + QLatin1Char('/') + name, fields) ||
            !renderOne(svg, twice, fields, 2))
            ++failures;
        ++count;
    }
    if (failures)
        return 1;
    std::printf("svgrender: %d pictures\n", count);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    QStringList args;
    for (int i = 1; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() == 4 && args.at(0) == QLatin1String("--manifest"))
        return renderManifest(args.at(1), args.at(2), args.at(3));
    if (args.size() >= 2 && !args.at(0).startsWith(QLatin1String("--")))
        return renderOne(args.at(0), args.at(1), args.mid(2)) ? 0 : 1;
    std::fprintf(stderr, "usage: kelvora_svgrender --manifest <list> <svg dir> <out dir>\n"
                         "       kelvora_svgrender <in.svg> <out.png> [old=>new ...]\n");
    return 2;
}
