#pragma once

namespace emlo {

// The rules of the work tables that hold for every writer of them: the
// window's pages, emlo-cli, the tools and the tests alike. TDataModule
// installs them on its own tables when it is made.

class TApolloTable;
class TDataModule;
class TField;

// A new emission record starts with pollutant 1.
void tblDataNewRecord(TApolloTable& tblData);
// An amount entered into a record without pollutant gives it pollutant 1.
// Installed as OnValidate of both POTEN and FACT.
void tblDataFACTValidate(TField& sender);
// A record without pollutant is never written: the post is cancelled with
// the silent abort and the record stays in editing.
void tblDataBeforePost(TApolloTable& tblData);

// Installs the three rules above on an emission table (OnNewRecord,
// BeforePost, OnValidate of POTEN and FACT). The table's fields must be
// defined.
void InstallEmissionRules(TApolloTable& tblData);

// The emission rules on the module's tblData, and the listeners of tblAttr
// that keep AttrModified current: set by an edit or an insert, cleared by
// a post.
void InstallDataRules(TDataModule& dm);

}  // namespace emlo
