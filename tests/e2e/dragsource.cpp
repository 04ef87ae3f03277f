// A drag source for end-to-end tests: a small window that, when pressed, drags the local files
// named on its command line (as file URLs) and prints what the drop target did with them.
//   dragsource FILE...
#include <QApplication>
#include <QDrag>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QTimer>
#include <QUrl>

#include <cstdio>

namespace {

class Source : public QLabel
{
public:
    explicit Source(const QList<QUrl> &urls) : urls(urls)
    {
        setText(QStringLiteral("drag me"));
        setAlignment(Qt::AlignCenter);
        setWindowTitle(QStringLiteral("dragsource"));
        resize(160, 100);
    }

protected:
    void mousePressEvent(QMouseEvent *) override
    {
        auto *drag = new QDrag(this);
        auto *mime = new QMimeData;
        mime->setUrls(urls);
        drag->setMimeData(mime);
        const Qt::DropAction done = drag->exec(Qt::CopyAction);
        std::printf("dropped %d\n", int(done));
        std::fflush(stdout);
        // The target reads the data after the drop: it must still find the source.
        QTimer::singleShot(10000, qApp, &QApplication::quit);
    }

private:
    QList<QUrl> urls;
};

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QList<QUrl> urls;
    for (const QString &path : app.arguments().mid(1))
        urls.append(QUrl::fromLocalFile(path));
    Source source(urls);
    source.move(0, 0);
    source.show();
    std::puts("ready");
    std::fflush(stdout);
    return app.exec();
}
