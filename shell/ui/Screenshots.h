#pragma once

class QString;
class TfrmMain;

// For the documentation: once the event loop runs, shows each page of the
// main window (and the program's own dialogs) in turn, saves a picture of
// each into `folder` and ends the program without writing the settings.
void scheduleScreenshots(TfrmMain& window, const QString& folder);
