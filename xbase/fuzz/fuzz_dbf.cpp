// libFuzzer entry: the bytes become a table file, which is opened and read the way the
// table layer reads tables: both orders, every field, a query, an index and a seek.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "xbase/include/sde.h"

namespace {

struct Scratch {
    std::string dir;
    Scratch()
    {
        char tmpl[] = "/tmp/fuzz_dbf.XXXXXX";
        if (::mkdtemp(tmpl))
            dir = tmpl;
    }
    ~Scratch()
    {
        std::remove((dir + "/t.dbf").c_str());
        std::remove((dir + "/t.idx").c_str());
        ::rmdir(dir.c_str());
    }
};

void readRecord(short fields, std::string& image)
{
    // Field look-ups by name are linear: a few fields per record keep runs fast.
    for (short f = 1; f <= fields && f <= 8; ++f) {
        const std::string name = sx_FieldName(f);
        (void)sx_GetString(name.c_str());
        (void)sx_GetTrimString(name.c_str());
        (void)sx_GetDouble(name.c_str());
        (void)sx_GetLogical(name.c_str());
    }
    sx_GetRecord(image.data());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const Scratch scratch;
    const std::string table = scratch.dir + "/t.dbf";
    FILE* f = std::fopen(table.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);
    std::remove((scratch.dir + "/t.idx").c_str());

    if (sx_Use(table.c_str(), "T", SX_READWRITE, SX_SDEFOX) <= 0)
        return 0;
    sx_SetDeleted(size % 2);
    const short fields = sx_FieldCount();
    std::string image(static_cast<size_t>(sx_RecSize()), '\0');
    int guard = 0;
    for (sx_GoTop(); !sx_Eof() && guard < 150; sx_Skip(1), ++guard)
        readRecord(fields, image);
    for (sx_GoBottom(); !sx_Eof() && !sx_Bof() && guard < 300; sx_Skip(-1), ++guard)
        readRecord(fields, image);
    const std::string first = sx_FieldName(1);
    // Index files are rewritten whole: keep them small so runs stay fast.
    if (sx_RecCount() <= 2000 && sx_Index("t.idx", first.c_str(), 0, 0, "") > 0) {
        for (sx_GoTop(); !sx_Eof() && guard < 450; sx_Skip(1), ++guard)
            readRecord(fields, image);
        sx_Seek("1");
        sx_Close();
        if (sx_Use(table.c_str(), "T", SX_READWRITE, SX_SDEFOX) > 0)
            sx_IndexOpen((scratch.dir + "/t.idx").c_str());
    }
    sx_Query(("DELETED() .or. .not. EMPTY(" + first + ")").c_str());
    (void)sx_QueryRecCount();
    if (sx_RecCount() <= 2000)
        sx_AppendBlank();
    sx_CloseAll();
    return 0;
}
