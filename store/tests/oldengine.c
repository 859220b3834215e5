/* A stand-in for an engine library of an older interface: every name the
 * layer resolves is there, but sx_InterfaceVersion reports 1. The layer must
 * refuse it and call nothing but sx_InterfaceVersion. Each other name is a
 * function that only counts its calls. */
int old_engine_calls = 0;

long sx_InterfaceVersion(void)
{
    return 1;
}

#define OLD_ENGINE_STUB(name)                                                                                          \
    void name(void);                                                                                                   \
    void name(void)                                                                                                    \
    {                                                                                                                  \
        ++old_engine_calls;                                                                                            \
    }

OLD_ENGINE_STUB(sx_SetStringType)
OLD_ENGINE_STUB(sx_ErrorLevel)
OLD_ENGINE_STUB(sx_SetDeleted)
OLD_ENGINE_STUB(sx_SetExact)
OLD_ENGINE_STUB(sx_SetSoftSeek)
OLD_ENGINE_STUB(sx_SetEpoch)
OLD_ENGINE_STUB(sx_SetCentury)
OLD_ENGINE_STUB(sx_SetDateFormat)
OLD_ENGINE_STUB(sx_SetMemoBlockSize)
OLD_ENGINE_STUB(sx_SetTurboRead)
OLD_ENGINE_STUB(sx_SetTranslate)
OLD_ENGINE_STUB(sx_Use)
OLD_ENGINE_STUB(sx_Close)
OLD_ENGINE_STUB(sx_Select)
OLD_ENGINE_STUB(sx_WorkArea)
OLD_ENGINE_STUB(sx_Alias)
OLD_ENGINE_STUB(sx_FieldCount)
OLD_ENGINE_STUB(sx_RecSize)
OLD_ENGINE_STUB(sx_FieldName)
OLD_ENGINE_STUB(sx_FieldType)
OLD_ENGINE_STUB(sx_FieldOffset)
OLD_ENGINE_STUB(sx_FieldWidth)
OLD_ENGINE_STUB(sx_FieldDecimals)
OLD_ENGINE_STUB(sx_RecCount)
OLD_ENGINE_STUB(sx_RecNo)
OLD_ENGINE_STUB(sx_GoTop)
OLD_ENGINE_STUB(sx_GoBottom)
OLD_ENGINE_STUB(sx_Go)
OLD_ENGINE_STUB(sx_Skip)
OLD_ENGINE_STUB(sx_Eof)
OLD_ENGINE_STUB(sx_Bof)
OLD_ENGINE_STUB(sx_SkipRecord)
OLD_ENGINE_STUB(sx_GetRecord)
OLD_ENGINE_STUB(sx_PutRecord)
OLD_ENGINE_STUB(sx_AppendBlank)
OLD_ENGINE_STUB(sx_Delete)
OLD_ENGINE_STUB(sx_Deleted)
OLD_ENGINE_STUB(sx_Rlock)
OLD_ENGINE_STUB(sx_Unlock)
OLD_ENGINE_STUB(sx_Flock)
OLD_ENGINE_STUB(sx_Index)
OLD_ENGINE_STUB(sx_IndexOpen)
OLD_ENGINE_STUB(sx_SetOrder)
OLD_ENGINE_STUB(sx_IndexClose)
OLD_ENGINE_STUB(sx_IndexCondition)
OLD_ENGINE_STUB(sx_IndexKey)
OLD_ENGINE_STUB(sx_Seek)
OLD_ENGINE_STUB(sx_Found)
OLD_ENGINE_STUB(sx_EvalTest)
OLD_ENGINE_STUB(sx_EvalLogical)
OLD_ENGINE_STUB(sx_Query)
OLD_ENGINE_STUB(sx_QueryTest)
OLD_ENGINE_STUB(sx_QueryRecCount)
OLD_ENGINE_STUB(sx_DBFilter)
OLD_ENGINE_STUB(sx_CreateNew)
OLD_ENGINE_STUB(sx_CreateField)
OLD_ENGINE_STUB(sx_CreateExec)
OLD_ENGINE_STUB(sx_ErrorKind)
OLD_ENGINE_STUB(sx_LastError)
OLD_ENGINE_STUB(sx_AppendRecord)
OLD_ENGINE_STUB(sx_Commit)
OLD_ENGINE_STUB(sx_SysProp)
