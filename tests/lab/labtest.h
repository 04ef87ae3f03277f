#pragma once
// What the lab tests share: the device they mostly drive, forms as the client sends them.
#include "tests/support/httpsync.h"
#include "tests/support/labprocess.h"

#include <QHttpMultiPart>
#include <QUrlQuery>

const QString kDevice = QStringLiteral("TVK0000000001");
const QByteArray kBoundary = "boundary_vbx_MzExMTc=MzA5MDQ=MjA2OTE=";
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
