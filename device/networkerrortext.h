#ifndef KELVORA_NETWORKERRORTEXT_H
#define KELVORA_NETWORKERRORTEXT_H

#include <QNetworkReply>
#include <QString>

// The toast text for a failed device request; empty for codes the user is not told about.
QString networkErrorText(QNetworkReply::NetworkError code);

#endif
