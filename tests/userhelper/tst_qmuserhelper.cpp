// The helper library against a scripted component. Each case runs in a fresh child process
// started from an application directory of its own, since the library keeps one state per
// process and resolves the component next to the executable.
#include "appdirrunner.h"
#include "helperscenarios.h"

#include <QtTest>

class TestQmUserHelper : public QObject
{
    Q_OBJECT

private slots:
    void scenario_data();
    void scenario();
};

void TestQmUserHelper::scenario_data()
{
    QTest::addColumn<QString>("component"); // none, test, garbage, noentry
    QTest::addColumn<QString>("function");  // of HelperScenarios, with ":tag" for one row
    QTest::addColumn<QByteArray>("expectedOutput");

    const QByteArray silent;
    const QString without = QStringLiteral("withoutComponent");
    QTest::newRow("missingComponent") << "none" << without << silent;
    QTest::newRow("garbageComponent")
        << "garbage" << without << QByteArray("qmuserhelp: load module failed \n");
    QTest::newRow("componentWithoutEntry") << "noentry" << without << silent;
    for (const char *tag : {"classObject", "classObjectNotExactlySOk", "createInstance"})
        QTest::newRow(tag) << "test" << QStringLiteral("createFails:") + tag << silent;

    // Every other scenario runs against the scripted component.
    const QMetaObject &scenarios = HelperScenarios::staticMetaObject;
    for (int i = scenarios.methodOffset(); i < scenarios.methodCount(); ++i) {
        const QByteArray name = scenarios.method(i).name();
        if (name == "init" || name == without || name.startsWith("createFails"))
            continue;
        QTest::newRow(name.constData()) << "test" << QString::fromLatin1(name) << silent;
    }
}

void TestQmUserHelper::scenario()
{
    QFETCH(QString, component);
    QFETCH(QString, function);
    QFETCH(QByteArray, expectedOutput);

    AppDirRunner app;
    QVERIFY(app.isValid());
    if (component == QLatin1String("test"))
        QVERIFY(app.placeComponent(QStringLiteral(TEST_COMPONENT_PATH)));
    else if (component == QLatin1String("noentry"))
        QVERIFY(app.placeComponent(QStringLiteral(EMPTY_COMPONENT_PATH)));
    else if (component == QLatin1String("garbage"))
        QVERIFY(app.placeComponentBytes(QByteArray("\x7f"
                                                   "ELF this is not a shared object",
                                                   33) +
                                        QByteArray(4096, '\xa5')));

    AppDirRunner::Result result = app.run(function);
    QVERIFY(result.started);
    QVERIFY2(result.exitCode == 0, qPrintable(result.log + QString::fromLocal8Bit(result.err)));
    QVERIFY2(result.log.contains(QLatin1String("Totals: ")), qPrintable(result.log));
    QCOMPARE(result.out, expectedOutput);
}

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsSet("QMUSER_TEST_CHILD")) {
        HelperScenarios scenarios;
        return QTest::qExec(&scenarios, argc, argv);
    }
    TestQmUserHelper test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_qmuserhelper.moc"
