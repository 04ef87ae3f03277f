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
    QTest::addColumn<QByteArray>("expectedOutput");

    const QByteArray silent;
    QTest::newRow("noStateCalls") << "none" << silent;
    QTest::newRow("missingComponent") << "none" << silent;
    QTest::newRow("garbageComponent")
        << "garbage" << QByteArray("qmuserhelp: load module failed \n");
    QTest::newRow("componentWithoutEntry") << "noentry" << silent;
    const char *withTestComponent[] = {"initCallSequence",
                                       "sinkAnswersOnlyItsInterfaces",
                                       "initVersionUtf8",
                                       "classObjectFailure",
                                       "classObjectNotExactlySOk",
                                       "createInstanceFailure",
                                       "noConnectionPointContainer",
                                       "adviseFailure",
                                       "initFailureStoresNoCallbacks",
                                       "nullCallbacks",
                                       "eventsFromOtherThread",
                                       "tenSlotsInOrder",
                                       "callbacksAreCopied",
                                       "eventsDuringInitDropped",
                                       "loginPassesArguments",
                                       "loginFailure",
                                       "logoutPassesArguments",
                                       "gettersConvert",
                                       "nullBstrGivesEmptyString",
                                       "failedGettersLeaveOutput",
                                       "userInfoFailures",
                                       "nullOutPointers",
                                       "isLoginValues",
                                       "uninitSequence",
                                       "uninitFromInsideEvent",
                                       "secondInitStartsOver"};
    for (const char *name : withTestComponent)
        QTest::newRow(name) << "test" << silent;
}

void TestQmUserHelper::scenario()
{
    QFETCH(QString, component);
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

    AppDirRunner::Result result = app.run(QString::fromLatin1(QTest::currentDataTag()));
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
