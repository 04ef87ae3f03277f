#include "browse/filepaths.h"

#include <QUrl>
#include <cctype>

QString FilePaths::encode(const QString &path)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(path, QByteArrayLiteral("/")));
}

QString FilePaths::encodeName(const QString &name)
{
    return QString::fromLatin1(QUrl::toPercentEncoding(name));
}

QString FilePaths::decode(const QString &text)
{
    if (!text.contains(QLatin1Char('%')))
        return text;
    // Strict: only "%" with two hex digits is an escape (Qt's own decoder takes "% d" for one).
    const QByteArray bytes = text.toUtf8();
    QByteArray decoded;
    decoded.reserve(bytes.size());
    for (int i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '%' && i + 2 < bytes.size() && isxdigit(uchar(bytes[i + 1])) &&
            isxdigit(uchar(bytes[i + 2]))) {
            decoded.append(char(QByteArray::fromHex(bytes.mid(i + 1, 2)).at(0)));
            i += 2;
        } else {
            decoded.append(bytes[i]);
        }
    }
    return QString::fromUtf8(decoded);
}

QString FilePaths::join(const QString &folder, const QString &name)
{
    QString path = folder + QLatin1Char('/') + name;
    path.replace(QLatin1String("//"), QLatin1String("/"));
    return path;
}

QString FilePaths::fileName(const QString &path)
{
    return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1);
}

QString FilePaths::parentOf(const QString &path)
{
    const int slash = path.lastIndexOf(QLatin1Char('/'));
    return slash < 0 ? QString() : path.left(slash);
}

bool FilePaths::isUnder(const QString &path, const QString &root)
{
    if (!path.startsWith(root))
        return false;
    return path.size() == root.size() || root.endsWith(QLatin1Char('/')) ||
           path.at(root.size()) == QLatin1Char('/');
}
