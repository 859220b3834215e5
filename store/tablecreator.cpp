#include "tablecreator.h"

#include <QFile>
#include <QFileInfo>

#include "engine.h"
#include "enginefailure.h"
#include "tablepath.h"

namespace emlo {

short TableCreator::begin(const QString& path, short tableType, short fieldCount)
{
    giveUp();
    m_lastErrorKind = 0;
    m_lastErrorText.clear();
    m_path = path;
    // The engine writes the file only at execute; a folder that is not
    // there fails here already, where the caller expects it.
    if (!QFileInfo(folderPart(path)).isDir()) {
        m_lastErrorKind = SX_ERR_NOT_FOUND;
        m_lastErrorText = QStringLiteral("Папку не знайдено: ") + folderPart(path);
        return 0;
    }
    const SdeApi& sx = ApolloEngine::Api();
    const QString alias = freeAlias(sx, path);
    const short area =
        sx.sx_CreateNew(QFile::encodeName(path).constData(), alias.toLatin1().constData(), tableType, fieldCount);
    if (area <= 0) {
        noteFailure();
        return 0;
    }
    m_area = area;
    return area;
}

void TableCreator::addField(const QString& name, const QString& type, short width, short decimals)
{
    const SdeApi& sx = ApolloEngine::Api();
    sx.sx_Select(m_area);
    sx.sx_CreateField(name.toLatin1().constData(), type.toLatin1().constData(), width, decimals);
}

short TableCreator::execute()
{
    const SdeApi& sx = ApolloEngine::Api();
    sx.sx_Select(m_area);
    const short result = sx.sx_CreateExec();
    if (!result)
        noteFailure();
    sx.sx_Close();
    m_area = 0;
    return result;
}

void TableCreator::giveUp()
{
    if (m_area > 0 && ApolloEngine::Loaded()) {
        ApolloEngine::Api().sx_Select(m_area);
        ApolloEngine::Api().sx_Close();
    }
    m_area = 0;
}

void TableCreator::noteFailure()
{
    const EngineFailure failure = lastEngineFailure(ApolloEngine::Api(), m_path);
    m_lastErrorKind = failure.kind;
    m_lastErrorText = engineFailureText(failure);
}

}  // namespace emlo
