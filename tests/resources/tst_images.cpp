// The image set: every resource name the program uses loads as a real picture of the size
// its place needs, each _clicked twin differs from its base, each has its twice-as-large
// rendering, and the spinner animates.
#include "app/hidpipixmap.h"

#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QMovie>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

#include <cmath>

namespace {

// Every picture of the program by the size it is drawn at; "name*" stands for the name and its
// _clicked twin. Labels and buttons that show a picture as a style-sheet background tile it, so
// those sizes must be exact.
const struct
{
    QSize size;
    const char *names;
} bySize[] = {
    {{24, 24}, "nav/cloud* nav/task* nav/sync* nav/settings* nav/min* nav/max* nav/close*"},
    {{16, 16},
     "left_button/recent* left_button/all* left_button/pic* left_button/video* "
     "left_button/doc* left_button/upload* left_button/download* left_button/sync* "
     "upload clear download delete1 newfolder refresh"},
    {{64, 64}, "icon file/word file/zip file/music file/video file/pic file/file file/folder"},
    {{16, 14},
     "file/word_small file/zip_small file/music_small file/video_small file/pic_small "
     "file/file_small file/folder_small"},
    {{18, 18}, "listitem_hover listitem_clicked msgbox_error msgbox_done msgbox_logo"},
    {{20, 20}, "dlg_logo image_download image_delete"},
    {{11, 11}, "msgbox_close login_close"},
    {{19, 20}, "account pass"},
    {{30, 55}, "image_prev image_next"},
    {{60, 50}, "device device_offline"},
    {{80, 114}, "file/poster file/series"},
    {{200, 160}, "empty error"},
    {{48, 48}, "logo"},
    {{145, 91}, "logo1"},
    {{26, 26}, "file/play"},
    {{40, 40}, "dlg_tip"},
    {{12, 12}, "resize"},
    {{23, 24}, "image_close"},
    {{11, 10}, "delete"},
    {{9, 11}, "start"},
    {{10, 10}, "pause"},
};

const char loadingName[] = ":/image/loading.gif";

// Pairs that must tell their states apart although they are not named base/_clicked.
const QPair<const char *, const char *> distinctPairs[] = {
    {"device", "device_offline"}, {"listitem_hover", "listitem_clicked"},
    {"start", "pause"},           {"image_prev", "image_next"},
    {"empty", "error"},
};

QString resource(const QString &name)
{
    return QStringLiteral(":/image/%1.png").arg(name);
}

// Resource name -> size, the twins spelt out.
QMap<QString, QSize> pictures()
{
    QMap<QString, QSize> all;
    for (const auto &group : bySize) {
        for (QString name : QString::fromLatin1(group.names).split(' ')) {
            if (name.endsWith('*')) {
                name.chop(1);
                all.insert(resource(name + QStringLiteral("_clicked")), group.size);
            }
            all.insert(resource(name), group.size);
        }
    }
    return all;
}

int distinctColours(const QImage &image)
{
    QSet<QRgb> colours;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            colours.insert(image.pixel(x, y));
    return colours.size();
}

double visibleShare(const QImage &image)
{
    int visible = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) > 64)
                ++visible;
    return double(visible) / (image.width() * image.height());
}

QImage argb(const QPixmap &pixmap)
{
    return pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
}

QString twiceName(QString name)
{
    return name.insert(name.lastIndexOf('.'), QLatin1String("@2x"));
}

} // namespace

class ImagesTest : public QObject
{
    Q_OBJECT

private slots:
    void picture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        const QMap<QString, QSize> all = pictures();
        for (auto it = all.begin(); it != all.end(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.key() << it.value();
    }

    void picture()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QPixmap pixmap(name);
        QVERIFY2(!pixmap.isNull(), qPrintable(name));
        QCOMPARE(pixmap.size(), size);
        const QImage image = argb(pixmap);
        // A drawing, not a flat box: several colours (shapes with smooth edges)...
        QVERIFY2(distinctColours(image) >= 3, qPrintable(name));
        // ...with something to see, yet not a filled rectangle of one colour.
        const double share = visibleShare(image);
        QVERIFY2(share > 0.05,
                 qPrintable(QStringLiteral("%1: only %2 visible").arg(name).arg(share)));
    }

    void twinsDiffer_data()
    {
        QTest::addColumn<QString>("base");
        QTest::addColumn<QString>("twin");
        const QMap<QString, QSize> all = pictures();
        for (const QString &twin : all.keys()) {
            const QString base = QString(twin).remove(QLatin1String("_clicked"));
            if (base != twin && all.contains(base))
                QTest::newRow(qPrintable(twin)) << base << twin;
        }
        for (const auto &pair : distinctPairs)
            QTest::newRow(pair.second) << resource(pair.first) << resource(pair.second);
    }

    void twinsDiffer()
    {
        QFETCH(QString, base);
        QFETCH(QString, twin);
        const QImage a = argb(QPixmap(base));
        const QImage b = argb(QPixmap(twin));
        QVERIFY(!a.isNull() && !b.isNull());
        if (a.size() != b.size())
            return; // different shapes altogether
        int differing = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                differing += a.pixel(x, y) != b.pixel(x, y) ? 1 : 0;
        // Clearly different, not a stray pixel.
        QVERIFY2(differing >= a.width() * a.height() / 20, qPrintable(twin));
    }

    void doubleRendering_data() { picture_data(); }

    // Each picture also drawn at twice the size for dense screens: the same drawing (its
    // reduction covers what the small one covers), found by hiDpiPixmap (icons find it alone).
    void doubleRendering()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const QPixmap twice(twiceName(name));
        QCOMPARE(twice.size(), size * 2);
        const QImage small = argb(QPixmap(name));
        const QImage reduced =
            argb(twice).scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        const int n = size.width() * size.height();
        double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const double a = qAlpha(small.pixel(x, y)), b = qAlpha(reduced.pixel(x, y));
                sa += a, sb += b, saa += a * a, sbb += b * b, sab += a * b;
            }
        const double spread = std::sqrt((saa / n - sa / n * sa / n) * (sbb / n - sb / n * sb / n));
        const double correlation = spread > 0 ? (sab / n - sa / n * sb / n) / spread : 1.0;
        QVERIFY2(correlation > 0.9, qPrintable(QString("%1: %2").arg(name).arg(correlation)));
        const QPixmap dense = hiDpiPixmap(name, 2.0);
        QCOMPARE(dense.size(), size * 2);
        QCOMPARE(dense.devicePixelRatio(), 2.0);
        QCOMPARE(hiDpiPixmap(name, 1.0).size(), size);
    }

    void spinnerAnimates()
    {
        QMovie movie(QString::fromLatin1(loadingName));
        QVERIFY2(movie.frameCount() >= 8, qPrintable(QString::number(movie.frameCount())));
        QVERIFY(movie.jumpToFrame(0));
        const QImage first = movie.currentImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(first.size(), QSize(350, 220));
        QVERIFY(distinctColours(first) >= 4);
        QVERIFY(movie.nextFrameDelay() > 0 && movie.nextFrameDelay() <= 200);
        // The frames move: the middle frame is not the first one.
        for (int i = 0; i < movie.frameCount() / 2; ++i)
            QVERIFY(movie.jumpToNextFrame());
        QVERIFY(movie.currentImage().convertToFormat(QImage::Format_ARGB32) != first);
        // Transparent around the ring, so the list behind shows.
        QCOMPARE(qAlpha(first.pixel(5, 5)), 0);
    }

    void namesInTheProgramExist()
    {
        // Every ":/image/..." (or ":image/...") name written in the program's sources and
        // forms is in the bundle.
        const QString root = qEnvironmentVariable("KELVORA_SOURCE_DIR");
        if (root.isEmpty())
            QSKIP("KELVORA_SOURCE_DIR is not set");
        const QRegularExpression nameRe(QStringLiteral(":/?image/[A-Za-z0-9_/]+\\.(png|gif)"));
        const QStringList folders = {QStringLiteral("app"),      QStringLiteral("account"),
                                     QStringLiteral("device"),   QStringLiteral("browse"),
                                     QStringLiteral("transfer"), QStringLiteral("web"),
                                     QStringLiteral("platform")};
        QMap<QString, QString> missing;
        int seen = 0;
        for (const QString &folder : folders) {
            QDirIterator it(root + QLatin1Char('/') + folder,
                            {QStringLiteral("*.cpp"), QStringLiteral("*.h"), QStringLiteral("*.ui"),
                             QStringLiteral("*.qss")},
                            QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext()) {
                QFile file(it.next());
                if (!file.open(QIODevice::ReadOnly))
                    continue;
                const QString text = QString::fromUtf8(file.readAll());
                auto matches = nameRe.globalMatch(text);
                while (matches.hasNext()) {
                    QString name = matches.next().captured(0);
                    ++seen;
                    const QString resource = name.startsWith(QLatin1String(":/"))
                                                 ? name
                                                 : QLatin1String(":/") + name.mid(1);
                    if (!QFile::exists(resource))
                        missing.insert(name, file.fileName());
                }
            }
        }
        qInfo("%d picture names found in the program's sources", seen);
        for (auto it = missing.cbegin(); it != missing.cend(); ++it)
            qWarning("missing %s (named in %s)", qPrintable(it.key()), qPrintable(it.value()));
        QVERIFY(missing.isEmpty());
    }
};

QTEST_MAIN(ImagesTest)
#include "tst_images.moc"
