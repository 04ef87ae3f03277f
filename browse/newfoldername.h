#ifndef KELVORA_NEWFOLDERNAME_H
#define KELVORA_NEWFOLDERNAME_H

#include <QSet>
#include <QString>

// The first of "新建文件夹", "新建文件夹1", "新建文件夹2", ... that no name in taken bears.
QString newFolderName(const QSet<QString> &taken);

#endif
