#include "dbffile.h"

#include <algorithm>
#include <cstring>

#include "bytes.h"
#include "dbfinternal.h"
#include "env.h"

// The table file's header: validation of what a file holds, and the bytes of a new table.

namespace xb {

namespace {

bool knownVersion(uint8_t v)
{
    switch (v) {
    case 0x03:
    case 0x83:
    case 0x8B:
    case 0xF5:
    case 0xFB:  // dBASE III / FoxBASE+ / FoxPro 2.x
    case 0x30:
    case 0x31:
    case 0x32:  // Visual FoxPro
    case 0x43:
    case 0x63:
    case 0xCB:  // dBASE IV SQL
        return true;
    default: return false;
    }
}

std::string hexByte(unsigned v)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string s = "0x";
    s += digits[(v >> 4) & 0xF];
    s += digits[v & 0xF];
    return s;
}

bool validNameChar(char c, bool first)
{
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))
        return true;
    return !first && ((c >= '0' && c <= '9') || c == '_');
}

}  // namespace

Status parseDbfHeader(const unsigned char* data, size_t size, uint64_t fileSize, DbfHeader* out)
{
    if (size < 32 || fileSize < 32)
        return Status::error(ErrorKind::Corrupt, "the file is shorter than a table header (32 bytes)");
    DbfHeader h;
    h.version = data[0];
    if (!knownVersion(h.version))
        return Status::error(ErrorKind::Corrupt, "not a DBF table (version byte " + hexByte(h.version) + ")");
    h.headerCount = readLe32(data + 4);
    h.headerLength = readLe16(data + 8);
    h.recordLength = readLe16(data + 10);
    h.codePage = data[29];
    if (h.headerLength < 32 + 32 + 1)
        return Status::error(ErrorKind::Corrupt,
                             "header length " + std::to_string(h.headerLength) + " leaves no room for a field");
    if (h.headerLength > fileSize || h.headerLength > size)
        return Status::error(ErrorKind::Corrupt,
                             "the file ends inside its header (header length " + std::to_string(h.headerLength)
                                 + ", file " + std::to_string(fileSize) + " bytes)");
    if (h.recordLength < 2)
        return Status::error(ErrorKind::Corrupt, "record length " + std::to_string(h.recordLength) + " is too small");
    // The C interface reports record sizes and field offsets as 16-bit signed numbers:
    // a longer record would overrun the buffers callers size by them.
    if (h.recordLength > kMaxRecordLength)
        return Status::error(ErrorKind::Unsupported,
                             "record length " + std::to_string(h.recordLength) + " is above the supported "
                                 + std::to_string(kMaxRecordLength));

    // Descriptors run until the 0x0D terminator or the end of the header; the first
    // record is always taken at the header length, whatever follows the terminator.
    uint32_t offset = 1;
    for (uint32_t pos = 32; pos + 32 <= h.headerLength && data[pos] != 0x0D; pos += 32) {
        const unsigned char* d = data + pos;
        FieldDesc f;
        size_t nameLen = 0;
        while (nameLen < 11 && d[nameLen] != 0)
            ++nameLen;
        f.name.assign(reinterpret_cast<const char*>(d), nameLen);
        while (!f.name.empty() && f.name.back() == ' ')
            f.name.pop_back();
        const std::string which = "field " + std::to_string(h.fields.size() + 1);
        if (f.name.empty())
            return Status::error(ErrorKind::Corrupt, which + " has no name");
        f.type = asciiUpper(static_cast<char>(d[11]));
        const bool typeOk =
            (f.type >= 'A' && f.type <= 'Z') || (f.type >= '0' && f.type <= '9') || f.type == '@' || f.type == '+';
        if (!typeOk)
            return Status::error(ErrorKind::Corrupt,
                                 which + " (" + f.name + ") has an unknown type byte " + hexByte(d[11]));
        f.width = d[16];
        f.decimals = d[17];
        if (f.width == 0)
            return Status::error(ErrorKind::Corrupt, which + " (" + f.name + ") has width 0");
        // Displacements written by older tools are unreliable: offsets come from the widths.
        f.offset = offset;
        offset += f.width;
        h.fields.push_back(std::move(f));
    }
    if (h.fields.empty())
        return Status::error(ErrorKind::Corrupt, "the table has no fields");
    if (offset > h.recordLength)
        return Status::error(ErrorKind::Corrupt,
                             "record length " + std::to_string(h.recordLength) + " is smaller than its fields need ("
                                 + std::to_string(offset) + ")");
    *out = std::move(h);
    return Status();
}

Status checkNewField(FieldDesc* f)
{
    const std::string& n = f->name;
    bool nameOk = !n.empty() && n.size() <= 10;
    for (size_t i = 0; nameOk && i < n.size(); ++i)
        nameOk = validNameChar(n[i], i == 0);
    if (!nameOk)
        return Status::error(ErrorKind::BadArgument,
                             "Invalid field name \"" + n + "\": 1 to 10 letters, digits or _, starting with a letter");
    for (char& c : f->name)
        c = asciiUpper(c);
    f->type = asciiUpper(f->type);
    const std::string which = "field " + f->name;
    switch (f->type) {
    case 'C':
        if (f->width < 1 || f->width > 254)
            return Status::error(ErrorKind::BadArgument,
                                 "Invalid width " + std::to_string(f->width) + " of character " + which
                                     + " (1 to 254)");
        f->decimals = 0;
        break;
    case 'N':
    case 'F':
        if (f->width < 1 || f->width > 20)
            return Status::error(ErrorKind::BadArgument,
                                 "Invalid width " + std::to_string(f->width) + " of numeric " + which + " (1 to 20)");
        if (f->decimals > 0 && f->decimals + 2 > f->width)
            return Status::error(ErrorKind::BadArgument,
                                 "Invalid decimals " + std::to_string(f->decimals) + " of numeric " + which);
        break;
    case 'L':
        f->width = 1;
        f->decimals = 0;
        break;
    case 'D':
        f->width = 8;
        f->decimals = 0;
        break;
    case 'I':
        f->width = 4;
        f->decimals = 0;
        break;
    default:
        return Status::error(ErrorKind::Unsupported,
                             std::string("Field type ") + f->type + " of " + which + " is not supported");
    }
    return Status();
}

std::string buildDbfImage(const std::vector<FieldDesc>& fields, uint8_t codePage)
{
    const uint32_t headerLength = static_cast<uint32_t>(32 + 32 * fields.size() + 1);
    uint32_t recordLength = 1;
    for (const FieldDesc& f : fields)
        recordLength += f.width;
    std::string image(headerLength + 1, '\0');
    auto* p = reinterpret_cast<unsigned char*>(image.data());
    p[0] = 0x03;  // FoxBASE+ / FoxPro 2.x, no memo
    todayBytes(p + 1);
    writeLe32(p + 4, 0);
    writeLe16(p + 8, headerLength);
    writeLe16(p + 10, recordLength);
    p[29] = codePage;
    uint32_t offset = 1;
    for (size_t i = 0; i < fields.size(); ++i) {
        unsigned char* d = p + 32 + 32 * i;
        std::memcpy(d, fields[i].name.data(), std::min<size_t>(fields[i].name.size(), 10));
        d[11] = static_cast<unsigned char>(fields[i].type);
        writeLe32(d + 12, offset);
        d[16] = static_cast<unsigned char>(fields[i].width);
        d[17] = static_cast<unsigned char>(fields[i].decimals);
        offset += fields[i].width;
    }
    p[headerLength - 1] = 0x0D;
    p[headerLength] = 0x1A;
    return image;
}

Status DbfFile::create(const std::string& path, const std::vector<FieldDesc>& fields, uint8_t codePage)
{
    if (fields.empty())
        return Status::error(ErrorKind::BadArgument, "A table needs at least one field");
    std::vector<FieldDesc> checked = fields;
    uint64_t recordLength = 1;
    for (size_t i = 0; i < checked.size(); ++i) {
        Status st = checkNewField(&checked[i]);
        if (!st.ok())
            return st;
        for (size_t j = 0; j < i; ++j)
            if (checked[j].name == checked[i].name)
                return Status::error(ErrorKind::BadArgument, "Duplicate field name " + checked[i].name);
        recordLength += checked[i].width;
    }
    if (recordLength > kMaxRecordLength || 32 + 32 * checked.size() + 1 > kMaxHeaderLength)
        return Status::error(ErrorKind::BadArgument, "Too many or too wide fields for one record");

    // Published complete or not at all, and never over an existing name (a table another
    // copy of the program has just created and opened, a link to an unmounted disk).
    removeStaleTemps(path);
    return publishNewFile(path, buildDbfImage(checked, codePage));
}

}  // namespace xb
