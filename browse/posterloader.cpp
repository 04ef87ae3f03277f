#include "browse/posterloader.h"

#include "app/networkmanager.h"
#include "browse/fileitemicon.h"
#include "device/networkerrortext.h"
#include "device/replyholder.h"

#include <QBuffer>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QPixmap>
#include <QSaveFile>
#include <QUrl>

namespace {

// Far beyond any poster; a body that claims more is not decoded at all.
const qint64 maxPixels = 4096 * 4096;
// A strip one pixel wide would grow without bound when brought to the poster width.
const int maxScaledHeight = 4096;

bool isWebUrl(const QUrl &url)
{
    // The device names the address: never a local file or a resource of the program.
    return url.isValid() && !url.host().isEmpty() &&
           (url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https"));
}

QImage posterImage(QByteArray body)
{
    QBuffer buffer(&body);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || qint64(size.width()) * size.height() > maxPixels ||
        qint64(size.height()) * PosterLoader::posterWidth / size.width() > maxScaledHeight)
        return QImage();
    const QImage image = reader.read();
    if (image.isNull())
        return image;
    return image.scaledToWidth(PosterLoader::posterWidth, Qt::SmoothTransformation);
}

} // namespace

PosterLoader::PosterLoader(QObject *parent) : QObject(parent) {}

PosterLoader::~PosterLoader()
{
    abortAll();
}

void PosterLoader::load(FileItemIcon *tile, const QString &url, const QString &cachePath)
{
    if (!tile || url.isEmpty())
        return;
    // A cached file that no longer reads as a picture is fetched again.
    if (!cachePath.isEmpty()) {
        const QPixmap cached(cachePath, "PNG");
        if (!cached.isNull()) {
            tile->setIcon(cached);
            return;
        }
    }
    fetch(tile, QUrl(url), cachePath, 0);
}

void PosterLoader::abortAll()
{
    const QSet<QNetworkReply *> inFlight = replies;
    replies.clear();
    for (QNetworkReply *reply : inFlight)
        ReplyHolder::abortAndRelease(reply);
}

void PosterLoader::fetch(QPointer<FileItemIcon> tile, const QUrl &url, const QString &cachePath,
                         int hops)
{
    if (!isWebUrl(url)) {
        qDebug("poster not fetched: %s", qPrintable(url.toDisplayString()));
        return;
    }
    QNetworkRequest request(url);
    // Redirections are followed here, counted, and never to anything but http or https.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    QNetworkReply *reply = networkManager()->get(request);
    replies.insert(reply);
    ReplyHolder::handleOnce(reply, this, [this, tile, cachePath, hops](QNetworkReply *finished) {
        replies.remove(finished);
        arrived(finished, tile, cachePath, hops);
    });
}

void PosterLoader::arrived(QNetworkReply *reply, QPointer<FileItemIcon> tile,
                           const QString &cachePath, int hops)
{
    const QNetworkReply::NetworkError error = ReplyHolder::error(reply);
    if (error != QNetworkReply::NoError) {
        const QString text = networkErrorText(error);
        emit failed(text.isEmpty() ? reply->errorString() : text);
        return;
    }
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status == 301 || status == 302 || status == 303 || status == 307 || status == 308) {
        const QUrl target = reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
        if (hops >= maxRedirects) {
            emit failed(tr("重定向次数过多"));
            return;
        }
        if (!target.isEmpty())
            fetch(tile, reply->url().resolved(target), cachePath, hops + 1);
        return;
    }
    if (status != 200) {
        qDebug("unkonwn status: %d", status);
        return;
    }
    const QImage image = posterImage(reply->readAll());
    if (image.isNull())
        return;
    const QPixmap pixmap = QPixmap::fromImage(image);
    if (tile)
        tile->setIcon(pixmap);
    if (cachePath.isEmpty())
        return;
    QDir().mkpath(QFileInfo(cachePath).path());
    // Written aside and renamed: an interrupted write never leaves half a poster behind.
    QSaveFile file(cachePath);
    if (file.open(QIODevice::WriteOnly) && pixmap.save(&file, "PNG"))
        file.commit();
}
