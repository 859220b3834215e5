#pragma once

class QGroupBox;

namespace emlo {
class TDataModule;

// Fills the main window's three page group boxes with the pages, bound to
// the data module's tables. The pages belong to their group boxes; the data
// module must outlive them. Call before the tables are opened or after: the
// controls show whatever their tables hold once they open. A codes or
// emissions page that is hidden now is built when it is first shown.
void InstallEntryPages(TDataModule& dm, QGroupBox* gbAttr, QGroupBox* gbCode, QGroupBox* gbData);

}  // namespace emlo
