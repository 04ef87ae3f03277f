#ifndef USERCOMPONENTHOST_H
#define USERCOMPONENTHOST_H

#include "qmuserhelper.h"
#include "qmuserscomponent.h"

#include <atomic>

class CQMUserEvents;

// The library's one state per process. Every field starts empty.
struct UserComponentHost
{
    HMODULE module = nullptr;                       // from CoLoadLibrary
    DllGetClassObjectFunc getClassObject = nullptr; // the component's DllGetClassObject
    BSTR modulePath = nullptr;                      // full path as resolved; owned
    IVantorUser *user = nullptr;                    // owned reference
    CQMUserEvents *sink = nullptr;                  // held by the connection point only
    DWORD adviseCookie = 0;
    UserEventCallbacks callbacks = {}; // copy of the caller's table
};

// Null while no state exists. Atomic because the component fires events from its own thread.
extern std::atomic<UserComponentHost *> g_userComponentHost;

#endif // USERCOMPONENTHOST_H
