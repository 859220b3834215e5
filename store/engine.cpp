#include "engine.h"

#include <dlfcn.h>

#include <cstdio>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QMetaObject>
#include <QStringList>

#include "errors.h"

namespace emlo {

namespace {

struct EngineState {
    void* handle = nullptr;
    bool loaded = false;
    bool failed = false;
    SdeApi api;
    QString fileName = QStringLiteral("libsde50.so");
    ApolloEngine::LoadFailureHandler handler;
};

EngineState& state()
{
    static EngineState s;
    return s;
}

void defaultFailureHandler(const QString& message)
{
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (QCoreApplication::instance()) {
        // The end of the program is requested, not forced: it happens when
        // control returns to the event loop.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::exit(1); }, Qt::QueuedConnection);
    }
}

QStringList candidatePaths(const QString& fileName)
{
    if (fileName.contains(u'/'))
        return {fileName};
    QStringList paths;
    const QString exe = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    if (!exe.isEmpty())
        paths << QFileInfo(exe).absolutePath() + u'/' + fileName;
    paths << fileName;  // the usual search path
    return paths;
}

bool resolveAll(void* handle, SdeApi& api)
{
    bool ok = true;
#define EMLO_SDE_RESOLVE(name)                                                                                         \
    if (ok) {                                                                                                          \
        api.name = reinterpret_cast<decltype(api.name)>(dlsym(handle, #name));                                         \
        ok = api.name != nullptr;                                                                                      \
    }
    EMLO_SDE_FUNCTIONS(EMLO_SDE_RESOLVE)
#undef EMLO_SDE_RESOLVE
    return ok;
}

}  // namespace

QString ApolloEngine::LoadFailureMessage()
{
    return QStringLiteral("Unable to load required Apollo DLL: SDE50.DLL");
}

bool ApolloEngine::Load()
{
    EngineState& s = state();
    if (s.loaded)
        return true;
    if (s.failed)
        return false;
    for (const QString& path : candidatePaths(s.fileName)) {
        s.handle = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
        if (s.handle)
            break;
    }
    QString message = LoadFailureMessage();
    if (s.handle && resolveAll(s.handle, s.api)) {
        // An older library has every name but not the behaviour the layer
        // relies on (outcome kinds, whole-record append): nothing else of it
        // is called.
        const long version = s.api.sx_InterfaceVersion();
        if (version >= kInterfaceVersion) {
            s.loaded = true;
            s.api.sx_SetStringType(1);
            return true;
        }
        message += QStringLiteral("\r\nБібліотека рушія таблиць застаріла: версія інтерфейсу %1, програмі потрібна %2.")
                       .arg(version)
                       .arg(kInterfaceVersion);
    }
    if (s.handle) {
        dlclose(s.handle);
        s.handle = nullptr;
    }
    s.api = SdeApi();
    s.failed = true;
    if (s.handler)
        s.handler(message);
    else
        defaultFailureHandler(message);
    return false;
}

bool ApolloEngine::Loaded()
{
    return state().loaded;
}

bool ApolloEngine::LoadFailed()
{
    return state().failed;
}

const SdeApi& ApolloEngine::Api()
{
    return state().api;
}

void ApolloEngine::setLoadFailureHandler(LoadFailureHandler handler)
{
    state().handler = std::move(handler);
}

void ApolloEngine::setLibraryFileName(const QString& fileName)
{
    state().fileName = fileName;
}

void ApolloEngine::Reset()
{
    EngineState& s = state();
    if (s.handle)
        dlclose(s.handle);
    s.handle = nullptr;
    s.loaded = false;
    s.failed = false;
    s.api = SdeApi();
}

const SdeApi& Sde()
{
    if (!ApolloEngine::Load())
        throw EApolloError(ApolloEngine::LoadFailureMessage());
    return ApolloEngine::Api();
}

}  // namespace emlo
