// libFuzzer entry: the bytes become an index file, which is opened as the engine opens it.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include <unistd.h>

#include "xbase/src/idx.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    struct ScratchFile {
        std::string path;
        ScratchFile()
        {
            char tmpl[] = "/tmp/fuzz_idx.XXXXXX";
            const int fd = ::mkstemp(tmpl);
            if (fd >= 0)
                ::close(fd);
            path = tmpl;
        }
        ~ScratchFile() { ::unlink(path.c_str()); }
    };
    static const ScratchFile scratch;
    const std::string& path = scratch.path;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return 0;
    std::fwrite(data, 1, size, f);
    std::fclose(f);

    xb::Status err;
    auto idx = xb::IdxFile::open(path, &err);
    if (idx) {
        // Whatever was accepted must be usable.
        bool found = false;
        if (!idx->entries().empty())
            idx->seek(idx->entries().back().key, &found);
        if (!found && !idx->entries().empty())
            __builtin_trap();
    }
    return 0;
}
