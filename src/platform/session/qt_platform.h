#pragma once

// Process set-up that must happen before the QApplication exists. The
// embedded browser's needs (a shared GL context, no sandbox as root) are
// set up only when it will be shown: a GL context alone costs some 30 MB.
void prepareApplicationEnvironment(bool withWebBrowser);
