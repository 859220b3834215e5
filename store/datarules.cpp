#include "datarules.h"

#include "apollotable.h"
#include "datamodule.h"
#include "errors.h"

namespace emlo {

void tblDataNewRecord(TApolloTable& tblData)
{
    tblData.FieldByName(QStringLiteral("CONTID"))->setAsInteger(1);
}

void tblDataFACTValidate(TField& sender)
{
    TField* contId = sender.DataSet()->FieldByName(QStringLiteral("CONTID"));
    if (contId->IsNull())
        contId->setAsInteger(1);
}

void tblDataBeforePost(TApolloTable& tblData)
{
    if (tblData.FieldByName(QStringLiteral("CONTID"))->IsNull())
        Abort();
}

void InstallEmissionRules(TApolloTable& tblData)
{
    tblData.OnNewRecord.add(tblDataNewRecord);
    tblData.BeforePost.add(tblDataBeforePost);
    for (const char* name : {"POTEN", "FACT"}) {
        if (TField* field = tblData.FindField(QLatin1String(name)))
            field->OnValidate.add(tblDataFACTValidate);
    }
}

void InstallDataRules(TDataModule& dm)
{
    InstallEmissionRules(*dm.tblData);
    TApolloTable& attr = *dm.tblAttr;
    attr.AfterEdit.add([&dm](TApolloTable&) { dm.AttrModified = true; });
    attr.AfterInsert.add([&dm](TApolloTable&) { dm.AttrModified = true; });
    attr.AfterPost.add([&dm](TApolloTable&) { dm.AttrModified = false; });
}

}  // namespace emlo
