#include "platform/endpoints.h"

#include <QtTest>

class TestEndpoints : public QObject
{
    Q_OBJECT

private slots:
    void cleanup();
    void urlOverrides();
    void malformedUrlFallsBack_data();
    void malformedUrlFallsBack();
    void discoveryTargets_data();
    void discoveryTargets();
    void discoveryFromEnvironment();
};

void TestEndpoints::cleanup()
{
    for (const char *name : {"KELVORA_DEVICE_MANAGER", "KELVORA_ACCOUNT_SERVICE",
                             "KELVORA_CLOUD_SITE", "KELVORA_DISCOVERY_TARGET"})
        qunsetenv(name);
}

void TestEndpoints::urlOverrides()
{
    qputenv("KELVORA_DEVICE_MANAGER", "http://127.0.0.1:28080/");
    qputenv("KELVORA_ACCOUNT_SERVICE", " https://127.0.0.1:28081 ");
    qputenv("KELVORA_CLOUD_SITE", "http://yunpan.test:18100/");
    QCOMPARE(deviceManagerUrl(), QStringLiteral("http://127.0.0.1:28080"));
    QCOMPARE(accountServiceUrl(), QStringLiteral("https://127.0.0.1:28081"));
    QCOMPARE(cloudSiteUrl(), QStringLiteral("http://yunpan.test:18100/"));
}

void TestEndpoints::malformedUrlFallsBack_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::newRow("no scheme") << QByteArray("127.0.0.1:28080");
    QTest::newRow("other scheme") << QByteArray("ftp://127.0.0.1:28080");
    QTest::newRow("no host") << QByteArray("http://");
    QTest::newRow("words") << QByteArray("not a url");
}

void TestEndpoints::malformedUrlFallsBack()
{
    QFETCH(QByteArray, value);
    qputenv("KELVORA_DEVICE_MANAGER", value);
    QTest::ignoreMessage(QtDebugMsg,
                         qPrintable("malformed KELVORA_DEVICE_MANAGER ignored: " + value));
    QCOMPARE(deviceManagerUrl(), QStringLiteral("http://127.0.0.1:18080"));
}

void TestEndpoints::discoveryTargets_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("address"); // empty: refused
    QTest::addColumn<int>("port");
    const struct
    {
        const char *text, *address;
        int port;
    } good[] = {{"127.0.0.1:9", "127.0.0.1", 9},         {"127.0.0.2:19000", "127.0.0.2", 19000},
                {"127.0.0.1:65535", "127.0.0.1", 65535}, {"[::1]:19000", "::1", 19000},
                {"localhost:19001", "127.0.0.1", 19001}, {" 127.0.0.1:5 ", "127.0.0.1", 5}};
    for (const auto &g : good)
        QTest::newRow(g.text) << QString::fromLatin1(g.text) << QString::fromLatin1(g.address)
                              << g.port;
    for (const char *bad :
         {"", "127.0.0.1", "127.0.0.1:", ":19000", "127.0.0.1:0", "127.0.0.1:65536", "127.0.0.1:-1",
          "127.0.0.1:+5", "127.0.0.1:19000x", "127.0.0.1:abc", "999.1.1.1:5", "example.test:19000",
          "::1:19000", "[::1]", "127.0.0.1:19000:1"})
        QTest::newRow(bad) << QString::fromLatin1(bad) << QString() << 0;
}

void TestEndpoints::discoveryTargets()
{
    QFETCH(QString, text);
    QFETCH(QString, address);
    QFETCH(int, port);
    // A refused text leaves the target as it was.
    DiscoveryTarget target{QHostAddress(QStringLiteral("10.0.0.1")), 7};
    QCOMPARE(parseDiscoveryTarget(text, &target), !address.isEmpty());
    QCOMPARE(target.address,
             QHostAddress(address.isEmpty() ? QStringLiteral("10.0.0.1") : address));
    QCOMPARE(int(target.port), address.isEmpty() ? 7 : port);
}

void TestEndpoints::discoveryFromEnvironment()
{
    qputenv("KELVORA_DISCOVERY_TARGET", "127.0.0.1:19555");
    DiscoveryTarget target = discoveryTarget();
    QCOMPARE(target.address, QHostAddress(QStringLiteral("127.0.0.1")));
    QCOMPARE(target.port, quint16(19555));

    qputenv("KELVORA_DISCOVERY_TARGET", "127.0.0.1:none");
    QTest::ignoreMessage(QtDebugMsg, "malformed KELVORA_DISCOVERY_TARGET ignored: 127.0.0.1:none");
    target = discoveryTarget();
    QCOMPARE(target.address, QHostAddress(QHostAddress::LocalHost));
    QCOMPARE(target.port, quint16(19000));
}

QTEST_GUILESS_MAIN(TestEndpoints)
#include "tst_endpoints.moc"
