#include "app/extensions.h"

#include <QtTest>

class TestExtensionSets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sizes();
    void upperCase3gpIsVideoAndAudio();
    void nameWithoutDotIsInNone_data();
    void nameWithoutDotIsInNone();
    void lastDotCounts();
    void fillingTwiceKeepsTheSets();

private:
    static int kindsOf(const QString &name)
    {
        const QString ext = extensionOf(name);
        int n = 0;
        for (const QSet<QString> *set : {&documentExtensions, &videoExtensions, &audioExtensions,
                                         &pictureExtensions, &archiveExtensions})
            n += set->contains(ext) ? 1 : 0;
        return n;
    }
};

void TestExtensionSets::initTestCase()
{
    fillExtensionSets();
}

void TestExtensionSets::sizes()
{
    QCOMPARE(documentExtensions.size(), 12);
    QCOMPARE(videoExtensions.size(), 25);
    QCOMPARE(audioExtensions.size(), 21);
    QCOMPARE(pictureExtensions.size(), 9);
    QCOMPARE(archiveExtensions.size(), 5);
}

void TestExtensionSets::upperCase3gpIsVideoAndAudio()
{
    QCOMPARE(extensionOf(QStringLiteral("clip.3GP")), QStringLiteral(".3gp"));
    QVERIFY(videoExtensions.contains(extensionOf(QStringLiteral("clip.3GP"))));
    QVERIFY(audioExtensions.contains(extensionOf(QStringLiteral("clip.3GP"))));
    QCOMPARE(kindsOf(QStringLiteral("clip.3GP")), 2);
    QCOMPARE(kindsOf(QStringLiteral("talk.ASF")), 2);
}

void TestExtensionSets::nameWithoutDotIsInNone_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("plain") << QStringLiteral("README");
    QTest::newRow("looks like an extension") << QStringLiteral("mp4");
    QTest::newRow("chinese") << QStringLiteral("照片");
    QTest::newRow("empty") << QString();
}

void TestExtensionSets::nameWithoutDotIsInNone()
{
    QFETCH(QString, name);
    QCOMPARE(extensionOf(name), name.toLower());
    QCOMPARE(kindsOf(name), 0);
}

void TestExtensionSets::lastDotCounts()
{
    QCOMPARE(extensionOf(QStringLiteral("backup.tar.GZ")), QStringLiteral(".gz"));
    QVERIFY(archiveExtensions.contains(extensionOf(QStringLiteral("backup.tar.GZ"))));
    QVERIFY(pictureExtensions.contains(extensionOf(QStringLiteral("IMG.0001.JPG"))));
    QCOMPARE(kindsOf(QStringLiteral("notes.md.bak")), 0);
    QCOMPARE(kindsOf(QStringLiteral("trailing.")), 0);
}

void TestExtensionSets::fillingTwiceKeepsTheSets()
{
    fillExtensionSets();
    QCOMPARE(videoExtensions.size(), 25);
    QCOMPARE(audioExtensions.size(), 21);
}

QTEST_GUILESS_MAIN(TestExtensionSets)
#include "tst_extensionsets.moc"
