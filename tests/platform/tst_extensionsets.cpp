#include "app/extensions.h"

#include <QtTest>

class TestExtensionSets : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void lookup_data();
    void lookup();
};

void TestExtensionSets::initTestCase()
{
    fillExtensionSets();
    // A second fill must not disturb the sets.
    fillExtensionSets();
}

void TestExtensionSets::lookup_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    // The sets holding the extension, in the order document, video, audio, picture, archive.
    QTest::addColumn<QString>("kinds");
    const char *rows[][4] = {
        {"upper-case 3GP", "clip.3GP", ".3gp", "-va--"},
        {"upper-case ASF", "talk.ASF", ".asf", "-va--"},
        {"last dot counts", "backup.tar.GZ", ".gz", "----z"},
        {"picture", "IMG.0001.JPG", ".jpg", "---p-"},
        {"document", "notes.md", ".md", "d----"},
        {"unknown after the last dot", "notes.md.bak", ".bak", "-----"},
        {"trailing dot", "trailing.", ".", "-----"},
        {"no dot", "README", "readme", "-----"},
        {"no dot, looks like an extension", "mp4", "mp4", "-----"},
        {"no dot, chinese", "照片", "照片", "-----"},
        {"empty", "", "", "-----"},
    };
    for (const auto &r : rows)
        QTest::newRow(r[0]) << QString::fromUtf8(r[1]) << QString::fromUtf8(r[2])
                            << QString::fromLatin1(r[3]);
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
