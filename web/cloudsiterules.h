#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// Which addresses of the cloud-disk site are which page, and the script text injected into
// them. The site's home address comes from the endpoints (KELVORA_CLOUD_SITE).

// The pattern of signed-in pages: http or https on any one-label subdomain (letters, digits,
// "_" and "-") of the site's domain, with the home address's port if it names one, and a
// path that begins with "/my". The domain is the home address's host without a leading
// "www."; a home address on an IP address or a one-label host has no subdomains, so there the
// pattern names that host itself. Meant for a whole-text match (QRegExp::exactMatch).
QString signedInPagePattern(const QUrl &home);

// True when `url` is the home address with the path "/" (no query, no fragment).
bool isCloudHomePage(const QUrl &url, const QUrl &home);

// The injected script with the RPC port and secret put in where the placeholders
// __KELVORA_RPC_PORT__ and __KELVORA_RPC_SECRET__ stand; the secret goes in as a JSON string.
QString injectedScriptText(const QString &source, int rpcPort, const QByteArray &rpcSecret);

// The script run on the home page: a narrower, blue login page without the site's extras.
QString homePageScript();
