#pragma once

#include <QtGlobal>

class QWidget;
struct WindowPositions;

// What the settings dialog needs of the window it is opened from. The bar
// hands itself over as this when it makes the dialog, so that the dialog's
// code never includes the bar's.
class SettingsHost
{
public:
    // The window the dialog opens over, in the middle of its screen; none
    // for the primary screen.
    virtual QWidget *hostWindow() = 0;
    // Where the windows are now, which a save stores with the settings.
    virtual WindowPositions windowPositions() = 0;
    // After a save in web-control mode: the windows load the pages now set.
    virtual void reloadPages() = 0;

protected:
    SettingsHost() = default;
    ~SettingsHost() = default;
    Q_DISABLE_COPY_MOVE(SettingsHost)
};
