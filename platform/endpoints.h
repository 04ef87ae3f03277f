#pragma once

#include <QHostAddress>
#include <QString>

// Addresses of the services outside the program. Each has a built-in default and an
// environment override; a malformed override falls back to the default with a debug line.

// KELVORA_DEVICE_MANAGER: base URL of the device-management server, without a trailing "/".
// Default "http://127.0.0.1:18080".
QString deviceManagerUrl();

// KELVORA_ACCOUNT_SERVICE: base URL of the account service, without a trailing "/".
// Default "http://127.0.0.1:18080".
QString accountServiceUrl();

// KELVORA_CLOUD_SITE: home address of the cloud-disk site. Default "http://127.0.0.1:18100/".
QString cloudSiteUrl();

struct DiscoveryTarget
{
    QHostAddress address;
    quint16 port = 0;
};

// The parser behind the three URLs: false (url untouched) for anything but an absolute http or
// https URL with a host. Blanks around it go; trimSlash drops trailing "/".
bool parseServiceUrl(const QString &text, bool trimSlash, QString *url);

// KELVORA_DISCOVERY_TARGET: "host:port" (IPv4, "[IPv6]" or "localhost") of the discovery
// datagram. Default 255.255.255.255:19000.
DiscoveryTarget discoveryTarget();

// The parser behind discoveryTarget(): false (target untouched) for anything but a literal
// address and a port from 1 to 65535.
bool parseDiscoveryTarget(const QString &text, DiscoveryTarget *target);
