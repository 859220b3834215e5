#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace emlo {

// The byte stream an export is written to. Text is written as Windows-1251;
// a character that code page cannot hold becomes an XML character reference
// (&#N;), so nothing is lost and the file stays valid XML.
//
// The stream gathers the bytes itself and hands them to the device in large
// checked writes: a write that does not go through completely (a full disk)
// raises Exception "Stream write error". Open a file device Unbuffered, so
// that a short write reaches this check instead of being lost in the
// device's own buffer. Whatever is still gathered reaches the device only
// through Flush.
class TVExportStream {
public:
    // The device must be open for writing and outlive the stream.
    explicit TVExportStream(QIODevice& device);
    virtual ~TVExportStream() = default;
    TVExportStream(const TVExportStream&) = delete;
    TVExportStream& operator=(const TVExportStream&) = delete;

    void WriteString(const QByteArray& bytes);
    void WriteString(const QString& text);
    // The text followed by CR LF.
    void WriteLine(const QString& text);
    // Hands every gathered byte to the device; raises "Stream write error".
    void Flush();

private:
    QIODevice& m_device;
    QByteArray m_pending;
};

// Windows-1251 bytes of a text, with character references for what the code
// page cannot hold.
QByteArray encodeForXml(const QString& text);

// The XML output file of the writer: element lines, each ended by CR LF.
class TXMLFile : public TVExportStream {
public:
    using TVExportStream::TVExportStream;

    // "<name>" or "<name attributes>".
    void WriteOpenTag(const QString& name, const QString& attributes);
    // "<name attributes/>".
    void WriteEmptyTag(const QString& name, const QString& attributes);
    // "</name>".
    void WriteCloseTag(const QString& name);
    // The lines that end every file: "</ROWDATA>" and "</DATAPACKET>".
    void WriteClosingLines();
};

}  // namespace emlo
