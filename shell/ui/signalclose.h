#pragma once

class QWidget;

namespace emlo {

// Closes a window when the system asks the program to end (SIGTERM at logout or
// shutdown, SIGHUP, SIGINT), as its close box would: the close handlers run, so
// a pending edit is posted and the settings are written. Call once, with the
// main window, after the application object exists.
void closeOnTerminationSignals(QWidget* window);

}  // namespace emlo
