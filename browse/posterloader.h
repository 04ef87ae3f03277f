#ifndef KELVORA_POSTERLOADER_H
#define KELVORA_POSTERLOADER_H

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

class FileItemIcon;
class QNetworkReply;
class QUrl;

// The posters of the video tiles. A poster in the cache is shown at once and never asked for
// again; any other is fetched (http and https only), following redirections for at most
// maxRedirects hops, scaled to a width of 80 and kept in the cache. A body that is not a
// picture changes nothing. Every request in flight can be dropped at once, as a new view
// of the library makes the old one's posters pointless.
class PosterLoader : public QObject
{
    Q_OBJECT

public:
    static const int maxRedirects = 5;
    static const int posterWidth = 80;

    explicit PosterLoader(QObject *parent = nullptr);
    ~PosterLoader() override;

    // Shows the poster at url on the tile; cachePath (relative to the data directory) is
    // where it is kept, empty for a poster that is not kept.
    void load(FileItemIcon *tile, const QString &url, const QString &cachePath);
    // Disconnects, aborts and releases every request in flight.
    void abortAll();
    int pending() const { return int(replies.size()); }

signals:
    // A poster could not be had: a network error, or redirections without end. The reason is
    // for the user.
    void failed(const QString &reason);

private:
    void fetch(QPointer<FileItemIcon> tile, const QUrl &url, const QString &cachePath, int hops);
    void arrived(QNetworkReply *reply, QPointer<FileItemIcon> tile, const QString &cachePath,
                 int hops);

    QSet<QNetworkReply *> replies;
};

#endif
