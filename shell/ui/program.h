#pragma once

#include <functional>

#include <QString>

namespace emlo {

class TfrmMain;

// How a program built on the main window starts: the shipped program with
// the defaults, development tools (screenshots, the start-up benchmark) with
// their own hooks, all on the same road.
struct ProgramOptions {
    // The program file whose folder and settings file are used; empty: the
    // running executable.
    QString programFile;
    // Runs once the main window is shown (not after a fatal stop).
    std::function<void(TfrmMain&)> shown;
};

// Creates the application and the windows, runs the event loop and returns
// the exit code: the program entry.
int RunProgram(int& argc, char** argv, const ProgramOptions& options = {});

}  // namespace emlo
