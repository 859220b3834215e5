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
 *  - Failures return 0 (or NULL / empty text); the outcome of the last call is
 *    available from sx_ErrorKind and sx_LastError (our own additions).
 *  - No C++ exception leaves the library: a failure inside is reported as the
 *    call's outcome, and every lock the call took is released.
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

/* Outcome of the last call: SX_OK or one of the kinds below; the text is sx_LastError().
   Both are cleared at the start of every sx_* call. */
#define SX_OK 0
#define SX_ERR_NOT_FOUND 1 /* file, field or record missing */
#define SX_ERR_CORRUPT 2   /* malformed or truncated file, index not matching its table */
#define SX_ERR_IO 3        /* the medium failed a read or write */
#define SX_ERR_LOCKED 4    /* a lock was refused or timed out */
#define SX_ERR_BAD_VALUE 5 /* a value does not fit its field */
#define SX_ERR_BAD_EXPR 6  /* an expression cannot be compiled or is too large */
#define SX_ERR_DISK_FULL 7 /* no space left (ENOSPC, EDQUOT) */
#define SX_ERR_ACCESS 8    /* permission denied; read-only file, folder or medium */
#define SX_ERR_EXISTS 9    /* creation refused: the file already exists */
#define SX_ERR_OTHER 99

/* ---- session and settings ---- */
SDEAPI const char* sx_Version(void);
SDEAPI void sx_FinalizeSession(void);     /* closes every table */
SDEAPI void sx_SetStringType(short type); /* 1 = C strings */
SDEAPI short sx_ErrorLevel(short level);  /* returns the previous level */
SDEAPI void sx_SetDeleted(short on);      /* hide records marked deleted */
SDEAPI void sx_SetExact(short on);        /* exact string = */
SDEAPI void sx_SetSoftSeek(short on);
SDEAPI void sx_SetEpoch(short year);
SDEAPI void sx_SetCentury(short on);
SDEAPI void sx_SetDateFormat(short fmt);
SDEAPI void sx_SetMemoBlockSize(short size);
SDEAPI void sx_SetTurboRead(short on);
SDEAPI void sx_SetTranslate(short on); /* OEM translation; ignored */
SDEAPI long sx_SysProp(short prop, void* value);
SDEAPI const char* sx_LastError(void);
SDEAPI short sx_ErrorKind(void);
/* Version of this interface (2); the table layer refuses an engine older than it needs. */
SDEAPI long sx_InterfaceVersion(void);

/* ---- work areas ---- */
/* Refuses a file that is not a regular file (without blocking on a FIFO), and a table
   shorter than its header's record count (SX_ERR_CORRUPT, see SX_SP_MISSING_RECORDS). */
SDEAPI short sx_Use(const char* path, const char* alias, short openMode, short tableType);
SDEAPI void sx_Close(void);
SDEAPI void sx_CloseAll(void);
SDEAPI short sx_Select(short workArea);      /* returns the previous area */
SDEAPI short sx_WorkArea(const char* alias); /* 0 when no table has that alias */
SDEAPI const char* sx_Alias(short workArea); /* "" when the area is not in use; 0 = current */
SDEAPI short sx_OpenMode(void);

/* ---- structure ---- */
SDEAPI short sx_FieldCount(void);
SDEAPI short sx_RecSize(void); /* including the deletion-flag byte */
SDEAPI const char* sx_FieldName(short fieldNum);
SDEAPI short sx_FieldNum(const char* fieldName);
SDEAPI const char* sx_FieldType(const char* fieldName); /* "C", "N", ... */
SDEAPI short sx_FieldOffset(const char* fieldName);     /* from 1 = first byte after the flag */
SDEAPI short sx_FieldWidth(const char* fieldName);
SDEAPI short sx_FieldDecimals(const char* fieldName);

/* ---- navigation (current order, query and deleted setting respected) ---- */
SDEAPI long sx_RecCount(void); /* physical record count */
SDEAPI long sx_RecNo(void);
SDEAPI void sx_GoTop(void);
SDEAPI void sx_GoBottom(void);
SDEAPI void sx_Go(long recNo); /* any physical record, visible or not */
SDEAPI void sx_Skip(long count);
SDEAPI short sx_Eof(void);
SDEAPI short sx_Bof(void);
/* A scan's step in one call: selects workArea (as sx_Select), moves count records (as
   sx_Skip) and copies the record it lands on into buffer (as sx_GetRecord). Returns that
   record's number; 0 when the move ends at the end (count >= 0) or the beginning of the
   table (see sx_Eof, sx_Bof; buffer is left alone) or when the call fails (sx_ErrorKind). */
SDEAPI long sx_SkipRecord(short workArea, long count, char* buffer);

/* ---- records ---- */
SDEAPI void sx_GetRecord(char* buffer);       /* copies sx_RecSize() bytes */
SDEAPI void sx_PutRecord(const char* buffer); /* writes sx_RecSize() bytes, keeps indexes up to date */
SDEAPI void sx_AppendBlank(void);             /* new blank record at the end, made current */
/* Appends a whole record image of sx_RecSize() bytes; the record is counted only once it is
   whole on disk; indexes are updated; it becomes current. Returns its record number, 0 on failure. */
SDEAPI long sx_AppendRecord(const char* buffer);
SDEAPI void sx_Append(void);
SDEAPI void sx_Delete(void);
SDEAPI void sx_Recall(void);
SDEAPI short sx_Deleted(void);
SDEAPI void sx_Commit(void); /* data sync of the current table and its open indexes */
SDEAPI const char* sx_GetString(const char* fieldName);
SDEAPI const char* sx_GetTrimString(const char* fieldName);
SDEAPI double sx_GetDouble(const char* fieldName);
SDEAPI short sx_GetInteger(const char* fieldName);
SDEAPI long sx_GetLong(const char* fieldName);
SDEAPI short sx_GetLogical(const char* fieldName);
SDEAPI void sx_Replace(const char* fieldName, short type, const void* value);

/* ---- locks ---- */
SDEAPI short sx_Rlock(long recNo);
SDEAPI void sx_Unlock(long recNo); /* 0 = every lock of the table */
SDEAPI short sx_Flock(void);
SDEAPI short sx_Locked(long recNo);
SDEAPI short sx_LockCount(void);
SDEAPI void sx_SetLockTimeout(short seconds);

/* ---- indexes ---- */
SDEAPI short sx_Index(const char* fileName, const char* keyExpr, short option, short descending,
                      const char* condition); /* returns the index handle */
SDEAPI short sx_IndexOpen(const char* path);  /* returns the index handle */
SDEAPI short sx_SetOrder(short indexHandle);  /* 0 = record order; returns the previous */
SDEAPI short sx_IndexOrd(void);
SDEAPI void sx_IndexClose(void); /* closes the indexes of the current area */
SDEAPI void sx_CloseIndexes(void);
SDEAPI const char* sx_IndexName(short indexHandle);
SDEAPI const char* sx_IndexKey(void);
SDEAPI const char* sx_IndexCondition(void);
SDEAPI short sx_Reindex(void);
SDEAPI short sx_Seek(const char* key); /* key bytes of the key's width */
SDEAPI short sx_Found(void);

/* ---- expressions and queries ---- */
SDEAPI short sx_EvalTest(const char* expr); /* SX_EVAL_* */
SDEAPI short sx_EvalLogical(const char* expr);
SDEAPI double sx_EvalNumeric(const char* expr);
SDEAPI const char* sx_EvalString(const char* expr);
SDEAPI short sx_Query(const char* expr);     /* "" removes the query; returns nonzero on success */
SDEAPI short sx_QueryTest(const char* expr); /* > 0: optimisable */
SDEAPI long sx_QueryRecCount(void);
SDEAPI const char* sx_DBFilter(void); /* the current query text, "" when none */

/* ---- creation ---- */
SDEAPI short sx_CreateNew(const char* path, const char* alias, short tableType, short fieldCount);
SDEAPI void sx_CreateField(const char* name, const char* type, short width, short decimals);
/* Never replaces an existing file (nor a symbolic link, nor a file that exists but cannot
   be opened): fails with SX_ERR_EXISTS and leaves it alone. The new table is synced to
   disk together with its folder before it appears under its name. */
SDEAPI short sx_CreateExec(void);

/* ---- field types for sx_Replace ---- */
#define SX_R_INTEGER 1 /* value: const short*  */
#define SX_R_LONG 2    /* value: const long*   */
#define SX_R_DOUBLE 3  /* value: const double* */
#define SX_R_LOGICAL 4 /* value: const short* (nonzero = true) */
#define SX_R_CHAR 5    /* value: const char*, NUL-terminated */
#define SX_R_DATESTR 6 /* value: const char* "yyyymmdd" */

/* ---- system properties for sx_SysProp ---- */
#define SX_SP_DELETED_HIDDEN 1006 /* nonzero while records marked deleted are hidden */
/* Records the header counts but the file lacks, for the last sx_Use refused with SX_ERR_CORRUPT
   because the table is shorter than its header says (value: long*). */
#define SX_SP_MISSING_RECORDS 1007

/* ---- less common functions ----
 * Exported so that a loader resolving every name succeeds. Those marked
 * "not supported" set sx_LastError, change nothing and return 0 / NULL / "". */
SDEAPI short sx_AppendFrom(const char* sourcePath, short sourceType, const char* condition); /* not supported */
SDEAPI long sx_BaseDate(void);        /* Julian day number of 1 January 1 AD: 1721426 */
SDEAPI const char* sx_BaseName(void); /* file name of the table without folder and extension */
SDEAPI short sx_BlobToFile(const char* fieldName, const char* fileName); /* not supported */
SDEAPI short sx_CopyFile(const char* toPath);                            /* copies the table file; nonzero on success */
SDEAPI short sx_CopyFileText(const char* toPath, short textType);        /* not supported */
SDEAPI short sx_CopyStructure(const char* toPath, const char* alias);    /* empty table with the same fields */
SDEAPI short sx_CopyStructureExtended(const char* toPath);               /* not supported */
SDEAPI long sx_Count(void);                                              /* visible records in the current order */
SDEAPI short sx_CreateFrom(const char* path, const char* alias, const char* structPath,
                           short tableType); /* not supported */
SDEAPI short sx_DbfDecrypt(void);            /* not supported */
SDEAPI short sx_DbfEncrypt(void);            /* not supported */
SDEAPI short
sx_DBRlockList(long* list); /* fills list (room for sx_LockCount()) with locked records; returns the count */
/* The same with the room of list given: at most capacity numbers are written; returns the
   count of locked records (more than capacity: the list was cut, SX_ERR_OTHER is set). */
SDEAPI long sx_DBRlockListN(long* list, long capacity);
SDEAPI char* sx_Decrypt(const char* buffer, const char* password, short length); /* not supported */
SDEAPI const char* sx_Descend(const char* key); /* key bytes inverted (255 - b), for descending keys */
SDEAPI short sx_Empty(const char* fieldName);   /* nonzero when the field is all blanks */
SDEAPI char* sx_Encrypt(const char* buffer, const char* password, short length);             /* not supported */
SDEAPI short sx_FilterAlias(const char* alias, const char* fieldName);                       /* not supported */
SDEAPI short sx_FilterDlg(void* window, const char* expr, const char* caption, short flags); /* not supported */
SDEAPI void* sx_GetBlob(const char* fieldName, void* buffer);                                /* not supported */
SDEAPI long sx_GetBlobLength(const char* fieldName);                                         /* not supported */
SDEAPI const char* sx_GetByte(const char* fieldName);       /* first byte of the field as a one-character text */
SDEAPI long sx_GetDateJulian(const char* fieldName);        /* D field as a Julian day number; 0 when blank */
SDEAPI const char* sx_GetDateString(const char* fieldName); /* D field as "yyyymmdd" */
SDEAPI const char* sx_GetMemo(const char* fieldName, short lineWidth); /* not supported */
SDEAPI short sx_GetQueryBit(long recNo);     /* nonzero when the record satisfies the query (1 with no query) */
SDEAPI const char* sx_GetScope(short which); /* not supported */
SDEAPI short sx_IndexFlip(void);             /* not supported */
SDEAPI const char* sx_IndexKeyField(void);   /* the field of a plain field key, "" otherwise */
SDEAPI short sx_IndexTag(const char* fileName, const char* tagName, const char* keyExpr, short option, short descending,
                         const char* condition); /* not supported */
SDEAPI short sx_IndexType(void);                 /* 2 (IDX) when an order is active, 0 otherwise */
SDEAPI short sx_IsEncrypted(short which);        /* always 0 */
SDEAPI short sx_KeyAdd(const char* tagName);     /* not supported */
SDEAPI const char* sx_KeyData(void);             /* key bytes of the current record in the active order */
SDEAPI short sx_KeyDrop(const char* tagName);    /* not supported */
SDEAPI short sx_Locate(const char* expr, short direction, short continueSearch); /* record found: nonzero */
SDEAPI void sx_MemDealloc(void* p); /* frees memory the engine handed out; no-op here */
SDEAPI double sx_OrderPosGet(void); /* 0..1: position of the current record in the order */
SDEAPI void sx_OrderPosSet(double position);
SDEAPI long sx_OrderRecNo(void); /* 1-based position of the current record in the order */
SDEAPI void sx_Pack(void);       /* not supported: records marked deleted stay in the file */
SDEAPI void sx_PutBlob(const char* fieldName, const void* data, long length); /* not supported */
SDEAPI void sx_QuerySetExact(short on);                                       /* same as sx_SetExact */
SDEAPI short sx_RYOFilterActivate(short handle, short mode);                  /* not supported */
SDEAPI short sx_RYOFilterCopy(void);                                          /* not supported */
SDEAPI short sx_RYOFilterCreate(void);                                        /* not supported */
SDEAPI short sx_RYOFilterDestroy(short handle);                               /* not supported */
SDEAPI short sx_RYOFilterGetBit(short handle, long recNo);                    /* not supported */
SDEAPI short sx_RYOFilterRestore(short handle);                               /* not supported */
SDEAPI short sx_RYOFilterSave(void);                                          /* not supported */
SDEAPI short sx_RYOFilterSetBit(short handle, long recNo, short value);       /* not supported */
SDEAPI short sx_RYOKeyAdd(const char* tagName, const char* key);              /* not supported */
SDEAPI short sx_RYOKeyDrop(const char* tagName);                              /* not supported */
SDEAPI short sx_SeekBin(const char* key, short length);            /* sx_Seek with raw key bytes of the given length */
SDEAPI short sx_SetCollationRule(short rule);                      /* only byte order; returns the previous rule (0) */
SDEAPI void sx_SetErrorFunc(void* func, long userData);            /* ignored: errors go to sx_LastError */
SDEAPI void sx_SetFilter(const char* expr);                        /* same as sx_Query */
SDEAPI void sx_SetGaugeFunc(void* func);                           /* ignored */
SDEAPI void sx_SetGaugeHook(void* window);                         /* ignored */
SDEAPI void sx_SetPassword(const char* password);                  /* ignored */
SDEAPI short sx_SetQueryBit(long recNo, short value);              /* sets a record's query bit; 0 without a query */
SDEAPI short sx_SetRelation(short childArea, const char* keyExpr); /* not supported */
SDEAPI short sx_SetScope(const char* low, const char* high);       /* not supported */
SDEAPI void sx_SetUDFPath(const char* path);                       /* remembered only */
SDEAPI const char* sx_GetUDFPath(void);
SDEAPI short sx_TagArea(const char* tagName);   /* not supported */
SDEAPI short sx_TagDelete(const char* tagName); /* not supported */
SDEAPI const char* sx_TagName(short tagArea);   /* "" */
SDEAPI void sx_Zap(void);                       /* not supported */

#ifdef __cplusplus
}
#endif
#endif
