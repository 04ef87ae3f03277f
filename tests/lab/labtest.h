#pragma once
// What the lab tests share: the device they mostly drive, forms as the client sends them.
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QHttpMultiPart>
#include <QUrlQuery>

const QString kDevice = QStringLiteral("TVK0000000001");
const QByteArray kBoundary = "boundary_vbx_MzExMTc=MzA5MDQ=MjA2OTE=";
const QString kBigFile = QStringLiteral("/media/sda1/%E5%A4%A7%E6%96%87%E4%BB%B6%208MB.bin");
const qint64 kBig = 8 * 1024 * 1024; // the size of kBigFile, "大文件 8MB.bin"
const HttpSync::Headers kUploadHeaders = {
    {"Content-Type", "multipart/form-data; boundary=" + kBoundary}};

// The one-part form of an upload: the body, or a file read as it goes (the form owns it).
inline QHttpMultiPart *uploadForm(const QByteArray &body, QIODevice *file = nullptr)
{
    auto *multi = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    multi->setBoundary(kBoundary);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\""));
    if (file) {
        part.setBodyDevice(file);
        file->setParent(multi);
    } else {
        part.setBody(body);
    }
    multi->append(part);
    return multi;
}

// POST /account/login as the client sends it.
inline QJsonObject login(HttpSync &http, const QString &accountUrl, const QString &name,
                         const QString &password)
{
    const QUrlQuery form(
        {{"name", name}, {"password", password}, {"client", "81"}, {"version", "1.0.0.0"}});
    return http
        .post(accountUrl + QStringLiteral("/account/login"),
              form.query(QUrl::FullyEncoded).toUtf8())
        .json();
}

// One lab for the whole test program and the requests its cases send.
class LabTest : public QObject
{
protected:
    QString base(int port) const { return QStringLiteral("http://127.0.0.1:%1").arg(port); }
    int port(const QString &service, const QString &id = kDevice) const
    {
        return lab_.device(id).value(service + QStringLiteral("_port")).toInt();
    }
    // A query of kDevice as the client sends it, directly or relayed.
    QString dlna(const QString &opt, const QString &rest = QString(), bool viaRelay = false) const
    {
        return base(viaRelay ? lab_.relayPort() : port("xctl")) +
               QStringLiteral("/dlna.csp?fname=dlna&opt=%1&x-qm-devid=%2&x-qm-pri=1&x-qm-port=%3"
                              "&userid=880000001&username=demo")
                   .arg(opt, kDevice)
                   .arg(port("xctl")) +
               rest;
    }
    QJsonObject get(const QString &url) { return http_.get(url).json(); }
    int rtn(const QString &url) { return get(url).value("rtn").toInt(-99); }
    int status(const QString &url) { return http_.get(url).status; }
    QString session()
    {
        return login(http_, lab_.accountUrl(), "demo", "demo123").value("sessionid").toString();
    }
    // The device list of demo (userid 880000001) with this cookie.
    QJsonObject devices(const QByteArray &cookie)
    {
        return http_
            .get(lab_.accountUrl() +
                     QStringLiteral("/tovrik/user/querydevice?userid=880000001&ct=30&v=2&type=0"),
                 {{"Cookie", cookie}, {"User-Agent", "Kelvora Client Win32"}})
            .json();
    }
    LabProcess lab_;
    HttpSync http_;
};
