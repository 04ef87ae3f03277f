#ifndef HELPERSCENARIOS_H
#define HELPERSCENARIOS_H

#include <QObject>

// The library's side of each case, run inside a copy of the test executable whose
// directory holds the scripted test component (or a broken file, or nothing). One process
// per function, so each starts with no library state.
class HelperScenarios : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void withoutComponent(); // run with no, a broken or an entry-less component
    void initCallSequence();
    void sinkAnswersOnlyItsInterfaces();
    void initVersionUtf8();
    void createFails_data();
    void createFails();
    void noConnectionPointContainer();
    void adviseFailure();
    void initFailureStoresNoCallbacks();
    void nullCallbacks();
    void eventsFromOtherThread();
    void tenSlotsInOrder();
    void callbacksAreCopied();
    void eventsDuringInitDropped();
    void loginPassesArguments();
    void loginFailure();
    void logoutPassesArguments();
    void gettersConvert();
    void nullBstrGivesEmptyString();
    void failedGettersLeaveOutput();
    void userInfoFailures();
    void nullOutPointers();
    void isLoginValues();
    void uninitSequence();
    void uninitFromInsideEvent();
    void secondInitStartsOver();
};

#endif // HELPERSCENARIOS_H
