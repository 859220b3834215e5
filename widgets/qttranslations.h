#pragma once

class QCoreApplication;

namespace emlo {

// Loads Qt's own Ukrainian translations (qtbase_uk.qm from Qt's translations
// folder) into the application, whatever the user's locale: the program
// speaks Ukrainian, and so should the toolkit's dialogs, context menus and
// file-list headers. False when the file is missing; Qt's texts then stay
// English and nothing else changes.
bool installQtTranslations(QCoreApplication& app);

}  // namespace emlo
