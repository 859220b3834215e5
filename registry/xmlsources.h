#pragma once

// The two XML readers behind the submission reader: Qt's full reader, which
// takes any XML and names each fault, and a small reader of exactly what the
// export writes, several times faster, which gives up (Unsupported) on
// anything else so that the full reader tells why.

#include <algorithm>
#include <array>

#include <QByteArray>
#include <QByteArrayView>
#include <QLatin1StringView>
#include <QString>
#include <QVarLengthArray>
#include <QXmlStreamReader>

#include "store/cp1251.h"
#include "exportnumber.h"

namespace emlo::registry {

// More attributes than the export ever writes to one element.
constexpr int kMaxAttributes = 64;

// What the table reader needs of an XML reader.
enum class XmlToken { Start, End, Text, Dtd, Entity, Done, Malformed, Unsupported, Other };

// QXmlStreamReader: takes every XML the standard allows and names each fault.
class QtXmlSource {
public:
    explicit QtXmlSource(const QByteArray& bytes) : m_xml(fromCp1251(bytes))
    {
        m_xml.setNamespaceProcessing(false);
        // No DTD passes (see TableReader); this only bounds what a reader would do with one.
        m_xml.setEntityExpansionLimit(64);
    }

    XmlToken Next()
    {
        if (m_xml.atEnd())
            return m_xml.hasError() ? XmlToken::Malformed : XmlToken::Done;
        switch (m_xml.readNext()) {
        case QXmlStreamReader::DTD: return XmlToken::Dtd;
        case QXmlStreamReader::EntityReference: return XmlToken::Entity;
        case QXmlStreamReader::Characters: return m_xml.isWhitespace() ? XmlToken::Other : XmlToken::Text;
        case QXmlStreamReader::StartElement: return XmlToken::Start;
        case QXmlStreamReader::EndElement: return XmlToken::End;
        default: return XmlToken::Other;
        }
    }
    int Line() const { return int(m_xml.lineNumber()); }
    int Column() const { return int(m_xml.columnNumber()); }
    QStringView Text() const { return m_xml.text(); }
    // Valid until the next token.
    QAnyStringView Name() const { return m_xml.name(); }
    QString Attribute(QLatin1StringView name) const { return m_xml.attributes().value(name).toString(); }

    // An attribute's value, as text or as a number.
    class Value {
    public:
        explicit Value(QStringView text) : m_text(text) { }
        QString Text() const { return m_text.toString(); }
        std::optional<double> Number(bool* ok) const { return ParseExportNumber(m_text, ok); }

    private:
        QStringView m_text;
    };

    // f(name, value) for each attribute of the element just started, until f returns false.
    template <typename F> bool ForEachAttribute(F f) const
    {
        for (const QXmlStreamAttribute& attribute : m_xml.attributes()) {
            if (!f(QAnyStringView(attribute.name()), Value(attribute.value())))
                return false;
        }
        return true;
    }

private:
    QXmlStreamReader m_xml;
};

// A reader of only the plain XML the export writes: its declaration, elements
// with ASCII names, double-quoted attributes without control characters and
// with no references but the predefined entities and character numbers,
// whitespace between elements. Anything else, including every fault, is
// Unsupported, and the file is then read again by QtXmlSource, which judges
// it. For such files it is several times faster.
class PlainXmlSource {
public:
    explicit PlainXmlSource(const QByteArray& bytes) : m_p(bytes.constData()), m_end(m_p + bytes.size()) { }

    XmlToken Next()
    {
        if (m_selfClosed) {
            m_selfClosed = false;
            return closeElement();
        }
        if (!m_declared) {
            if (!skipDeclaration())
                return XmlToken::Unsupported;
            m_declared = true;
        }
        skipSpace();
        if (m_p == m_end)
            return m_rootClosed ? XmlToken::Done : XmlToken::Unsupported;
        if (*m_p != '<' || m_rootClosed || m_end - m_p < 2)
            return XmlToken::Unsupported;
        ++m_p;
        if (*m_p == '/') {
            ++m_p;
            const QLatin1StringView name = readName();
            skipSpace();
            if (name.isEmpty() || m_open.empty() || m_open.back() != name || !take('>'))
                return XmlToken::Unsupported;
            return closeElement();
        }
        m_name = readName();
        if (m_name.isEmpty())
            return XmlToken::Unsupported;
        m_attributes.clear();
        for (;;) {
            const bool spaced = skipSpace();
            if (take('>'))
                break;
            if (take('/')) {
                if (!take('>'))
                    return XmlToken::Unsupported;
                m_selfClosed = true;
                break;
            }
            // The export writes at most a few dozen attributes; more (a hostile
            // file) would make the check for repeated names slow.
            if (!spaced || m_attributes.size() >= kMaxAttributes || !readAttribute())
                return XmlToken::Unsupported;
        }
        m_open.push_back(m_name);
        return XmlToken::Start;
    }
    // Faults are told by QtXmlSource, which knows where they are.
    int Line() const { return 0; }
    int Column() const { return 0; }
    QStringView Text() const { return {}; }
    QAnyStringView Name() const { return m_name; }
    QString Attribute(QLatin1StringView name) const
    {
        for (const RawAttribute& attribute : m_attributes) {
            if (attribute.Name == name)
                return decode(attribute);
        }
        return QString();
    }

private:
    struct RawAttribute {
        QLatin1StringView Name;
        QByteArrayView Value;
        bool HasReferences;
    };

public:
    // An attribute's value, as text or as a number; a number is read from
    // the file's bytes where no reference needs decoding first.
    class Value {
    public:
        explicit Value(const RawAttribute& attribute) : m_attribute(attribute) { }
        QString Text() const { return decode(m_attribute); }
        std::optional<double> Number(bool* ok) const
        {
            return m_attribute.HasReferences ? ParseExportNumber(Text(), ok) : ParseExportNumber(m_attribute.Value, ok);
        }

    private:
        const RawAttribute& m_attribute;
    };

    template <typename F> bool ForEachAttribute(F f) const
    {
        for (const RawAttribute& attribute : m_attributes) {
            if (!f(QAnyStringView(attribute.Name), Value(attribute)))
                return false;
        }
        return true;
    }

private:
    // The character a reference at `from` (just after '&') stands for, and
    // where it ends (just after ';'); 0 when it is none the reader takes.
    static char32_t reference(const char* from, const char* end, const char** next)
    {
        static const struct {
            QByteArrayView Name;
            char32_t Char;
        } named[] = {{"amp;", U'&'}, {"lt;", U'<'}, {"gt;", U'>'}, {"quot;", U'"'}, {"apos;", U'\''}};
        const QByteArrayView rest(from, end - from);
        for (const auto& entity : named) {
            if (rest.startsWith(entity.Name)) {
                *next = from + entity.Name.size();
                return entity.Char;
            }
        }
        if (!rest.startsWith("#"))
            return 0;
        const bool hex = rest.startsWith("#x");
        const char* p = from + (hex ? 2 : 1);
        char32_t code = 0;
        int digits = 0;
        for (; p != end && *p != ';'; ++p, ++digits) {
            const int digit = *p >= '0' && *p <= '9' ? *p - '0'
                : hex && *p >= 'a' && *p <= 'f'      ? *p - 'a' + 10
                : hex && *p >= 'A' && *p <= 'F'      ? *p - 'A' + 10
                                                     : -1;
            if (digit < 0 || digits >= 7)
                return 0;
            code = code * (hex ? 16 : 10) + char32_t(digit);
        }
        const bool xmlChar = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF)
            || (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
        if (p == end || digits == 0 || !xmlChar)
            return 0;
        *next = p + 1;
        return code;
    }

    static QString decode(const RawAttribute& attribute)
    {
        const char* p = attribute.Value.data();
        const char* end = p + attribute.Value.size();
        if (!attribute.HasReferences)
            return fromCp1251(p, end - p);
        QString text;
        while (p != end) {
            const char* amp = std::find(p, end, '&');
            text += fromCp1251(p, amp - p);
            if (amp == end)
                break;
            const char32_t c = reference(amp + 1, end, &p);
            text += QStringView(QChar::fromUcs4(c));
        }
        return text;
    }

    // What each byte is to the reader: one look-up in place of a chain of
    // comparisons for each byte of a file.
    enum : unsigned char {
        kNameChar = 1,
        kSpace = 2,
        kValueStop = 4,  // ends a plain run of an attribute value: a quote, a reference or a refused byte
    };
    static constexpr std::array<unsigned char, 256> kClasses = [] {
        std::array<unsigned char, 256> classes{};
        for (int c = 0; c < 256; ++c) {
            if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_')
                classes[c] |= kNameChar;
            if (c == ' ' || c == '\n' || c == '\r' || c == '\t')
                classes[c] |= kSpace;
            if (c < 0x20 || c == 0x7F || c == '<' || c == '&' || c == '"')
                classes[c] |= kValueStop;
        }
        return classes;
    }();

    static bool is(char c, unsigned char kind) { return (kClasses[static_cast<unsigned char>(c)] & kind) != 0; }
    static bool isNameChar(char c) { return is(c, kNameChar); }

    bool take(char c)
    {
        if (m_p == m_end || *m_p != c)
            return false;
        ++m_p;
        return true;
    }

    bool skipSpace()
    {
        const char* from = m_p;
        while (m_p != m_end && is(*m_p, kSpace))
            ++m_p;
        return m_p != from;
    }

    QLatin1StringView readName()
    {
        const char* from = m_p;
        if (m_p == m_end || !isNameChar(*m_p) || (*m_p >= '0' && *m_p <= '9'))
            return {};
        while (m_p != m_end && isNameChar(*m_p))
            ++m_p;
        return QLatin1StringView(from, m_p - from);
    }

    bool readAttribute()
    {
        const QLatin1StringView name = readName();
        skipSpace();
        if (name.isEmpty() || !take('='))
            return false;
        skipSpace();
        if (!take('"'))
            return false;
        const char* from = m_p;
        bool references = false;
        for (;;) {
            while (m_p != m_end && !is(*m_p, kValueStop))
                ++m_p;
            if (m_p == m_end)
                return false;
            if (*m_p == '"')
                break;
            if (*m_p != '&')
                return false;  // a control character or '<'
            references = true;
            if (reference(m_p + 1, m_end, &m_p) == 0)
                return false;
        }
        ++m_p;
        for (const RawAttribute& other : m_attributes) {
            if (other.Name == name)
                return false;
        }
        m_attributes.append({name, QByteArrayView(from, m_p - 1 - from), references});
        return true;
    }

    // Only the declarations the export writes.
    bool skipDeclaration()
    {
        static const QByteArrayView head("<?xml version=\"1.0\" encoding=\"windows-1251\"");
        const QByteArrayView rest(m_p, m_end - m_p);
        if (!rest.startsWith(head))
            return false;
        m_p += head.size();
        for (const QByteArrayView tail : {QByteArrayView(" standalone=\"yes\"?>"), QByteArrayView("?>")}) {
            if (QByteArrayView(m_p, m_end - m_p).startsWith(tail)) {
                m_p += tail.size();
                return true;
            }
        }
        return false;
    }

    XmlToken closeElement()
    {
        m_name = m_open.back();
        m_open.pop_back();
        m_rootClosed = m_open.empty();
        return XmlToken::End;
    }

    const char* m_p;
    const char* m_end;
    bool m_declared = false;
    bool m_selfClosed = false;
    bool m_rootClosed = false;
    QLatin1StringView m_name;
    QVarLengthArray<QLatin1StringView, 8> m_open;
    QVarLengthArray<RawAttribute, 32> m_attributes;
};

}  // namespace emlo::registry
