#pragma once

// Process set-up that must happen before the QApplication exists.
void PrepareApplicationEnvironment();
