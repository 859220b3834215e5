#include "cp1251.h"

#include <array>

namespace emlo {

namespace {

// Unicode of the bytes 0x80..0xBF; 0xC0..0xFF are U+0410..U+044F.
// 0x98 is unassigned in Windows-1251.
constexpr std::array<char16_t, 64> kHigh = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457,
};

// The byte for a character, or -1 when the code page cannot hold it.
int byteOf(char16_t ch)
{
    if (ch < 0x80)
        return ch;
    if (ch >= 0x0410 && ch <= 0x044F)
        return 0xC0 + (ch - 0x0410);
    if (ch == 0xFFFD)
        return -1;
    for (std::size_t i = 0; i < kHigh.size(); ++i) {
        if (kHigh[i] == ch)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

}  // namespace

bool isCp1251Char(QChar ch)
{
    return byteOf(ch.unicode()) >= 0;
}

QChar firstNonCp1251Char(const QString& text)
{
    for (QChar ch : text) {
        if (!isCp1251Char(ch))
            return ch;
    }
    return QChar();
}

QByteArray toCp1251(const QString& text, bool* ok)
{
    QByteArray out;
    out.reserve(text.size());
    for (QChar ch : text) {
        const int b = byteOf(ch.unicode());
        if (b < 0) {
            if (ok)
                *ok = false;
            return QByteArray();
        }
        out.append(static_cast<char>(b));
    }
    if (ok)
        *ok = true;
    return out;
}

QString fromCp1251(const QByteArray& bytes)
{
    return fromCp1251(bytes.constData(), bytes.size());
}

QString fromCp1251(const char* bytes, qsizetype size)
{
    QString out;
    fromCp1251Into(out, bytes, size);
    return out;
}

void fromCp1251Into(QString& out, const char* bytes, qsizetype size)
{
    // Written straight into the string's buffer: this runs for every character
    // field of every record read, so per-character appends would dominate scans.
    static const std::array<char16_t, 256> kUnicode = [] {
        std::array<char16_t, 256> table{};
        for (int b = 0; b < 256; ++b)
            table[b] = b < 0x80 ? char16_t(b) : b >= 0xC0 ? char16_t(0x0410 + (b - 0xC0)) : kHigh[b - 0x80];
        return table;
    }();
    if (!out.isDetached() || out.capacity() < size)
        out = QString(size, Qt::Uninitialized);
    else
        out.resize(size);
    char16_t* dst = reinterpret_cast<char16_t*>(out.data());
    for (qsizetype i = 0; i < size; ++i)
        dst[i] = kUnicode[static_cast<unsigned char>(bytes[i])];
}

}  // namespace emlo
