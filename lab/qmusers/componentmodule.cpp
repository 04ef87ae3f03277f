#include "componentmodule.h"

#include <atomic>

namespace {
std::atomic<long> g_count{0};
std::atomic<bool> g_pinned{false};
} // namespace

void ComponentModule::Lock()
{
    ++g_count;
}

void ComponentModule::Unlock()
{
    --g_count;
}

bool ComponentModule::CanUnload()
{
    return g_count.load() == 0 && !g_pinned.load();
}

void ComponentModule::PinForever()
{
    g_pinned = true;
}
