#include "lab/samplecontent.h"

#include "lab/aviwriter.h"
#include "lab/labimages.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QtMath>

namespace {

// Each generated file is a day older than the one before it, so "newest first" is visible.
class Writer
{
public:
    Writer(const QString &root, QString *error) : root_(root), error_(error) {}

    bool ok() const { return ok_; }

    void file(const QString &rel, const QByteArray &data)
    {
        const QString path = root_ + QLatin1Char('/') + rel;
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(data) != data.size()) {
            fail(path);
            return;
        }
        f.close();
        touch(path);
    }
    void picture(const QString &rel, const QString &title, const QColor &c, int w = 1280,
                 int h = 800)
    {
        const QString path = root_ + QLatin1Char('/') + rel;
        QDir().mkpath(QFileInfo(path).absolutePath());
        if (!LabImages::picture(title, c, w, h).save(path)) {
            fail(path);
            return;
        }
        touch(path);
    }
    void video(const QString &rel, const QString &title, const QColor &c, int seconds = 3)
    {
        const QString path = root_ + QLatin1Char('/') + rel;
        QDir().mkpath(QFileInfo(path).absolutePath());
        AviWriter avi(320, 180, 8);
        for (int i = 0; i < seconds * 8; ++i) {
            QImage frame = LabImages::picture(title, c, 320, 180);
            QPainter p(&frame);
            p.setBrush(Qt::white);
            p.setPen(Qt::NoPen);
            const qreal x = 20 + (280.0 * i) / (seconds * 8);
            p.drawEllipse(QPointF(x, 150), 8, 8);
            p.end();
            avi.addFrame(frame);
        }
        if (!avi.save(path)) {
            fail(path);
            return;
        }
        touch(path);
    }
    void folder(const QString &rel)
    {
        if (!QDir().mkpath(root_ + QLatin1Char('/') + rel))
            fail(rel);
    }

private:
    void touch(const QString &path)
    {
        QFile f(path);
        if (f.open(QIODevice::ReadWrite)) {
            f.setFileTime(stamp_, QFileDevice::FileModificationTime);
            stamp_ = stamp_.addSecs(-86400 - 3600 * 3);
        }
    }
    void fail(const QString &path)
    {
        ok_ = false;
        *error_ = QStringLiteral("cannot write sample file %1").arg(path);
    }

    QString root_;
    QString *error_;
    bool ok_ = true;
    QDateTime stamp_ = QDateTime::currentDateTime().addSecs(-600);
};

QByteArray pdf(const QString &text)
{
    // A one-page PDF with one line of Latin text; offsets are computed, not guessed.
    QByteArray line = text.toLatin1();
    line.replace('\\', "\\\\").replace('(', "\\(").replace(')', "\\)");
    const QByteArray stream = "BT /F1 24 Tf 72 720 Td (" + line + ") Tj ET";
    QVector<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>", "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + QByteArray::number(stream.size()) + " >>\nstream\n" + stream +
            "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"};
    QByteArray out = "%PDF-1.4\n";
    QVector<int> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(out.size());
        out += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const int xref = out.size();
    out += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (int off : offsets)
        out += QByteArray::number(off).rightJustified(10, '0') + " 00000 n \n";
    out += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) +
           " /Root 1 0 R >>\nstartxref\n" + QByteArray::number(xref) + "\n%%EOF\n";
    return out;
}

QByteArray wav(double frequency, double seconds)
{
    const int rate = 8000;
    const int samples = static_cast<int>(rate * seconds);
    QByteArray data;
    for (int i = 0; i < samples; ++i) {
        const qint16 v = static_cast<qint16>(8000 * qSin(2 * M_PI * frequency * i / rate));
        data.append(static_cast<char>(v & 0xff));
        data.append(static_cast<char>((v >> 8) & 0xff));
    }
    auto le32 = [](quint32 v) {
        QByteArray b;
        for (int i = 0; i < 4; ++i)
            b.append(static_cast<char>((v >> (8 * i)) & 0xff));
        return b;
    };
    QByteArray h = "RIFF" + le32(36 + data.size()) + "WAVEfmt " + le32(16);
    h += QByteArray("\x01\x00\x01\x00", 4) + le32(rate) + le32(rate * 2) +
         QByteArray("\x02\x00\x10\x00", 4);
    return h + "data" + le32(data.size()) + data;
}

QByteArray pattern(int size)
{
    QByteArray b(size, Qt::Uninitialized);
    quint32 x = 2463534242u;
    for (int i = 0; i < size; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b[i] = static_cast<char>(x & 0xff);
    }
    return b;
}

} // namespace

bool SampleContent::fillDevice(const QString &folder, bool rich, QString *error)
{
    Writer w(folder, error);
    w.folder(QString());
    if (!rich) {
        w.file(QStringLiteral("备份/2023 年度报告.pdf"), pdf(QStringLiteral("Annual report 2023")));
        w.picture(QStringLiteral("备份/旧照片 001.jpg"), QStringLiteral("旧照片 001"),
                  QColor(120, 90, 60));
        w.file(QStringLiteral("备份/notes.txt"), "Backup notes.\n");
        w.video(QStringLiteral("录像/门口 监控.avi"), QStringLiteral("门口 监控"),
                QColor(60, 60, 60), 2);
        w.folder(QStringLiteral("空的文件夹"));
        return w.ok();
    }
    w.picture(QStringLiteral("照片/海边日落.jpg"), QStringLiteral("海边日落"),
              QColor(230, 120, 60));
    w.picture(QStringLiteral("照片/山间小路.png"), QStringLiteral("山间小路"), QColor(60, 140, 80),
              800, 1000);
    w.picture(QStringLiteral("照片/family photo 2019.jpg"), QStringLiteral("family photo"),
              QColor(70, 110, 190));
    w.picture(QStringLiteral("照片/猫咪 (1).jpg"), QStringLiteral("猫咪 (1)"),
              QColor(180, 150, 100), 640, 640);
    w.picture(QStringLiteral("照片/旅行/北京/故宫.jpg"), QStringLiteral("故宫"),
              QColor(170, 40, 40));
    w.picture(QStringLiteral("照片/旅行/北京/长城.jpg"), QStringLiteral("长城"),
              QColor(110, 120, 60));
    w.picture(QStringLiteral("照片/旅行/上海 外滩.bmp"), QStringLiteral("上海 外滩"),
              QColor(40, 60, 120), 400, 300);
    w.picture(QStringLiteral("照片/tiny.png"), QStringLiteral("tiny"), QColor(200, 60, 160), 64,
              48);
    w.video(QStringLiteral("视频/城市 夜景.avi"), QStringLiteral("城市 夜景"), QColor(20, 30, 80));
    w.video(QStringLiteral("视频/纪录片 第一季/第1集 起源.avi"), QStringLiteral("第1集"),
            QColor(30, 90, 60));
    w.video(QStringLiteral("视频/纪录片 第一季/第2集 远行.avi"), QStringLiteral("第2集"),
            QColor(40, 100, 70));
    w.video(QStringLiteral("视频/纪录片 第一季/第3集 归来.avi"), QStringLiteral("第3集"),
            QColor(50, 110, 80));
    w.video(QStringLiteral("sample clip.avi"), QStringLiteral("sample clip"), QColor(90, 40, 120),
            2);
    w.file(QStringLiteral("文档/说明书.pdf"), pdf(QStringLiteral("Kelvora lab manual")));
    w.file(QStringLiteral("文档/readme.txt"), "This folder holds sample documents.\n");
    w.file(QStringLiteral("文档/会议纪要 2023-05.md"),
           QStringLiteral("# 会议纪要\n\n- 讨论了新功能\n- 下次会议：周五\n").toUtf8());
    w.file(QStringLiteral("文档/R&D notes (v2).txt"), "Research and development notes.\n");
    w.file(QStringLiteral("文档/100% done.txt"), "All done.\n");
    w.file(QStringLiteral("文档/a+b=c.html"), "<html><body><p>a+b=c</p></body></html>\n");
    w.file(QStringLiteral("文档/报表.csv"), "月份,收入\n1,100\n2,120\n");
    w.file(QStringLiteral("音乐/提示音 440Hz.wav"), wav(440, 1.0));
    w.file(QStringLiteral("奇怪的名字/#1 priority.txt"), "hash\n");
    w.file(QStringLiteral("奇怪的名字/semi;colon.txt"), "semicolon\n");
    w.file(QStringLiteral("奇怪的名字/it's here.txt"), "apostrophe\n");
    w.file(QStringLiteral("奇怪的名字/C++ primer.txt"), "plus signs\n");
    w.file(QStringLiteral("奇怪的名字/emoji 😀.txt"), "emoji\n");
    w.file(QStringLiteral("奇怪的名字/  leading blanks.txt"), "blanks\n");
    w.file(QStringLiteral("深层/第一层/第二层/第三层/最底下.txt"), "the bottom\n");
    w.folder(QStringLiteral("空文件夹"));
    w.file(QStringLiteral("大文件 8MB.bin"), pattern(8 * 1024 * 1024));
    return w.ok();
}

bool SampleContent::fillCloud(const QString &folder, QString *error)
{
    Writer w(folder, error);
    w.folder(QString());
    w.file(QStringLiteral("我的文档/云盘使用说明.pdf"), pdf(QStringLiteral("Cloud disk guide")));
    w.file(QStringLiteral("我的文档/todo list.txt"), "1. buy milk\n2. back up photos\n");
    w.picture(QStringLiteral("我的图片/云端 风景.jpg"), QStringLiteral("云端 风景"),
              QColor(60, 150, 200));
    w.picture(QStringLiteral("我的图片/合影/毕业 合影.png"), QStringLiteral("毕业 合影"),
              QColor(200, 160, 60), 800, 500);
    w.video(QStringLiteral("我的视频/short clip.avi"), QStringLiteral("short clip"),
            QColor(120, 60, 40), 2);
    w.file(QStringLiteral("setup (x64).zip"), pattern(256 * 1024));
    w.file(QStringLiteral("big file 4MB.bin"), pattern(4 * 1024 * 1024));
    return w.ok();
}

namespace {

// Content goes into a side folder first, so that an interrupted run leaves nothing half-made
// that would be taken for finished next time.
template <typename Fill> bool generateInto(const QString &folder, Fill fill, QString *error)
{
    const QString temp = folder + QStringLiteral(".generating");
    QDir(temp).removeRecursively();
    if (!fill(temp, error))
        return false;
    if (!QDir().rename(temp, folder)) {
        *error = QStringLiteral("cannot move %1 into place").arg(temp);
        return false;
    }
    return true;
}

} // namespace

bool SampleContent::generateMissing(const LabConfig &config, QString *error)
{
    bool first = true;
    for (const LabDevice &d : config.devices) {
        for (const LabPartition &p : d.partitions) {
            const bool rich = first;
            if (!QFileInfo::exists(p.folder) &&
                !generateInto(
                    p.folder,
                    [rich](const QString &f, QString *e) { return fillDevice(f, rich, e); }, error))
                return false;
            first = false;
        }
    }
    for (const LabCloudAccount &a : config.cloudAccounts) {
        const QString folder = config.cloudFolder + QLatin1Char('/') + a.username;
        if (!a.username.isEmpty() && !a.username.contains(QLatin1Char('/')) &&
            !QFileInfo::exists(folder) && !generateInto(folder, fillCloud, error))
            return false;
    }
    return true;
}
