#include "xmlfile.h"

#include <QIODevice>

#include "store/cp1251.h"
#include "store/errors.h"

namespace emlo {

QByteArray encodeForXml(const QString& text)
{
    bool ok = false;
    QByteArray bytes = toCp1251(text, &ok);
    if (ok)
        return bytes;
    bytes.clear();
    for (const char32_t codePoint : text.toUcs4()) {
        const QString ch = QString::fromUcs4(&codePoint, 1);
        bool charOk = false;
        const QByteArray encoded = toCp1251(ch, &charOk);
        if (charOk)
            bytes += encoded;
        else
            bytes += "&#" + QByteArray::number(static_cast<uint>(codePoint)) + ';';
    }
    return bytes;
}

namespace {

constexpr qsizetype kFlushSize = 64 * 1024;

}  // namespace

TVExportStream::TVExportStream(QIODevice& device) : m_device(device) { }

void TVExportStream::WriteString(const QByteArray& bytes)
{
    m_pending += bytes;
    if (m_pending.size() >= kFlushSize)
        Flush();
}

void TVExportStream::Flush()
{
    if (m_pending.isEmpty())
        return;
    const qint64 written = m_device.write(m_pending);
    const bool complete = written == m_pending.size();
    m_pending.clear();
    if (!complete)
        throw Exception(QStringLiteral("Stream write error"));
}

void TVExportStream::WriteString(const QString& text)
{
    WriteString(encodeForXml(text));
}

void TVExportStream::WriteLine(const QString& text)
{
    WriteString(encodeForXml(text) + "\r\n");
}

void TXMLFile::WriteOpenTag(const QString& name, const QString& attributes)
{
    if (attributes.isEmpty())
        WriteLine(QLatin1Char('<') + name + QLatin1Char('>'));
    else
        WriteLine(QLatin1Char('<') + name + QLatin1Char(' ') + attributes + QLatin1Char('>'));
}

void TXMLFile::WriteEmptyTag(const QString& name, const QString& attributes)
{
    WriteLine(QLatin1Char('<') + name + QLatin1Char(' ') + attributes + QStringLiteral("/>"));
}

void TXMLFile::WriteCloseTag(const QString& name)
{
    WriteLine(QStringLiteral("</") + name + QLatin1Char('>'));
}

void TXMLFile::WriteClosingLines()
{
    WriteCloseTag(QStringLiteral("ROWDATA"));
    WriteCloseTag(QStringLiteral("DATAPACKET"));
}

}  // namespace emlo
