/* The xBase engine's C interface (libsde50.so).
 *
 * The table layer resolves these functions by name at run time, so every
 * signature here is part of the engine's binary interface: change it only
 * together with the layer.
 *
 * Conventions:
 *  - One process-wide current work area; every call that concerns a table acts
 *    on the work area chosen last by sx_Select (sx_Use and sx_CreateNew select
 *    the new area).
 *  - Texts are passed as NUL-terminated bytes in the table's code page
 *    (Windows-1251); the engine never translates them.
 *  - Returned `const char*` point into engine-owned storage valid until the next
 *    call of the same function.
 *  - Record numbers are physical, from 1. Field numbers are from 1.
 *  - Failures return 0 (or NULL / empty text); the text of the last failure is
 *    available from sx_LastError (our own addition).
 */
#ifndef EMLO_XBASE_SDE_H
#define EMLO_XBASE_SDE_H

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#define SDEAPI __declspec(dllexport)
#else
#define SDEAPI __attribute__((visibility("default")))
#endif

/* Table types */
#define SX_SDENTX 1
#define SX_SDEFOX 2
#define SX_SDENSX 3
#define SX_SDENSX_DBT 4

/* Open modes */
#define SX_READWRITE 0
#define SX_READONLY 1
#define SX_EXCLUSIVE 2

/* Expression types reported by sx_EvalTest */
#define SX_EVAL_INVALID 0
#define SX_EVAL_CHAR 1
#define SX_EVAL_NUMERIC 2
#define SX_EVAL_LOGICAL 3
#define SX_EVAL_DATE 4

/* ---- session and settings ---- */
SDEAPI const char* sx_Version(void);
SDEAPI void sx_FinalizeSession(void);           /* closes every table */
SDEAPI void sx_SetStringType(short type);       /* 1 = C strings */
SDEAPI short sx_ErrorLevel(short level);        /* returns the previous level */
SDEAPI void sx_SetDeleted(short on);            /* hide records marked deleted */
SDEAPI void sx_SetExact(short on);              /* exact string = */
SDEAPI void sx_SetSoftSeek(short on);
SDEAPI void sx_SetEpoch(short year);
SDEAPI void sx_SetCentury(short on);
SDEAPI void sx_SetDateFormat(short fmt);
SDEAPI void sx_SetMemoBlockSize(short size);
SDEAPI void sx_SetTurboRead(short on);
SDEAPI void sx_SetTranslate(short on);          /* OEM translation; ignored */
SDEAPI long sx_SysProp(short prop, void* value);
SDEAPI const char* sx_LastError(void);

/* ---- work areas ---- */
SDEAPI short sx_Use(const char* path, const char* alias, short openMode, short tableType);
SDEAPI void sx_Close(void);
SDEAPI void sx_CloseAll(void);
SDEAPI short sx_Select(short workArea);         /* returns the previous area */
SDEAPI short sx_WorkArea(const char* alias);    /* 0 when no table has that alias */
SDEAPI const char* sx_Alias(short workArea);    /* "" when the area is not in use; 0 = current */
SDEAPI short sx_OpenMode(void);

/* ---- structure ---- */
SDEAPI short sx_FieldCount(void);
SDEAPI short sx_RecSize(void);                  /* including the deletion-flag byte */
SDEAPI const char* sx_FieldName(short fieldNum);
SDEAPI short sx_FieldNum(const char* fieldName);
SDEAPI const char* sx_FieldType(const char* fieldName);   /* "C", "N", ... */
SDEAPI short sx_FieldOffset(const char* fieldName);       /* from 1 = first byte after the flag */
SDEAPI short sx_FieldWidth(const char* fieldName);
SDEAPI short sx_FieldDecimals(const char* fieldName);

/* ---- navigation (current order, query and deleted setting respected) ---- */
SDEAPI long sx_RecCount(void);                  /* physical record count */
SDEAPI long sx_RecNo(void);
SDEAPI void sx_GoTop(void);
SDEAPI void sx_GoBottom(void);
SDEAPI void sx_Go(long recNo);                  /* any physical record, visible or not */
SDEAPI void sx_Skip(long count);
SDEAPI short sx_Eof(void);
SDEAPI short sx_Bof(void);

/* ---- records ---- */
SDEAPI void sx_GetRecord(char* buffer);         /* copies sx_RecSize() bytes */
SDEAPI void sx_PutRecord(const char* buffer);   /* writes sx_RecSize() bytes, keeps indexes up to date */
SDEAPI void sx_AppendBlank(void);               /* new blank record at the end, made current */
SDEAPI void sx_Append(void);
SDEAPI void sx_Delete(void);
SDEAPI void sx_Recall(void);
SDEAPI short sx_Deleted(void);
SDEAPI void sx_Commit(void);
SDEAPI const char* sx_GetString(const char* fieldName);
SDEAPI const char* sx_GetTrimString(const char* fieldName);
SDEAPI double sx_GetDouble(const char* fieldName);
SDEAPI short sx_GetInteger(const char* fieldName);
SDEAPI long sx_GetLong(const char* fieldName);
SDEAPI short sx_GetLogical(const char* fieldName);
SDEAPI void sx_Replace(const char* fieldName, short type, const void* value);

/* ---- locks ---- */
SDEAPI short sx_Rlock(long recNo);
SDEAPI void sx_Unlock(long recNo);              /* 0 = every lock of the table */
SDEAPI short sx_Flock(void);
SDEAPI short sx_Locked(long recNo);
SDEAPI short sx_LockCount(void);
SDEAPI void sx_SetLockTimeout(short seconds);

/* ---- indexes ---- */
SDEAPI short sx_Index(const char* fileName, const char* keyExpr, short option,
                      short descending, const char* condition); /* returns the index handle */
SDEAPI short sx_IndexOpen(const char* path);    /* returns the index handle */
SDEAPI short sx_SetOrder(short indexHandle);    /* 0 = record order; returns the previous */
SDEAPI short sx_IndexOrd(void);
SDEAPI void sx_IndexClose(void);                /* closes the indexes of the current area */
SDEAPI void sx_CloseIndexes(void);
SDEAPI const char* sx_IndexName(short indexHandle);
SDEAPI const char* sx_IndexKey(void);
SDEAPI const char* sx_IndexCondition(void);
SDEAPI short sx_Reindex(void);
SDEAPI short sx_Seek(const char* key);          /* key bytes of the key's width */
SDEAPI short sx_Found(void);

/* ---- expressions and queries ---- */
SDEAPI short sx_EvalTest(const char* expr);     /* SX_EVAL_* */
SDEAPI short sx_EvalLogical(const char* expr);
SDEAPI double sx_EvalNumeric(const char* expr);
SDEAPI const char* sx_EvalString(const char* expr);
SDEAPI short sx_Query(const char* expr);        /* "" removes the query; returns nonzero on success */
SDEAPI short sx_QueryTest(const char* expr);    /* > 0: optimisable */
SDEAPI long sx_QueryRecCount(void);
SDEAPI const char* sx_DBFilter(void);           /* the current query text, "" when none */

/* ---- creation ---- */
SDEAPI short sx_CreateNew(const char* path, const char* alias, short tableType, short fieldCount);
SDEAPI void sx_CreateField(const char* name, const char* type, short width, short decimals);
SDEAPI short sx_CreateExec(void);

#ifdef __cplusplus
}
#endif
#endif
