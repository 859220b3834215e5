// Workload driver for the DBF benchmark harness (run_all.sh, OURS_CMD): one process
// per run, the engine used through its C interface the way the table layer uses it
// (records copied with sx_GetRecord and decoded from the image; Windows-1251 text
// turned into UTF-8 with trailing blanks dropped).
//
//     xbase-bench WORKLOAD DBF IDX ARG
//
// Prints one result line per run in the harness's format; exit status 3 for an unknown
// workload.
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sde.h"

namespace {

const unsigned short kCp1251High[128] = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409, 0x2039, 0x040A,
    0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0xFFFD, 0x2122,
    0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0, 0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6,
    0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456,
    0x0491, 0x00B5, 0x00B6, 0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410,
    0x0411, 0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C, 0x041D,
    0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427, 0x0428, 0x0429, 0x042A,
    0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432, 0x0433, 0x0434, 0x0435, 0x0436, 0x0437,
    0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D, 0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444,
    0x0445, 0x0446, 0x0447, 0x0448, 0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// Decodes a field's bytes into UTF-8 without trailing blanks; returns the characters.
size_t decodeText(const char* p, size_t n, std::string* out)
{
    while (n > 0 && (p[n - 1] == ' ' || p[n - 1] == '\0'))
        --n;
    char buf[3 * 256 + 1];
    char* o = buf;
    n = n < 256 ? n : 256;
    for (size_t i = 0; i < n; ++i) {
        unsigned c = static_cast<unsigned char>(p[i]);
        if (c < 0x80) {
            *o++ = static_cast<char>(c);
            continue;
        }
        c = kCp1251High[c - 0x80];
        if (c < 0x800) {
            *o++ = static_cast<char>(0xC0 | (c >> 6));
        } else {
            *o++ = static_cast<char>(0xE0 | (c >> 12));
            *o++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        }
        *o++ = static_cast<char>(0x80 | (c & 0x3F));
    }
    out->assign(buf, static_cast<size_t>(o - buf));
    return n;
}

// A numeric field's value; blank is 0 (the layer would make it null).
double decodeNumber(const char* p, size_t n)
{
    char buf[32];
    n = n < sizeof buf - 1 ? n : sizeof buf - 1;
    std::memcpy(buf, p, n);
    buf[n] = '\0';
    long whole = 0;
    bool neg = false, simple = true;
    size_t i = 0;
    while (i < n && buf[i] == ' ')
        ++i;
    if (i < n && buf[i] == '-') {
        neg = true;
        ++i;
    }
    for (; i < n; ++i) {
        if (buf[i] < '0' || buf[i] > '9') {
            simple = false;
            break;
        }
        whole = whole * 10 + (buf[i] - '0');
    }
    if (simple)
        return static_cast<double>(neg ? -whole : whole);
    return std::strtod(buf, nullptr);
}

struct Field {
    size_t offset, width;
};

Field field(const char* name)
{
    return {static_cast<size_t>(sx_FieldOffset(name)), static_cast<size_t>(sx_FieldWidth(name))};
}

bool open(const char* path)
{
    sx_SetDeleted(1);
    if (sx_Use(path, nullptr, SX_READWRITE, SX_SDEFOX) <= 0) {
        std::fprintf(stderr, "cannot open %s: %s\n", path, sx_LastError());
        return false;
    }
    return true;
}

int scan(const char* dbf)
{
    if (!open(dbf))
        return 1;
    const Field id = field("CYID"), code = field("CODE"), descr = field("DESCR");
    std::string image(static_cast<size_t>(sx_RecSize()), '\0'), c, d;
    long n = 0, idSum = 0, codeChars = 0, descrChars = 0;
    for (sx_GoTop(); !sx_Eof(); sx_Skip(1)) {
        sx_GetRecord(image.data());
        idSum += static_cast<long>(decodeNumber(image.data() + id.offset, id.width));
        codeChars += static_cast<long>(decodeText(image.data() + code.offset, code.width, &c));
        descrChars += static_cast<long>(decodeText(image.data() + descr.offset, descr.width, &d));
        ++n;
    }
    std::printf("records=%ld cyid_sum=%ld code_chars=%ld descr_chars=%ld last=%s|%s\n", n, idSum, codeChars,
                descrChars, c.c_str(), d.c_str());
    return 0;
}

int buildIndex(const char* dbf, const char* idx)
{
    if (!open(dbf))
        return 1;
    if (sx_Index(idx, "CODE", 0, 0, "") <= 0) {
        std::fprintf(stderr, "index failed: %s\n", sx_LastError());
        return 1;
    }
    sx_GoTop();
    std::string code;
    decodeText(sx_GetString("CODE"), static_cast<size_t>(sx_FieldWidth("CODE")), &code);
    std::printf("keys=%ld first=%s\n", sx_RecCount(), code.c_str());
    return 0;
}

bool openWithIndex(const char* dbf, const char* idx)
{
    if (!open(dbf))
        return false;
    // As the program does: a missing index is built.
    const short h = ::access(idx, F_OK) == 0 ? sx_IndexOpen(idx) : sx_Index(idx, "CODE", 0, 0, "");
    if (h <= 0) {
        std::fprintf(stderr, "cannot open index %s: %s\n", idx, sx_LastError());
        return false;
    }
    sx_SetOrder(h);
    return true;
}

int prefixQuery(const char* dbf, const char* idx, const char* prefix)
{
    if (!openWithIndex(dbf, idx))
        return 1;
    const std::string expr = std::string("CODE = \"") + prefix + "\"";
    if (!sx_Query(expr.c_str())) {
        std::fprintf(stderr, "query failed: %s\n", sx_LastError());
        return 1;
    }
    const long count = sx_QueryRecCount();
    std::string code, descr;
    if (!sx_Eof()) {
        const Field c = field("CODE"), d = field("DESCR");
        std::string image(static_cast<size_t>(sx_RecSize()), '\0');
        sx_GetRecord(image.data());
        decodeText(image.data() + c.offset, c.width, &code);
        decodeText(image.data() + d.offset, d.width, &descr);
    }
    std::printf("count=%ld first=%s|%s\n", count, code.c_str(), descr.c_str());
    return 0;
}

int seek(const char* dbf, const char* idx, const char* key)
{
    if (!openWithIndex(dbf, idx))
        return 1;
    std::string padded(key);
    padded.resize(static_cast<size_t>(sx_FieldWidth("CODE")), ' ');
    const short found = sx_Seek(padded.c_str());
    std::string descr;
    if (found)
        decodeText(sx_GetString("DESCR"), static_cast<size_t>(sx_FieldWidth("DESCR")), &descr);
    std::printf("found=%d descr=%s\n", found ? 1 : 0, descr.c_str());
    return 0;
}

struct Row {
    int contid;
    double poten, fact;
};

void readRows(std::vector<Row>* rows)
{
    const Field c = field("CONTID"), p = field("POTEN"), f = field("FACT");
    std::string image(static_cast<size_t>(sx_RecSize()), '\0');
    for (sx_GoTop(); !sx_Eof(); sx_Skip(1)) {
        sx_GetRecord(image.data());
        rows->push_back({static_cast<int>(decodeNumber(image.data() + c.offset, c.width)),
                         decodeNumber(image.data() + p.offset, p.width),
                         decodeNumber(image.data() + f.offset, f.width)});
    }
}

int appendAndRead(const char* dbf, const char* idx, const char* source)
{
    FILE* in = std::fopen(source, "r");
    if (!in || !open(dbf))
        return 1;
    const short h = sx_Index(idx, "CONTID", 0, 0, "");
    if (h <= 0)
        return 1;
    const Field c = field("CONTID"), p = field("POTEN"), f = field("FACT");
    std::string image(static_cast<size_t>(sx_RecSize()), ' ');
    Row r{};
    char buf[64];
    while (std::fscanf(in, "%d;%lf;%lf", &r.contid, &r.poten, &r.fact) == 3) {
        sx_AppendBlank();
        std::snprintf(buf, sizeof buf, "%*d", static_cast<int>(c.width), r.contid);
        image.replace(c.offset, c.width, buf);
        std::snprintf(buf, sizeof buf, "%*.*f", static_cast<int>(p.width), 7, r.poten);
        image.replace(p.offset, p.width, buf);
        std::snprintf(buf, sizeof buf, "%*.*f", static_cast<int>(f.width), 7, r.fact);
        image.replace(f.offset, f.width, buf);
        sx_PutRecord(image.data());
        sx_Unlock(0);
    }
    std::fclose(in);
    std::vector<Row> rows;
    readRows(&rows);
    long long ordsum = 0;
    double factSum = 0;
    for (size_t i = 0; i < rows.size(); ++i) {
        ordsum += static_cast<long long>(i + 1) * rows[i].contid;
        factSum += rows[i].fact;
    }
    std::printf("records=%zu ordsum=%lld first=%d fact_sum=%.4f\n", rows.size(), ordsum,
                rows.empty() ? 0 : rows[0].contid, factSum);
    return 0;
}

int exportXml(const char* dbf, const char* xml)
{
    if (!open(dbf))
        return 1;
    std::vector<Row> rows;
    readRows(&rows);
    std::string out = "<?xml version=\"1.0\" encoding=\"windows-1251\"?>\n<DATA>\n";
    char buf[256];
    for (const Row& r : rows) {
        std::snprintf(buf, sizeof buf, " <ROW><CONTID>%d</CONTID><POTEN>%.7f</POTEN><FACT>%.7f</FACT></ROW>\n",
                      r.contid, r.poten, r.fact);
        out += buf;
    }
    out += "</DATA>\n";
    FILE* f = std::fopen(xml, "wb");
    if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0)
        return 1;
    std::printf("rows=%zu bytes=%zu\n", rows.size(), out.size());
    return 0;
}

}   // namespace

int main(int argc, char** argv)
{
    const std::string w = argc > 1 ? argv[1] : "";
    const char* dbf = argc > 2 ? argv[2] : "";
    const char* idx = argc > 3 ? argv[3] : "";
    const char* arg = argc > 4 ? argv[4] : "";
    int rc = 3;
    if (w == "W0") {
        std::puts("ok");
        rc = 0;
    } else if (w == "W1") {
        rc = scan(dbf);
    } else if (w == "W2") {
        rc = buildIndex(dbf, idx);
    } else if (w == "W3") {
        rc = prefixQuery(dbf, idx, arg);
    } else if (w == "W4") {
        rc = seek(dbf, idx, arg);
    } else if (w == "W5") {
        rc = appendAndRead(dbf, idx, arg);
    } else if (w == "W6") {
        rc = exportXml(dbf, arg);
    } else {
        std::printf("unsupported: unknown workload %s\n", w.c_str());
    }
    sx_CloseAll();
    return rc;
}
