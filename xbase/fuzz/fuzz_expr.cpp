// libFuzzer entry: the bytes are an xBase expression over a small table with
// character, numeric, logical and date fields; valid ones are evaluated on every
// record (and the phantom record at the end), logical ones also run as a query.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "xbase/include/sde.h"

namespace {

struct Scratch {
    std::string dir;
    ~Scratch()
    {
        sx_CloseAll();
        if (!dir.empty()) {
            std::remove((dir + "/t.dbf").c_str());
            ::rmdir(dir.c_str());
        }
    }
};

bool openTable()
{
    static Scratch scratch;
    static std::string path;
    if (path.empty()) {
        char tmpl[] = "/tmp/fuzz_expr.XXXXXX";
        if (!::mkdtemp(tmpl))
            return false;
        scratch.dir = tmpl;
        path = scratch.dir + "/t.dbf";
        sx_CreateNew(path.c_str(), "T", SX_SDEFOX, 5);
        sx_CreateField("CONTID", "N", 5, 0);
        sx_CreateField("CODE", "C", 10, 0);
        sx_CreateField("POTEN", "N", 18, 7);
        sx_CreateField("FLAG", "L", 1, 0);
        sx_CreateField("DAY", "D", 8, 0);
        if (!sx_CreateExec())
            return false;
        const char* rows[][5] = {{"132", "12001", "1.5", "T", "20261210"},
                                 {"-3", "", "-12.5", "F", ""},
                                 {"", "\xC0\xB2\xFF", "", "", "19991231"}};
        for (const auto& r : rows) {
            sx_AppendBlank();
            sx_Replace("CONTID", SX_R_CHAR, r[0]);
            sx_Replace("CODE", SX_R_CHAR, r[1]);
            sx_Replace("POTEN", SX_R_CHAR, r[2]);
            sx_Replace("FLAG", SX_R_CHAR, r[3]);
            sx_Replace("DAY", SX_R_DATESTR, r[4]);
        }
        sx_Delete();
        sx_SetDeleted(1);
    }
    return sx_WorkArea("T") > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (!openTable())
        return 0;
    const std::string expr(reinterpret_cast<const char*>(data), size);  // stops at a NUL, as C callers do
    const short type = sx_EvalTest(expr.c_str());
    if (type == SX_EVAL_INVALID)
        return 0;
    for (long r = 1; r <= 4; ++r) {
        sx_Go(r);
        (void)sx_EvalString(expr.c_str());
        (void)sx_EvalNumeric(expr.c_str());
        (void)sx_EvalLogical(expr.c_str());
    }
    if (type == SX_EVAL_LOGICAL) {
        sx_Query(expr.c_str());
        for (sx_GoTop(); !sx_Eof(); sx_Skip(1))
            ;
        (void)sx_QueryRecCount();
        sx_Query("");
    }
    return 0;
}
