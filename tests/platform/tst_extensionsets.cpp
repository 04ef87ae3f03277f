#include "app/extensions.h"

#include <QtTest>

class TestExtensionSets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void sizes();
    void lookup_data();
    void lookup();
};

void TestExtensionSets::initTestCase()
{
    fillExtensionSets();
    // A second fill must not disturb the sets.
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

void TestExtensionSets::lookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    // The sets holding the extension, in the order document, video, audio, picture, archive.
    QTest::addColumn<QString>("kinds");
    QTest::newRow("upper-case 3GP") << "clip.3GP"
                                    << ".3gp"
                                    << "-va--";
    QTest::newRow("upper-case ASF") << "talk.ASF"
                                    << ".asf"
                                    << "-va--";
    QTest::newRow("last dot counts") << "backup.tar.GZ"
                                     << ".gz"
                                     << "----z";
    QTest::newRow("picture") << "IMG.0001.JPG"
                             << ".jpg"
                             << "---p-";
    QTest::newRow("document") << "notes.md"
                              << ".md"
                              << "d----";
    QTest::newRow("unknown after the last dot") << "notes.md.bak"
                                                << ".bak"
                                                << "-----";
    QTest::newRow("trailing dot") << "trailing."
                                  << "."
                                  << "-----";
    QTest::newRow("no dot") << "README"
                            << "readme"
                            << "-----";
    QTest::newRow("no dot, looks like an extension") << "mp4"
                                                     << "mp4"
                                                     << "-----";
    QTest::newRow("no dot, chinese") << "照片"
                                     << "照片"
                                     << "-----";
    QTest::newRow("empty") << ""
                           << ""
                           << "-----";
}

void TestExtensionSets::lookup()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QFETCH(QString, kinds);
    QCOMPARE(extensionOf(name), extension);
    QString found;
    const QSet<QString> *sets[] = {&documentExtensions, &videoExtensions, &audioExtensions,
                                   &pictureExtensions, &archiveExtensions};
    for (int i = 0; i < 5; ++i)
        found += sets[i]->contains(extension) ? QChar(QLatin1Char("dvapz"[i])) : QChar('-');
    QCOMPARE(found, kinds);
}

QTEST_GUILESS_MAIN(TestExtensionSets)
#include "tst_extensionsets.moc"
