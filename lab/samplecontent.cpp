#include "lab/samplecontent.h"

#include "lab/aviwriter.h"
#include "lab/labimages.h"

#include <QBuffer>
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
    QByteArray jpeg(const QString &title, const QColor &c) const
    {
        QByteArray out;
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        LabImages::picture(title, c, 320, 240).save(&buffer, "JPEG");
        return out;
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

// A small placeholder for formats the lab does not write for real.
QByteArray stub(const char *kind)
{
    return QByteArray("Kelvora lab sample file (") + kind + ")\n";
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

bool SampleContent::fillDevice(const QString &folder, int set, QString *error)
{
    Writer w(folder, error);
    w.folder(QString());
    if (set == 1) {
        w.file(QStringLiteral("备份/2023 年度报告.pdf"), pdf(QStringLiteral("Annual report 2023")));
        w.picture(QStringLiteral("备份/旧照片 001.jpg"), QStringLiteral("旧照片 001"),
                  QColor(120, 90, 60), 640, 480);
        w.file(QStringLiteral("备份/notes.txt"), "Backup notes.\n");
        w.video(QStringLiteral("录像/门口 监控.avi"), QStringLiteral("门口 监控"),
                QColor(60, 60, 60), 2);
        w.folder(QStringLiteral("空的文件夹"));
        return w.ok();
    }
    if (set == 2) {
        for (int i = 1; i <= 60; ++i)
            w.picture(QStringLiteral("相册/%1 年/照片 %2.jpg")
                          .arg(2015 + i % 5)
                          .arg(i, 3, 10, QLatin1Char('0')),
                      QStringLiteral("照片 %1").arg(i), QColor::fromHsv((i * 37) % 360, 120, 200),
                      160 + (i * 53) % 900, 120 + (i * 31) % 700);
        w.file(QStringLiteral("文档/家庭 预算.xlsx"), stub("xlsx"));
        w.file(QStringLiteral("文档/旅行计划.docx"), stub("docx"));
        w.video(QStringLiteral("视频/生日 派对.avi"), QStringLiteral("生日 派对"),
                QColor(150, 60, 90), 2);
        return w.ok();
    }
    // The rich set: a few hundred pictures in nested albums, videos with one series, every
    // document type, and names that need care in URLs and JSON.
    for (int i = 1; i <= 200; ++i) {
        const int month = 1 + i % 12;
        w.picture(QStringLiteral("照片/相册 2023/%1月/IMG_%2.jpg")
                      .arg(month)
                      .arg(i, 4, 10, QLatin1Char('0')),
                  QStringLiteral("IMG %1").arg(i), QColor::fromHsv((i * 47) % 360, 140, 190),
                  120 + (i * 97) % 1500, 90 + (i * 61) % 1000);
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
    w.picture(QStringLiteral("照片/wide panorama.jpg"), QStringLiteral("panorama"),
              QColor(90, 150, 200), 3000, 500);
    w.video(QStringLiteral("视频/城市 夜景.avi"), QStringLiteral("城市 夜景"), QColor(20, 30, 80));
    w.video(QStringLiteral("视频/纪录片 第一季/第1集 起源.avi"), QStringLiteral("第1集"),
            QColor(30, 90, 60));
    w.video(QStringLiteral("视频/纪录片 第一季/第2集 远行.avi"), QStringLiteral("第2集"),
            QColor(40, 100, 70));
    w.video(QStringLiteral("视频/纪录片 第一季/第3集 归来.avi"), QStringLiteral("第3集"),
            QColor(50, 110, 80));
    w.video(QStringLiteral("sample clip.avi"), QStringLiteral("sample clip"), QColor(90, 40, 120),
            2);
    w.file(QStringLiteral("预告片.mp4"), stub("mp4"));
    w.file(QStringLiteral("文档/说明书.pdf"), pdf(QStringLiteral("Kelvora lab manual")));
    w.file(QStringLiteral("文档/readme.txt"), "This folder holds sample documents.\n");
    w.file(QStringLiteral("文档/会议纪要 2023-05.md"),
           QStringLiteral("# 会议纪要\n\n- 讨论了新功能\n- 下次会议：周五\n").toUtf8());
    w.file(QStringLiteral("文档/主页.html"), "<html><body><h1>Home</h1></body></html>\n");
    w.file(QStringLiteral("文档/信件.rtf"), "{\\rtf1\\ansi Hello from the lab.}\n");
    w.file(QStringLiteral("文档/金山 文字.wps"), stub("wps"));
    w.file(QStringLiteral("文档/旧表格.xls"), stub("xls"));
    w.file(QStringLiteral("文档/旧幻灯片.ppt"), stub("ppt"));
    w.file(QStringLiteral("文档/项目 计划.docx"), stub("docx"));
    w.file(QStringLiteral("文档/预算 2024.xlsx"), stub("xlsx"));
    w.file(QStringLiteral("文档/旧文档.doc"), stub("doc"));
    w.file(QStringLiteral("文档/季度 汇报.pptx"), stub("pptx"));
    w.file(QStringLiteral("文档/报表.csv"), "月份,收入\n1,100\n2,120\n");
    w.file(QStringLiteral("音乐/提示音 440Hz.wav"), wav(440, 1.0));
    w.file(QStringLiteral("压缩包/照片备份.zip"), stub("zip"));
    w.file(QStringLiteral("奇怪的名字/R&D notes (v2).txt"), "ampersand\n");
    w.file(QStringLiteral("奇怪的名字/100% done.txt"), "percent\n");
    w.file(QStringLiteral("奇怪的名字/%E4%B8%AD literally.txt"),
           "an escape that is part of the name\n");
    w.file(QStringLiteral("奇怪的名字/#1 priority.txt"), "hash\n");
    w.file(QStringLiteral("奇怪的名字/a+b=c.md"), "plus and equals\n");
    w.file(QStringLiteral("奇怪的名字/semi;colon|bar.txt"), "semicolon and bar\n");
    w.file(QStringLiteral("奇怪的名字/it's here.txt"), "apostrophe\n");
    w.file(QStringLiteral("奇怪的名字/他说 \"你好\".txt"), "double quotes\n");
    w.file(QStringLiteral("奇怪的名字/emoji 😀.txt"), "emoji\n");
    w.file(QStringLiteral("奇怪的名字/  leading blanks.txt"), "blanks\n");
    w.file(QStringLiteral("奇怪的名字/UPPER.JPG"),
           w.jpeg(QStringLiteral("UPPER"), QColor(10, 120, 120)));
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
    bool firstDevice = true;
    for (const LabDevice &d : config.devices) {
        for (int i = 0; i < d.partitions.size(); ++i) {
            int set = 1;
            if (i == 0 && firstDevice)
                set = 0;
            else if (i == 0 && d.owner.isEmpty())
                set = 2;
            if (!QFileInfo::exists(d.partitions[i].folder) &&
                !generateInto(
                    d.partitions[i].folder,
                    [set](const QString &f, QString *e) { return fillDevice(f, set, e); }, error))
                return false;
        }
        firstDevice = false;
    }
    for (const LabCloudAccount &a : config.cloudAccounts) {
        const QString folder = config.cloudFolder + QLatin1Char('/') + a.name;
        if (!a.name.isEmpty() && !a.name.contains(QLatin1Char('/')) && !QFileInfo::exists(folder) &&
            !generateInto(folder, fillCloud, error))
            return false;
    }
    return true;
}
