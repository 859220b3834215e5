#pragma once

// The binding to the xBase engine library (libsde50.so), loaded at run time
// on first need: first from the folder of the running executable, then from
// the usual library search path. Every engine function the table layer calls
// is resolved by name; a missing library or function, or a library older
// than the interface the layer needs, is a failed load, reported once through
// the load-failure handler with "Unable to load required Apollo DLL:
// SDE50.DLL" (for an old library followed by the versions found and needed),
// after which no other engine function is called.
// Only the table layer (TApolloTable, TApolloEnv) uses this.

#include <functional>

#include <QString>

#include "xbase/include/sde.h"

namespace emlo {

// The engine functions the layer calls, each resolved by name at load.
// clang-format off
#define EMLO_SDE_FUNCTIONS(X) \
    X(sx_SetStringType) \
    X(sx_ErrorLevel) \
    X(sx_SetDeleted) \
    X(sx_SetExact) \
    X(sx_SetSoftSeek) \
    X(sx_SetEpoch) \
    X(sx_SetCentury) \
    X(sx_SetDateFormat) \
    X(sx_SetMemoBlockSize) \
    X(sx_SetTurboRead) \
    X(sx_SetTranslate) \
    X(sx_Use) \
    X(sx_Close) \
    X(sx_Select) \
    X(sx_WorkArea) \
    X(sx_Alias) \
    X(sx_FieldCount) \
    X(sx_RecSize) \
    X(sx_FieldName) \
    X(sx_FieldType) \
    X(sx_FieldOffset) \
    X(sx_FieldWidth) \
    X(sx_FieldDecimals) \
    X(sx_RecCount) \
    X(sx_RecNo) \
    X(sx_GoTop) \
    X(sx_GoBottom) \
    X(sx_Go) \
    X(sx_Skip) \
    X(sx_Eof) \
    X(sx_Bof) \
    X(sx_SkipRecord) \
    X(sx_GetRecord) \
    X(sx_PutRecord) \
    X(sx_AppendBlank) \
    X(sx_Delete) \
    X(sx_Deleted) \
    X(sx_Rlock) \
    X(sx_Unlock) \
    X(sx_Flock) \
    X(sx_Index) \
    X(sx_IndexOpen) \
    X(sx_SetOrder) \
    X(sx_IndexClose) \
    X(sx_IndexCondition) \
    X(sx_IndexKey) \
    X(sx_Seek) \
    X(sx_Found) \
    X(sx_EvalTest) \
    X(sx_EvalLogical) \
    X(sx_Query) \
    X(sx_QueryTest) \
    X(sx_QueryRecCount) \
    X(sx_DBFilter) \
    X(sx_CreateNew) \
    X(sx_CreateField) \
    X(sx_CreateExec) \
    X(sx_InterfaceVersion) \
    X(sx_ErrorKind) \
    X(sx_LastError) \
    X(sx_AppendRecord) \
    X(sx_Commit) \
    X(sx_SysProp)
// clang-format on

struct SdeApi {
#define EMLO_SDE_MEMBER(name) decltype(&::name) name = nullptr;
    EMLO_SDE_FUNCTIONS(EMLO_SDE_MEMBER)
#undef EMLO_SDE_MEMBER
};

class ApolloEngine {
public:
    // The engine interface version the layer is written for (sx_InterfaceVersion).
    static constexpr long kInterfaceVersion = 2;

    // The message of a failed load.
    static QString LoadFailureMessage();

    // Loads the library once; later calls return at once. True when loaded.
    // On failure the handler is called (once) and false is returned.
    static bool Load();
    static bool Loaded();
    static bool LoadFailed();
    // The resolved functions; requires Loaded().
    static const SdeApi& Api();

    // Shows the message and requests the end of the program. The default
    // writes the message to stderr and asks QCoreApplication to exit with
    // code 1 once its event loop runs. The window sets its own (error box).
    using LoadFailureHandler = std::function<void(const QString& message)>;
    static void setLoadFailureHandler(LoadFailureHandler handler);

    // File name (or path) of the library; default "libsde50.so". For tests.
    static void setLibraryFileName(const QString& fileName);
    // Forgets a load (or a failed load) so that the next Load() tries again.
    // For tests; tables must be closed.
    static void Reset();
};

// The engine's functions, loading the engine when needed; raises
// EApolloError with the load-failure message when it cannot be loaded.
const SdeApi& Sde();

}  // namespace emlo
