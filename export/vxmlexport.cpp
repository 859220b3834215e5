#include "vxmlexport.h"

#include <QSaveFile>

#include "store/apollotable.h"
#include "store/errors.h"
#include "store/fields.h"
#include "store/filecase.h"
#include "xmlfile.h"

namespace emlo {

namespace {

QString attribute(const QString& name, const QString& value)
{
    return name + QStringLiteral("=\"") + value + QLatin1Char('"');
}

// Field names become attribute names of ROW: they must be XML names, or the
// file would not be well-formed. Table field names are ASCII, so the ASCII
// part of the XML name rules is the one that matters.
bool isXmlName(const QString& name)
{
    if (name.isEmpty())
        return false;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name.at(i).unicode();
        const bool letter = (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || c == u'_';
        const bool more = (c >= u'0' && c <= u'9') || c == u'-' || c == u'.';
        if (!(letter || (i > 0 && more)))
            return false;
    }
    return true;
}

// XML 1.0 allows no control character but TAB, LF and CR, not even as a
// character reference.
bool isForbiddenControl(QChar c)
{
    return c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r';
}

}  // namespace

TVXMLExport::TVXMLExport(QObject* parent) : TVExport(parent) { }

bool TVXMLExport::Execute()
{
    TVExport::Execute();
    checkFieldNames();

    // An existing ATTR.XML answers for "attr.xml", as on the file system the
    // files are handed on with.
    const QString target = MatchFileCase(FileName);
    QSaveFile out(target);
    // Unbuffered: the stream gathers the bytes and checks every write; a
    // device buffer would let a short write (a full disk) pass unnoticed.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Exception(QStringLiteral("Cannot create file ") + target);

    TXMLFile file(out);
    const QString encoding =
        XMLOptions.Encoding.isEmpty() ? QString() : QStringLiteral("encoding=\"%1\" ").arg(XMLOptions.Encoding);
    file.WriteLine(
        QStringLiteral("<?xml version=\"%1\" %2standalone=\"%3\"?>")
            .arg(XMLOptions.Version, encoding, XMLOptions.StandAlone ? QStringLiteral("yes") : QStringLiteral("no")));
    file.WriteLine(QStringLiteral("<DATAPACKET Version=\"2.0\">"));
    if (ColHeaders)
        writeFieldDescriptions(file);

    TApolloTable& table = *Dataset();
    if (GoToFirstRecord)
        table.First();
    file.WriteOpenTag(QStringLiteral("ROWDATA"), QString());
    while (!table.Eof()) {
        file.WriteEmptyTag(QStringLiteral("ROW"), rowAttributes());
        table.Next();
    }
    file.WriteClosingLines();
    file.Flush();

    // Until the commit the target is untouched; an error before it (thrown
    // above) lets QSaveFile remove the temporary file.
    if (!out.commit())
        throw Exception(QStringLiteral("Stream write error"));
    return true;
}

void TVXMLExport::writeFieldDescriptions(TXMLFile& file) const
{
    const TApolloTable& table = *Dataset();
    file.WriteOpenTag(QStringLiteral("METADATA"), QString());
    file.WriteOpenTag(QStringLiteral("FIELDS"), QString());
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TField& field = *table.Fields(i);
        if (!IsFieldExported(field))
            continue;
        // Written as they are: names, labels and type names need no escaping.
        const QStringList attributes{
            attribute(QStringLiteral("FieldName"), field.FieldName()),
            attribute(QStringLiteral("DisplayLabel"), DisplayNames().value(i)),
            attribute(QStringLiteral("FieldType"), FieldTypeName(field.DataType())),
            attribute(QStringLiteral("FieldClass"), field.ClassName()),
        };
        file.WriteEmptyTag(QStringLiteral("FIELD"), attributes.join(QLatin1Char(' ')));
    }
    file.WriteCloseTag(QStringLiteral("FIELDS"));
    file.WriteCloseTag(QStringLiteral("METADATA"));
}

void TVXMLExport::checkFieldNames() const
{
    const TApolloTable& table = *Dataset();
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TField& field = *table.Fields(i);
        if (IsFieldExported(field) && !isXmlName(field.FieldName()))
            throw Exception(
                QStringLiteral("Назва поля \"%1\" не може бути назвою атрибута XML").arg(field.FieldName()));
    }
}

QString TVXMLExport::rowAttributes() const
{
    const TApolloTable& table = *Dataset();
    QStringList attributes;
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TField& field = *table.Fields(i);
        if (!IsFieldExported(field))
            continue;
        const QString text = GetFieldText(field);
        for (const QChar c : text) {
            if (isForbiddenControl(c))
                throw Exception(QStringLiteral("Запис %1, поле %2: керуючий символ з кодом %3 не можна записати в XML")
                                    .arg(table.RecNo())
                                    .arg(field.FieldName())
                                    .arg(c.unicode()));
        }
        attributes << attribute(field.FieldName(), EscapeText(text));
    }
    return attributes.join(QLatin1Char(' '));
}

QString TVXMLExport::EscapeText(const QString& text) const
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"': out += QStringLiteral("&quot;"); break;
        case '&': out += QStringLiteral("&amp;"); break;
        case '<': out += QStringLiteral("&lt;"); break;
        case '>': out += QStringLiteral("&gt;"); break;
        // A reader turns a raw TAB, LF or CR in an attribute into a blank;
        // as references they come back as they were.
        case '\t': out += QStringLiteral("&#9;"); break;
        case '\n': out += QStringLiteral("&#10;"); break;
        case '\r': out += QStringLiteral("&#13;"); break;
        default: out += c;
        }
    }
    return out;
}

}  // namespace emlo
