#include "entrypages.h"

#include "attrpage.h"
#include "codespage.h"
#include "datapage.h"

namespace emlo {

EntryPages InstallEntryPages(TDataModule& dm, QGroupBox* gbAttr, QGroupBox* gbCode, QGroupBox* gbData)
{
    EntryPages pages;
    pages.Attr = new AttrPage(dm, gbAttr);
    pages.Codes = new CodesPage(dm, gbCode);
    pages.Data = new DataPage(dm, gbData);
    return pages;
}

}  // namespace emlo
