// Placeholder bodies: every function fails softly until the engine is filled in.
#include "sde.h"

extern "C" {
SDEAPI const char* sx_Version(void) { return ""; }
SDEAPI void sx_FinalizeSession(void) {}
SDEAPI void sx_SetStringType(short /*type*/) {}
SDEAPI short sx_ErrorLevel(short /*level*/) { return 0; }
SDEAPI void sx_SetDeleted(short /*on*/) {}
SDEAPI void sx_SetExact(short /*on*/) {}
SDEAPI void sx_SetSoftSeek(short /*on*/) {}
SDEAPI void sx_SetEpoch(short /*year*/) {}
SDEAPI void sx_SetCentury(short /*on*/) {}
SDEAPI void sx_SetDateFormat(short /*fmt*/) {}
SDEAPI void sx_SetMemoBlockSize(short /*size*/) {}
SDEAPI void sx_SetTurboRead(short /*on*/) {}
SDEAPI void sx_SetTranslate(short /*on*/) {}
SDEAPI long sx_SysProp(short /*prop*/, void* /*value*/) { return 0; }
SDEAPI const char* sx_LastError(void) { return ""; }
SDEAPI short sx_Use(const char* /*path*/, const char* /*alias*/, short /*openMode*/, short /*tableType*/) { return 0; }
SDEAPI void sx_Close(void) {}
SDEAPI void sx_CloseAll(void) {}
SDEAPI short sx_Select(short /*workArea*/) { return 0; }
SDEAPI short sx_WorkArea(const char* /*alias*/) { return 0; }
SDEAPI const char* sx_Alias(short /*workArea*/) { return ""; }
SDEAPI short sx_OpenMode(void) { return 0; }
SDEAPI short sx_FieldCount(void) { return 0; }
SDEAPI short sx_RecSize(void) { return 0; }
SDEAPI const char* sx_FieldName(short /*fieldNum*/) { return ""; }
SDEAPI short sx_FieldNum(const char* /*fieldName*/) { return 0; }
SDEAPI const char* sx_FieldType(const char* /*fieldName*/) { return ""; }
SDEAPI short sx_FieldOffset(const char* /*fieldName*/) { return 0; }
SDEAPI short sx_FieldWidth(const char* /*fieldName*/) { return 0; }
SDEAPI short sx_FieldDecimals(const char* /*fieldName*/) { return 0; }
SDEAPI long sx_RecCount(void) { return 0; }
SDEAPI long sx_RecNo(void) { return 0; }
SDEAPI void sx_GoTop(void) {}
SDEAPI void sx_GoBottom(void) {}
SDEAPI void sx_Go(long /*recNo*/) {}
SDEAPI void sx_Skip(long /*count*/) {}
SDEAPI short sx_Eof(void) { return 0; }
SDEAPI short sx_Bof(void) { return 0; }
SDEAPI void sx_GetRecord(char* /*buffer*/) {}
SDEAPI void sx_PutRecord(const char* /*buffer*/) {}
SDEAPI void sx_AppendBlank(void) {}
SDEAPI void sx_Append(void) {}
SDEAPI void sx_Delete(void) {}
SDEAPI void sx_Recall(void) {}
SDEAPI short sx_Deleted(void) { return 0; }
SDEAPI void sx_Commit(void) {}
SDEAPI const char* sx_GetString(const char* /*fieldName*/) { return ""; }
SDEAPI const char* sx_GetTrimString(const char* /*fieldName*/) { return ""; }
SDEAPI double sx_GetDouble(const char* /*fieldName*/) { return 0; }
SDEAPI short sx_GetInteger(const char* /*fieldName*/) { return 0; }
SDEAPI long sx_GetLong(const char* /*fieldName*/) { return 0; }
SDEAPI short sx_GetLogical(const char* /*fieldName*/) { return 0; }
SDEAPI void sx_Replace(const char* /*fieldName*/, short /*type*/, const void* /*value*/) {}
SDEAPI short sx_Rlock(long /*recNo*/) { return 0; }
SDEAPI void sx_Unlock(long /*recNo*/) {}
SDEAPI short sx_Flock(void) { return 0; }
SDEAPI short sx_Locked(long /*recNo*/) { return 0; }
SDEAPI short sx_LockCount(void) { return 0; }
SDEAPI void sx_SetLockTimeout(short /*seconds*/) {}
SDEAPI short sx_Index(const char* /*fileName*/, const char* /*keyExpr*/, short /*option*/, short /*descending*/, const char* /*condition*/) { return 0; }
SDEAPI short sx_IndexOpen(const char* /*path*/) { return 0; }
SDEAPI short sx_SetOrder(short /*indexHandle*/) { return 0; }
SDEAPI short sx_IndexOrd(void) { return 0; }
SDEAPI void sx_IndexClose(void) {}
SDEAPI void sx_CloseIndexes(void) {}
SDEAPI const char* sx_IndexName(short /*indexHandle*/) { return ""; }
SDEAPI const char* sx_IndexKey(void) { return ""; }
SDEAPI const char* sx_IndexCondition(void) { return ""; }
SDEAPI short sx_Reindex(void) { return 0; }
SDEAPI short sx_Seek(const char* /*key*/) { return 0; }
SDEAPI short sx_Found(void) { return 0; }
SDEAPI short sx_EvalTest(const char* /*expr*/) { return 0; }
SDEAPI short sx_EvalLogical(const char* /*expr*/) { return 0; }
SDEAPI double sx_EvalNumeric(const char* /*expr*/) { return 0; }
SDEAPI const char* sx_EvalString(const char* /*expr*/) { return ""; }
SDEAPI short sx_Query(const char* /*expr*/) { return 0; }
SDEAPI short sx_QueryTest(const char* /*expr*/) { return 0; }
SDEAPI long sx_QueryRecCount(void) { return 0; }
SDEAPI const char* sx_DBFilter(void) { return ""; }
SDEAPI short sx_CreateNew(const char* /*path*/, const char* /*alias*/, short /*tableType*/, short /*fieldCount*/) { return 0; }
SDEAPI void sx_CreateField(const char* /*name*/, const char* /*type*/, short /*width*/, short /*decimals*/) {}
SDEAPI short sx_CreateExec(void) { return 0; }
SDEAPI short sx_AppendFrom(const char* /*sourcePath*/, short /*sourceType*/, const char* /*condition*/) { return 0; }
SDEAPI long sx_BaseDate(void) { return 0; }
SDEAPI const char* sx_BaseName(void) { return ""; }
SDEAPI short sx_BlobToFile(const char* /*fieldName*/, const char* /*fileName*/) { return 0; }
SDEAPI short sx_CopyFile(const char* /*toPath*/) { return 0; }
SDEAPI short sx_CopyFileText(const char* /*toPath*/, short /*textType*/) { return 0; }
SDEAPI short sx_CopyStructure(const char* /*toPath*/, const char* /*alias*/) { return 0; }
SDEAPI short sx_CopyStructureExtended(const char* /*toPath*/) { return 0; }
SDEAPI long sx_Count(void) { return 0; }
SDEAPI short sx_CreateFrom(const char* /*path*/, const char* /*alias*/, const char* /*structPath*/, short /*tableType*/) { return 0; }
SDEAPI short sx_DbfDecrypt(void) { return 0; }
SDEAPI short sx_DbfEncrypt(void) { return 0; }
SDEAPI short sx_DBRlockList(long* /*list*/) { return 0; }
SDEAPI char* sx_Decrypt(const char* /*buffer*/, const char* /*password*/, short /*length*/) { return nullptr; }
SDEAPI const char* sx_Descend(const char* /*key*/) { return ""; }
SDEAPI short sx_Empty(const char* /*fieldName*/) { return 0; }
SDEAPI char* sx_Encrypt(const char* /*buffer*/, const char* /*password*/, short /*length*/) { return nullptr; }
SDEAPI short sx_FilterAlias(const char* /*alias*/, const char* /*fieldName*/) { return 0; }
SDEAPI short sx_FilterDlg(void* /*window*/, const char* /*expr*/, const char* /*caption*/, short /*flags*/) { return 0; }
SDEAPI void* sx_GetBlob(const char* /*fieldName*/, void* /*buffer*/) { return nullptr; }
SDEAPI long sx_GetBlobLength(const char* /*fieldName*/) { return 0; }
SDEAPI const char* sx_GetByte(const char* /*fieldName*/) { return ""; }
SDEAPI long sx_GetDateJulian(const char* /*fieldName*/) { return 0; }
SDEAPI const char* sx_GetDateString(const char* /*fieldName*/) { return ""; }
SDEAPI const char* sx_GetMemo(const char* /*fieldName*/, short /*lineWidth*/) { return ""; }
SDEAPI short sx_GetQueryBit(long /*recNo*/) { return 0; }
SDEAPI const char* sx_GetScope(short /*which*/) { return ""; }
SDEAPI short sx_IndexFlip(void) { return 0; }
SDEAPI const char* sx_IndexKeyField(void) { return ""; }
SDEAPI short sx_IndexTag(const char* /*fileName*/, const char* /*tagName*/, const char* /*keyExpr*/, short /*option*/, short /*descending*/, const char* /*condition*/) { return 0; }
SDEAPI short sx_IndexType(void) { return 0; }
SDEAPI short sx_IsEncrypted(short /*which*/) { return 0; }
SDEAPI short sx_KeyAdd(const char* /*tagName*/) { return 0; }
SDEAPI const char* sx_KeyData(void) { return ""; }
SDEAPI short sx_KeyDrop(const char* /*tagName*/) { return 0; }
SDEAPI short sx_Locate(const char* /*expr*/, short /*direction*/, short /*continueSearch*/) { return 0; }
SDEAPI void sx_MemDealloc(void* /*p*/) {}
SDEAPI double sx_OrderPosGet(void) { return 0; }
SDEAPI void sx_OrderPosSet(double /*position*/) {}
SDEAPI long sx_OrderRecNo(void) { return 0; }
SDEAPI void sx_Pack(void) {}
SDEAPI void sx_PutBlob(const char* /*fieldName*/, const void* /*data*/, long /*length*/) {}
SDEAPI void sx_QuerySetExact(short /*on*/) {}
SDEAPI short sx_RYOFilterActivate(short /*handle*/, short /*mode*/) { return 0; }
SDEAPI short sx_RYOFilterCopy(void) { return 0; }
SDEAPI short sx_RYOFilterCreate(void) { return 0; }
SDEAPI short sx_RYOFilterDestroy(short /*handle*/) { return 0; }
SDEAPI short sx_RYOFilterGetBit(short /*handle*/, long /*recNo*/) { return 0; }
SDEAPI short sx_RYOFilterRestore(short /*handle*/) { return 0; }
SDEAPI short sx_RYOFilterSave(void) { return 0; }
SDEAPI short sx_RYOFilterSetBit(short /*handle*/, long /*recNo*/, short /*value*/) { return 0; }
SDEAPI short sx_RYOKeyAdd(const char* /*tagName*/, const char* /*key*/) { return 0; }
SDEAPI short sx_RYOKeyDrop(const char* /*tagName*/) { return 0; }
SDEAPI short sx_SeekBin(const char* /*key*/, short /*length*/) { return 0; }
SDEAPI short sx_SetCollationRule(short /*rule*/) { return 0; }
SDEAPI void sx_SetErrorFunc(void* /*func*/, long /*userData*/) {}
SDEAPI void sx_SetFilter(const char* /*expr*/) {}
SDEAPI void sx_SetGaugeFunc(void* /*func*/) {}
SDEAPI void sx_SetGaugeHook(void* /*window*/) {}
SDEAPI void sx_SetPassword(const char* /*password*/) {}
SDEAPI short sx_SetQueryBit(long /*recNo*/, short /*value*/) { return 0; }
SDEAPI short sx_SetRelation(short /*childArea*/, const char* /*keyExpr*/) { return 0; }
SDEAPI short sx_SetScope(const char* /*low*/, const char* /*high*/) { return 0; }
SDEAPI void sx_SetUDFPath(const char* /*path*/) {}
SDEAPI const char* sx_GetUDFPath(void) { return ""; }
SDEAPI short sx_TagArea(const char* /*tagName*/) { return 0; }
SDEAPI short sx_TagDelete(const char* /*tagName*/) { return 0; }
SDEAPI const char* sx_TagName(short /*tagArea*/) { return ""; }
SDEAPI void sx_Zap(void) {}
}
