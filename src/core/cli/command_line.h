#pragma once

#include <functional>
#include <optional>

// Reads the program's command line before anything else starts, so that
// --help and --version work without a display and without settings. Prints
// what was asked for and returns the exit status when the program is to end
// at once (0 for help and version, 2 for a wrong option); returns nothing
// when the program is to start. Qt's own options (-platform, -display,
// -style and the like) are let through for the application object. Before
// it prints, `installTranslations` puts the user's language in place, with
// an application object of its own (the program ends after it).
std::optional<int> handleCommandLine(int argc, char *argv[], const std::function<void()> &installTranslations = {});
