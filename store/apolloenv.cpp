#include "apolloenv.h"

#include "engine.h"

namespace emlo {

namespace {
TApolloEnv* g_current = nullptr;
}

TApolloEnv::TApolloEnv()
{
    g_current = this;
}

TApolloEnv::~TApolloEnv()
{
    if (g_current == this)
        g_current = nullptr;
}

TApolloEnv* TApolloEnv::Current()
{
    return g_current;
}

void TApolloEnv::setDeleted(bool on)
{
    m_deleted = on;
    // The setting reaches the engine at once (loading it on first need), so
    // that deleted records are hidden before the first table opens.
    if (AppliesToLocal() && ApolloEngine::Load())
        ApolloEngine::Api().sx_SetDeleted(on ? 1 : 0);
}

void TApolloEnv::Apply() const
{
    if (!ApolloEngine::Load())
        return;
    const SdeApi& sx = ApolloEngine::Api();
    sx.sx_SetEpoch(m_epoch);
    sx.sx_SetDeleted(m_deleted ? 1 : 0);
    sx.sx_SetCentury(m_century ? 1 : 0);
    sx.sx_SetMemoBlockSize(m_memoBlockSize);
    sx.sx_SetDateFormat(m_dateFormat);
    sx.sx_SetSoftSeek(m_softSeek ? 1 : 0);
    sx.sx_SetExact(m_exact ? 1 : 0);
}

}  // namespace emlo
