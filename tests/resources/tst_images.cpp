// The image set: every resource name the program uses loads as a real picture of the size
// its place needs, each _clicked twin differs from its base, and the spinner animates.
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QMovie>
#include <QPixmap>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {

struct Picture
{
    const char *name;
    QSize size;
};

// Every picture of the program with the size it is drawn at. Labels and buttons that show a
// picture as a style-sheet background tile it, so those sizes must be exact.
const Picture pictures[] = {
    {":/image/logo.png", {48, 48}},
    {":/image/logo1.png", {145, 91}},
    {":/image/icon.png", {64, 64}},
    {":/image/dlg_logo.png", {20, 20}},

    {":/image/nav/cloud.png", {24, 24}},
    {":/image/nav/cloud_clicked.png", {24, 24}},
    {":/image/nav/task.png", {24, 24}},
    {":/image/nav/task_clicked.png", {24, 24}},
    {":/image/nav/sync.png", {24, 24}},
    {":/image/nav/sync_clicked.png", {24, 24}},
    {":/image/nav/settings.png", {24, 24}},
    {":/image/nav/settings_clicked.png", {24, 24}},
    {":/image/nav/min.png", {24, 24}},
    {":/image/nav/min_clicked.png", {24, 24}},
    {":/image/nav/max.png", {24, 24}},
    {":/image/nav/max_clicked.png", {24, 24}},
    {":/image/nav/close.png", {24, 24}},
    {":/image/nav/close_clicked.png", {24, 24}},

    {":/image/left_button/recent.png", {16, 16}},
    {":/image/left_button/recent_clicked.png", {16, 16}},
    {":/image/left_button/all.png", {16, 16}},
    {":/image/left_button/all_clicked.png", {16, 16}},
    {":/image/left_button/pic.png", {16, 16}},
    {":/image/left_button/pic_clicked.png", {16, 16}},
    {":/image/left_button/video.png", {16, 16}},
    {":/image/left_button/video_clicked.png", {16, 16}},
    {":/image/left_button/doc.png", {16, 16}},
    {":/image/left_button/doc_clicked.png", {16, 16}},
    {":/image/left_button/upload.png", {16, 16}},
    {":/image/left_button/upload_clicked.png", {16, 16}},
    {":/image/left_button/download.png", {16, 16}},
    {":/image/left_button/download_clicked.png", {16, 16}},
    {":/image/left_button/sync.png", {16, 16}},
    {":/image/left_button/sync_clicked.png", {16, 16}},

    {":/image/upload.png", {16, 16}},
    {":/image/clear.png", {16, 16}},
    {":/image/download.png", {16, 16}},
    {":/image/delete1.png", {16, 16}},
    {":/image/newfolder.png", {16, 16}},
    {":/image/refresh.png", {16, 16}},

    {":/image/file/word.png", {64, 64}},
    {":/image/file/word_small.png", {16, 14}},
    {":/image/file/zip.png", {64, 64}},
    {":/image/file/zip_small.png", {16, 14}},
    {":/image/file/music.png", {64, 64}},
    {":/image/file/music_small.png", {16, 14}},
    {":/image/file/video.png", {64, 64}},
    {":/image/file/video_small.png", {16, 14}},
    {":/image/file/pic.png", {64, 64}},
    {":/image/file/pic_small.png", {16, 14}},
    {":/image/file/file.png", {64, 64}},
    {":/image/file/file_small.png", {16, 14}},
    {":/image/file/folder.png", {64, 64}},
    {":/image/file/folder_small.png", {16, 14}},
    {":/image/file/play.png", {26, 26}},
    {":/image/file/poster.png", {80, 114}},
    {":/image/file/series.png", {80, 114}},

    {":/image/listitem_hover.png", {18, 18}},
    {":/image/listitem_clicked.png", {18, 18}},
    {":/image/device.png", {60, 50}},
    {":/image/device_offline.png", {60, 50}},
    {":/image/empty.png", {200, 160}},
    {":/image/error.png", {200, 160}},

    {":/image/msgbox_error.png", {18, 18}},
    {":/image/msgbox_done.png", {18, 18}},
    {":/image/msgbox_logo.png", {18, 18}},
    {":/image/msgbox_close.png", {11, 11}},
    {":/image/dlg_tip.png", {40, 40}},
    {":/image/login_close.png", {11, 11}},
    {":/image/account.png", {19, 20}},
    {":/image/pass.png", {19, 20}},
    {":/image/resize.png", {12, 12}},

    {":/image/image_close.png", {23, 24}},
    {":/image/image_prev.png", {30, 55}},
    {":/image/image_next.png", {30, 55}},
    {":/image/image_download.png", {20, 20}},
    {":/image/image_delete.png", {20, 20}},

    {":/image/delete.png", {11, 10}},
    {":/image/start.png", {9, 11}},
    {":/image/pause.png", {10, 10}},
};

const char loadingName[] = ":/image/loading.gif";
const QSize loadingSize(350, 220);

// Pairs that must tell their states apart although they are not named base/_clicked.
const QPair<const char *, const char *> distinctPairs[] = {
    {":/image/device.png", ":/image/device_offline.png"},
    {":/image/listitem_hover.png", ":/image/listitem_clicked.png"},
    {":/image/start.png", ":/image/pause.png"},
    {":/image/image_prev.png", ":/image/image_next.png"},
    {":/image/empty.png", ":/image/error.png"},
};

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

} // namespace

class ImagesTest : public QObject
{
    Q_OBJECT

private slots:
    void picture_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        for (const Picture &p : pictures)
            QTest::newRow(p.name) << QString::fromLatin1(p.name) << p.size;
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
        QSet<QString> names;
        for (const Picture &p : pictures)
            names.insert(QString::fromLatin1(p.name));
        int twins = 0;
        for (const Picture &p : pictures) {
            const QString name = QString::fromLatin1(p.name);
            if (!name.endsWith(QLatin1String("_clicked.png")))
                continue;
            QString base = name;
            base.replace(QLatin1String("_clicked.png"), QLatin1String(".png"));
            if (!names.contains(base))
                continue; // a pair with other names, listed below
            QTest::newRow(p.name) << base << name;
            ++twins;
        }
        for (const auto &pair : distinctPairs)
            QTest::newRow(pair.second)
                << QString::fromLatin1(pair.first) << QString::fromLatin1(pair.second);
        QVERIFY(twins >= 15);
    }

    void twinsDiffer()
    {
        QFETCH(QString, base);
        QFETCH(QString, twin);
        const QImage a = argb(QPixmap(base));
        const QImage b = argb(QPixmap(twin));
        QVERIFY2(!a.isNull(), qPrintable(base));
        QVERIFY2(!b.isNull(), qPrintable(twin));
        if (a.size() != b.size())
            return; // different shapes altogether
        int differing = 0;
        for (int y = 0; y < a.height(); ++y)
            for (int x = 0; x < a.width(); ++x)
                if (a.pixel(x, y) != b.pixel(x, y))
                    ++differing;
        // Clearly different, not a stray pixel.
        QVERIFY2(differing >= a.width() * a.height() / 20, qPrintable(twin));
    }

    void slashlessNameResolves()
    {
        // The resize grip is named without the slash after the colon.
        const QPixmap grip(QStringLiteral(":image/resize.png"));
        QVERIFY(!grip.isNull());
        QCOMPARE(grip.size(), QSize(12, 12));
    }

    void spinnerAnimates()
    {
        QMovie movie(QString::fromLatin1(loadingName));
        QVERIFY(movie.isValid());
        QCOMPARE(movie.format(), QByteArray("gif"));
        QVERIFY2(movie.frameCount() >= 8, qPrintable(QString::number(movie.frameCount())));
        QVERIFY(movie.jumpToFrame(0));
        QCOMPARE(movie.currentFrameNumber(), 0);
        const QImage first = movie.currentImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(first.size(), loadingSize);
        QVERIFY(distinctColours(first) >= 4);
        QVERIFY(movie.nextFrameDelay() > 0 && movie.nextFrameDelay() <= 200);
        // The frames move: the middle frame is not the first one.
        for (int i = 0; i < movie.frameCount() / 2; ++i)
            QVERIFY(movie.jumpToNextFrame());
        QCOMPARE(movie.currentFrameNumber(), movie.frameCount() / 2);
        const QImage middle = movie.currentImage().convertToFormat(QImage::Format_ARGB32);
        QCOMPARE(middle.size(), loadingSize);
        QVERIFY(middle != first);
        // Transparent around the ring, so the list behind shows.
        QCOMPARE(qAlpha(first.pixel(5, 5)), 0);
    }

    void bundleMatchesList()
    {
        // Every picture in the bundle is one the list above knows, so neither drifts.
        QSet<QString> known;
        for (const Picture &p : pictures)
            known.insert(QString::fromLatin1(p.name));
        known.insert(QString::fromLatin1(loadingName));
        QDirIterator it(QStringLiteral(":/image"), QDir::Files, QDirIterator::Subdirectories);
        int count = 0;
        while (it.hasNext()) {
            const QString path = it.next();
            QVERIFY2(known.contains(path), qPrintable(path + QLatin1String(" is not in the list")));
            ++count;
        }
        QCOMPARE(count, known.size());
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
