#ifndef KELVORA_PAGES_H
#define KELVORA_PAGES_H

// Page indexes of the main window's four stacks, in the order of the form; the buttons of each
// navigation group carry the same numbers as their ids.

// mainStackedWidget, chosen by the top bar.
namespace MainPage {
enum : int
{
    Cloud = 0,
    Task = 1,
    Sync = 2, // "thirdparty": the cloud-disk web pane
    Settings = 3
};
}

// fileStackedWidget, chosen by the cloud page's left column.
namespace CloudPage {
enum : int
{
    Recent = 0,
    Explorer = 1,
    Pictures = 2,
    Videos = 3,
    Documents = 4
};
}

// taskStackedWidget, chosen by the transfer page's left column.
namespace TaskPage {
enum : int
{
    Upload = 0,
    Download = 1,
    Sync = 2
};
}

// settingStackedWidget, chosen by the settings page's left column.
namespace SettingsPage {
enum : int
{
    SavePath = 0,
    BoundDevices = 1,
    LanDevices = 2
};
}

#endif
