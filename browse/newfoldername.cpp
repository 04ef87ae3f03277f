#include "browse/newfoldername.h"

#include <QCoreApplication>

QString newFolderName(const QSet<QString> &taken)
{
    const QString base = QCoreApplication::translate("Explorer", "新建文件夹");
    QString name = base;
    // At most taken.size() numbers are skipped, so this ends.
    for (int n = 1; taken.contains(name); ++n)
        name = base + QString::number(n);
    return name;
}
