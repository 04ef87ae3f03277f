#ifndef COMPONENTMODULE_H
#define COMPONENTMODULE_H

// Counts what keeps the component's code in use (objects, server locks, worker threads), so
// that DllCanUnloadNow only agrees when nothing could still run inside the module.
class ComponentModule
{
public:
    static void Lock();
    static void Unlock();
    static bool CanUnload();
    // A worker that could not be joined may outlive every object: never unload after that.
    static void PinForever();
};

#endif // COMPONENTMODULE_H
