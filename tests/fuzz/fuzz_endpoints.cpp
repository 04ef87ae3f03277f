#include "fuzzers.h"

#include "platform/endpoints.h"

// The endpoint variables come from the environment: whatever they hold, the parsers either
// refuse it or give an address the client can use, and their results parse to themselves.
void fuzzEndpoints(const QByteArray &input)
{
    const QString text = QString::fromUtf8(input);
    DiscoveryTarget target;
    if (parseDiscoveryTarget(text, &target)) {
        FUZZ_CHECK(!target.address.isNull() && target.port != 0);
        const QString host = target.address.protocol() == QAbstractSocket::IPv6Protocol
                                 ? QLatin1Char('[') + target.address.toString() + QLatin1Char(']')
                                 : target.address.toString();
        DiscoveryTarget again;
        FUZZ_CHECK(
            parseDiscoveryTarget(host + QLatin1Char(':') + QString::number(target.port), &again));
        FUZZ_CHECK(again.address == target.address && again.port == target.port);
    }
    for (const bool trimSlash : {true, false}) {
        QString url;
        if (!parseServiceUrl(text, trimSlash, &url))
            continue;
        FUZZ_CHECK(!url.isEmpty() && (!trimSlash || !url.endsWith(QLatin1Char('/'))));
        QString again;
        FUZZ_CHECK(parseServiceUrl(url, trimSlash, &again) && again == url);
    }
}

KELVORA_FUZZ_TARGET(fuzzEndpoints)
