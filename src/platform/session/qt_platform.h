#pragma once

// Process set-up that must happen before the QApplication exists. The
// embedded browser's needs (a shared GL context, no sandbox as root) are
// set up only when it will be shown: a GL context alone costs some 30 MB.
void prepareApplicationEnvironment(bool withWebBrowser);

// Held while the QApplication is made. Qt aborts the process when it cannot
// open a display, after several lines of its own; instead the program ends
// with status 1 and one line that says what is wrong. Other messages of that
// moment are passed on once the application stands.
class ApplicationStart final
{
public:
    ApplicationStart();
    ~ApplicationStart();
    ApplicationStart(const ApplicationStart &) = delete;
    ApplicationStart &operator=(const ApplicationStart &) = delete;
};
