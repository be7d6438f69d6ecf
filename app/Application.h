#pragma once

#include <QStringList>

#include <string>

namespace telvo {

// The motion file named on the command line. The shell has already taken the quotes off,
// so the first argument is the whole name; further arguments are ignored.
struct CommandLineFile {
    std::string path;    // what the window reads at creation; empty when none
    std::string refused; // a name too long for the 259-character path buffers
};

// arguments: the program's arguments without its own name (Qt's options already removed).
CommandLineFile ParseCommandLine(const QStringList& arguments);

// Starts the program: settings folder, command line, the main window, the signal relay and
// the event loop. Returns the process's exit code.
int RunApplication(int& argc, char** argv);

} // namespace telvo
