#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "xbase/include/sde.h"

// Shared helpers of the engine tests: a fresh temporary folder and engine state per
// test, table builders going through the C interface, and file byte access.
namespace enginetest {

namespace fs = std::filesystem;

inline std::string fixture(const std::string& name)
{
    return std::string(XBASE_FIXTURES_DIR) + "/" + name;
}

inline std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void writeFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

inline uint32_t le32(const std::string& s, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at]))
        | static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8
        | static_cast<uint32_t>(static_cast<unsigned char>(s[at + 2])) << 16
        | static_cast<uint32_t>(static_cast<unsigned char>(s[at + 3])) << 24;
}

inline uint32_t le16(const std::string& s, size_t at)
{
    return static_cast<uint32_t>(static_cast<unsigned char>(s[at]))
        | static_cast<uint32_t>(static_cast<unsigned char>(s[at + 1])) << 8;
}

struct FieldDef {
    const char* name;
    const char* type;
    int width;
    int decimals;
};

// DATA.DBF as the program creates it.
inline std::vector<FieldDef> dataFields()
{
    return {{"CONTID", "N", 5, 0}, {"POTEN", "N", 18, 7}, {"FACT", "N", 18, 7}};
}

// A CY-like reference table.
inline std::vector<FieldDef> cyFields()
{
    return {{"CYID", "N", 5, 0}, {"CODE", "C", 10, 0}, {"DESCR", "C", 100, 0}};
}

// Each test starts from a closed engine with default settings and an empty folder.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        resetEngine();
        char tmpl[] = "/tmp/xbase_test_XXXXXX";
        ASSERT_NE(::mkdtemp(tmpl), nullptr);
        m_dir = tmpl;
    }

    void TearDown() override
    {
        resetEngine();
        std::error_code ec;
        fs::remove_all(m_dir, ec);
    }

    static void resetEngine()
    {
        sx_CloseAll();
        sx_SetDeleted(0);
        sx_SetExact(0);
        sx_SetSoftSeek(0);
        sx_SetLockTimeout(0);
        sx_Select(1);
    }

    std::string path(const std::string& name) const { return m_dir + "/" + name; }

    // Creates a table and leaves it closed. Returns the file path.
    std::string createTable(const std::string& name, const std::vector<FieldDef>& fields)
    {
        const std::string p = path(name);
        const short area = sx_CreateNew(p.c_str(), nullptr, SX_SDEFOX, static_cast<short>(fields.size()));
        EXPECT_GT(area, 0) << sx_LastError();
        for (const FieldDef& f : fields)
            sx_CreateField(f.name, f.type, static_cast<short>(f.width), static_cast<short>(f.decimals));
        EXPECT_NE(sx_CreateExec(), 0) << sx_LastError();
        sx_Close();
        return p;
    }

    short open(const std::string& file, short mode = SX_READWRITE, const char* alias = nullptr)
    {
        const short area = sx_Use(file.c_str(), alias, mode, SX_SDEFOX);
        EXPECT_GT(area, 0) << sx_LastError();
        return area;
    }

    // Appends one record; values are given per field in field order as the text to
    // store (numeric texts are right-aligned, character texts left-aligned).
    static void appendRow(const std::vector<std::string>& values, bool deleted = false)
    {
        sx_AppendBlank();
        std::string image = rowImage(values, deleted);
        sx_PutRecord(image.data());
    }

    static std::string rowImage(const std::vector<std::string>& values, bool deleted = false)
    {
        std::string image(static_cast<size_t>(sx_RecSize()), ' ');
        image[0] = deleted ? '*' : ' ';
        const short n = sx_FieldCount();
        for (short i = 1; i <= n && static_cast<size_t>(i) <= values.size(); ++i) {
            const std::string name = sx_FieldName(i);
            const size_t off = static_cast<size_t>(sx_FieldOffset(name.c_str()));
            const size_t w = static_cast<size_t>(sx_FieldWidth(name.c_str()));
            std::string v = values[static_cast<size_t>(i - 1)].substr(0, w);
            const bool right = std::string(sx_FieldType(name.c_str())) == "N";
            if (right)
                v = std::string(w - v.size(), ' ') + v;
            else
                v += std::string(w - v.size(), ' ');
            image.replace(off, w, v);
        }
        return image;
    }

    static std::string currentRecord()
    {
        std::string image(static_cast<size_t>(sx_RecSize()), '\0');
        sx_GetRecord(image.data());
        return image;
    }

    // Record numbers seen from the top of the current order to its end.
    static std::vector<long> walk()
    {
        std::vector<long> recs;
        for (sx_GoTop(); !sx_Eof(); sx_Skip(1)) {
            recs.push_back(sx_RecNo());
            if (recs.size() > 1000000)
                break;
        }
        return recs;
    }

    static std::vector<long> walkBack()
    {
        std::vector<long> recs;
        for (sx_GoBottom(); !sx_Eof() && !sx_Bof(); sx_Skip(-1)) {
            recs.push_back(sx_RecNo());
            if (recs.size() > 1000000)
                break;
        }
        return recs;
    }

    std::string m_dir;
};

}  // namespace enginetest
