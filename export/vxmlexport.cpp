#include "vxmlexport.h"

#include <QSaveFile>

#include "store/ApolloTable.h"
#include "store/Errors.h"
#include "store/Fields.h"
#include "store/FileCase.h"
#include "xmlfile.h"

namespace emlo {

namespace {

QString attribute(const QString& name, const QString& value)
{
    return name + QStringLiteral("=\"") + value + QLatin1Char('"');
}

}  // namespace

TVXMLExport::TVXMLExport(QObject* parent) : TVExport(parent) {}

bool TVXMLExport::Execute()
{
    TVExport::Execute();

    // An existing ATTR.XML answers for "attr.xml", as on the file system the
    // files are handed on with.
    const QString target = MatchFileCase(FileName);
    QSaveFile out(target);
    // Unbuffered: the stream gathers the bytes and checks every write; a
    // device buffer would let a short write (a full disk) pass unnoticed.
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
        throw Exception(QStringLiteral("Cannot create file ") + target);

    TXMLFile file(out);
    const QString encoding = XMLOptions.Encoding.isEmpty()
                                 ? QString()
                                 : QStringLiteral("encoding=\"%1\" ").arg(XMLOptions.Encoding);
    file.WriteLine(QStringLiteral("<?xml version=\"%1\" %2standalone=\"%3\"?>")
                       .arg(XMLOptions.Version, encoding,
                            XMLOptions.StandAlone ? QStringLiteral("yes") : QStringLiteral("no")));
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

QString TVXMLExport::rowAttributes() const
{
    const TApolloTable& table = *Dataset();
    QStringList attributes;
    for (int i = 0; i < table.FieldCount(); ++i) {
        const TField& field = *table.Fields(i);
        if (IsFieldExported(field))
            attributes << attribute(field.FieldName(), EscapeText(GetFieldText(field)));
    }
    return attributes.join(QLatin1Char(' '));
}

QString TVXMLExport::EscapeText(const QString& text) const
{
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        switch (c.unicode()) {
        case '"':
            out += QStringLiteral("&quot;");
            break;
        case '&':
            out += QStringLiteral("&amp;");
            break;
        case '<':
            out += QStringLiteral("&lt;");
            break;
        case '>':
            out += QStringLiteral("&gt;");
            break;
        default:
            out += c;
        }
    }
    return out;
}

}  // namespace emlo
