#include "workarea.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include "bytes.h"
#include "env.h"
#include "idxcodec.h"
#include "numtext.h"

// The work area's index orders: keys of records, opening, creating, checking and
// rebuilding index files, the active order and seeks in it.

namespace xb {

namespace {

// The definition stored in an index file whose tree cannot be read any more: key
// expression (candidates from both forms), FOR condition and options, so that the index
// can be rebuilt as it was.
struct SalvagedDefinition {
    std::vector<std::string> keys;
    std::string condition;
    bool unique = false;
    bool descending = false;
};

bool salvageDefinition(const std::string& path, SalvagedDefinition* out)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    unsigned char head[1024] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    if (n < 16)
        return false;
    auto take = [&](size_t from, size_t maxLen) {
        std::string s;
        for (size_t i = from; i < static_cast<size_t>(n) && i < from + maxLen && head[i] != 0; ++i) {
            if (head[i] < 0x20 || head[i] > 0x7E)
                return std::string();
            s += static_cast<char>(head[i]);
        }
        while (!s.empty() && s.back() == ' ')
            s.pop_back();
        return s;
    };
    const unsigned char options = head[14];
    out->unique = (options & 0x01) != 0;
    const bool compact = (options & 0x20) != 0;
    if (!compact) {
        const std::string key = take(16, 220);
        if (!key.empty())
            out->keys.push_back(key);
        if (options & 0x08)
            out->condition = take(236, 220);
    }
    if (n >= 1024) {  // compact form: order at 502, expression pool at 512
        const size_t forPos = readLe16(head + 504), forLen = readLe16(head + 506);
        const size_t keyPos = readLe16(head + 508), keyLen = readLe16(head + 510);
        if (keyPos < 512 && keyLen > 1) {
            const std::string key = take(512 + keyPos, std::min<size_t>(keyLen, 512 - keyPos));
            if (!key.empty())
                out->keys.push_back(key);
        }
        if (compact) {
            out->descending = readLe16(head + 502) == 1;
            if (forPos < 512 && forLen > 1)
                out->condition = take(512 + forPos, std::min<size_t>(forLen, 512 - forPos));
        }
    }
    return !out->keys.empty();
}

}  // namespace

void WorkArea::keyFor(const OrderIndex& ix, const char* record, uint32_t recNo, std::string* out) const
{
    if (ix.plainCharOffset) {
        out->assign(record + ix.plainCharOffset, ix.keyLen);
        return;
    }
    EvalContext c{record, recNo, false};
    if (ix.numeric) {
        *out = IdxFile::numericKey(ix.key->numeric(c));
        return;
    }
    const std::string_view t = ix.key->text(c);
    out->assign(t.substr(0, ix.keyLen));
    out->resize(ix.keyLen, ' ');
}

bool WorkArea::included(const OrderIndex& ix, const char* record, uint32_t recNo) const
{
    if (!ix.condition)
        return true;
    EvalContext c{record, recNo, false};
    return ix.condition->logical(c);
}

bool WorkArea::indexHolds(OrderIndex& ix, const std::string& key, uint32_t recNo)
{
    const auto& v = ix.file->entries();
    bool found = false;
    for (size_t i = ix.file->seek(key, &found); i < v.size() && v[i].key == key; ++i)
        if (v[i].recNo == recNo)
            return true;
    return false;
}

Status WorkArea::compileIndexExprs(const std::string& keyText, const std::string& condText, OrderIndex* ix)
{
    if (Status st = Expr::compile(keyText, &m_table->fields(), &ix->key); !st.ok())
        return st;
    switch (ix->key->type()) {
    case ExprType::Numeric:
        ix->numeric = true;
        ix->keyLen = 8;
        break;
    case ExprType::Char:
    case ExprType::Date:
        ix->numeric = false;
        ix->keyLen = ix->key->width();
        if (ix->keyLen < 1 || ix->keyLen > 100)
            return Status::error(ErrorKind::BadExpression,
                                 "The key \"" + keyText + "\" is " + std::to_string(ix->keyLen)
                                     + " bytes long; an index key holds 1 to 100");
        break;
    default: return Status::error(ErrorKind::BadExpression, "The key \"" + keyText + "\" must be character or numeric");
    }
    ix->plainCharOffset = 0;
    if (!ix->numeric && ix->key->plainField() >= 0) {
        const FieldDesc& f = m_table->fields()[static_cast<size_t>(ix->key->plainField())];
        if (f.width == ix->keyLen)
            ix->plainCharOffset = f.offset;
    }
    ix->condition.reset();
    if (!trimRight(trimLeft(condText)).empty()) {
        if (Status st = Expr::compile(condText, &m_table->fields(), &ix->condition); !st.ok())
            return st;
        if (ix->condition->type() != ExprType::Logical)
            return Status::error(ErrorKind::BadExpression, "The index condition \"" + condText + "\" is not logical");
    }
    return Status();
}

// Writes the index anew from the table under the header lock (the lock every index
// writer holds), the count read again under it; a table opened read-only gets the order
// in memory and its file is left alone.
Status WorkArea::rebuild(OrderIndex& ix, const std::string& path, const std::string& keyText,
                         const std::string& condText, bool descending, bool unique)
{
    const bool writeFile = m_table->writable();
    std::optional<HeaderLockGuard> header;
    if (writeFile) {
        header.emplace(*m_table, m_settings->headerLockTimeoutMs);
        if (!header->status().ok())
            return Status::error(ErrorKind::Locked, "Cannot rebuild index " + path + ": " + header->status().message());
        const uint32_t before = m_table->recordCount();
        if (m_table->refreshCount())
            onCountChanged(before, m_table->recordCount());
    }
    const uint32_t count = m_table->recordCount();
    std::vector<IdxEntry> entries;
    entries.reserve(count);
    for (uint32_t r = 1; r <= count; ++r) {
        const char* rec = m_table->record(r);
        if (!included(ix, rec, r))
            continue;
        keyFor(ix, rec, r, &m_keyBuf);
        entries.push_back(IdxEntry{m_keyBuf, r});
    }
    Status read = m_table->takeReadError();
    if (!read.ok())
        return read;
    Status err;
    const IdxKeyType type = ix.numeric ? IdxKeyType::Numeric : IdxKeyType::Character;
    auto file = IdxFile::build(path, keyText, type, static_cast<int>(ix.keyLen), std::move(entries), &err, descending,
                               condText, writeFile, unique);
    if (!file)
        return Status::error(err.kind(), "Cannot write index " + path + ": " + err.message());
    ix.file = std::move(file);
    ix.stale = false;
    ++m_generation;
    return Status();
}

void WorkArea::rebuildStale()
{
    for (OrderIndex& ix : m_indexes) {
        if (!ix.stale)
            continue;
        const std::string path = ix.file->path();
        (void)rebuild(ix, path, ix.file->keyExpr(), ix.file->condition(), ix.file->descending(), ix.file->unique());
    }
}

// An index that does not describe this table's records would give wrong orders and
// wrong seeks; it is rebuilt from the table under its own definition.
Status WorkArea::verifyOrRebuild(OrderIndex& ix)
{
    const std::string path = ix.file->path();
    const std::string keyText = ix.file->keyExpr();
    const std::string condText = ix.file->condition();
    const bool descending = ix.file->descending();
    const IdxKeyType wantType = ix.numeric ? IdxKeyType::Numeric : IdxKeyType::Character;
    bool ok = ix.file->keyType() == wantType && static_cast<uint32_t>(ix.file->keyLen()) == ix.keyLen;

    const uint32_t count = m_table->recordCount();
    const auto& v = ix.file->entries();
    if (ok && ix.file->unique()) {
        // One entry per distinct key, the lowest record number holding it.
        std::vector<IdxEntry> expect;
        for (uint32_t r = 1; r <= count; ++r) {
            const char* rec = m_table->record(r);
            if (!included(ix, rec, r))
                continue;
            keyFor(ix, rec, r, &m_keyBuf);
            expect.push_back(IdxEntry{m_keyBuf, r});
        }
        std::stable_sort(expect.begin(), expect.end(),
                         [](const IdxEntry& a, const IdxEntry& b) { return a.key < b.key; });
        expect.erase(std::unique(expect.begin(), expect.end(),
                                 [](const IdxEntry& a, const IdxEntry& b) { return a.key == b.key; }),
                     expect.end());
        ok = expect.size() == v.size();
        for (size_t i = 0; ok && i < v.size(); ++i)
            ok = v[i].recNo == expect[i].recNo && v[i].key == expect[i].key;
    } else if (ok) {
        // One pass over the records in file order, each compared with the entry the
        // index holds for it: the records are read block by block, not in key order
        // (which would read the table again for almost every entry).
        constexpr uint32_t kNone = UINT32_MAX;
        std::vector<uint32_t> entryOf(static_cast<size_t>(count) + 1, kNone);
        for (size_t i = 0; ok && i < v.size(); ++i) {
            const uint32_t r = v[i].recNo;
            ok = r >= 1 && r <= count && entryOf[r] == kNone;
            if (ok)
                entryOf[r] = static_cast<uint32_t>(i);
        }
        for (uint32_t r = 1; ok && r <= count; ++r) {
            const char* rec = m_table->record(r);
            const bool in = included(ix, rec, r);
            if (entryOf[r] == kNone) {
                ok = !in;
                continue;
            }
            const std::string& key = v[entryOf[r]].key;
            if (ix.plainCharOffset) {
                ok = in && std::memcmp(key.data(), rec + ix.plainCharOffset, ix.keyLen) == 0;
            } else {
                keyFor(ix, rec, r, &m_keyBuf);
                ok = in && key == m_keyBuf;
            }
        }
    }
    if (ok)
        return Status();
    return rebuild(ix, path, keyText, condText, descending, ix.file->unique());
}

Status WorkArea::createIndex(const std::string& path, const std::string& keyExpr, const std::string& condition,
                             bool descending, int* handle)
{
    (void)settle();
    sync();
    Status st = checkIndexTarget(path);
    if (!st.ok())
        return st;
    OrderIndex ix;
    st = compileIndexExprs(keyExpr, condition, &ix);
    if (!st.ok())
        return st;
    // What the file's header cannot hold would be lost on the next open.
    for (const std::string* text : {&keyExpr, &condition})
        if (trimRight(trimLeft(*text)).size() > static_cast<size_t>(idxcodec::kMaxExprLen))
            return Status::error(ErrorKind::BadExpression,
                                 "The expression \"" + *text + "\" is longer than an index file holds ("
                                     + std::to_string(idxcodec::kMaxExprLen) + " characters)");
    st = rebuild(ix, path, keyExpr, condition, descending, false);
    if (!st.ok())
        return st;
    // The same file open twice would be two diverging copies: the new one replaces it.
    for (size_t i = 0; i < m_indexes.size(); ++i) {
        if (m_indexes[i].file->path() == path) {
            m_indexes[i] = std::move(ix);
            *handle = static_cast<int>(i + 1);
            setOrder(*handle);
            goTop();
            return Status();
        }
    }
    m_indexes.push_back(std::move(ix));
    *handle = static_cast<int>(m_indexes.size());
    setOrder(*handle);
    goTop();
    return Status();
}

// A new index may replace an index file, never anything else: not the table itself (the
// same file under another name or through a link), not another program's file.
Status WorkArea::checkIndexTarget(const std::string& path) const
{
    struct stat st { };
    if (::stat(path.c_str(), &st) != 0) {
        struct stat ls { };
        if (errno == ENOENT && ::lstat(path.c_str(), &ls) != 0)
            return Status();
        return Status::error(ErrorKind::Exists,
                             "Cannot create index " + path
                                 + ": the name is taken by a link to a file that does not exist");
    }
    if (m_table->isSameFile(st))
        return Status::error(ErrorKind::Exists,
                             "Cannot create index " + path + ": it is the table " + m_table->path() + " itself");
    if (!S_ISREG(st.st_mode))
        return Status::error(ErrorKind::Exists, "Cannot create index " + path + ": it is not a regular file");
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return systemError("Cannot create index " + path, errno);
    unsigned char head[idxcodec::kHeaderBytes] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    idxcodec::Image image;
    std::string why;
    if (n < 0 || !idxcodec::decodeHeader(head, static_cast<size_t>(n), static_cast<uint64_t>(st.st_size), &image, &why))
        return Status::error(ErrorKind::Exists,
                             "Cannot create index " + path + ": a file that is not an index already has that name");
    return Status();
}

Status WorkArea::openIndex(const std::string& path, int* handle)
{
    (void)settle();
    sync();
    for (size_t i = 0; i < m_indexes.size(); ++i)
        if (m_indexes[i].file->path() == path) {
            *handle = static_cast<int>(i + 1);
            return Status();
        }
    if (m_table->writable())
        removeStaleTemps(path);
    Status err;
    OrderIndex ix;
    // Even with room to spare for a file rewritten in free pages, an index of this table
    // cannot be larger than this; a bigger file is not read whole.
    const uint64_t maxBytes = (uint64_t{64} << 20) + uint64_t{m_table->recordCount()} * 1024;
    ix.file = IdxFile::open(path, &err, nullptr, maxBytes);
    if (!ix.file) {
        struct stat info { };
        if (::stat(path.c_str(), &info) != 0)
            return Status::error(ErrorKind::NotFound, "Index file " + path + " does not exist");
        if (!S_ISREG(info.st_mode) || static_cast<uint64_t>(info.st_size) > maxBytes)
            return Status::error(ErrorKind::Corrupt, "Index file " + path + " cannot be read: " + err.message());
        // Refused or failing (no access, a failing medium): not a damaged index, and not
        // one to rebuild over.
        if (err.kind() != ErrorKind::Corrupt)
            return Status::error(err.kind(), "Index file " + path + " cannot be read: " + err.message());
        // Unreadable: rebuild it as it was defined (key, condition, options) when that can
        // still be read and fits the table. Otherwise say so: the caller knows its own
        // index keys and rebuilds them; working in record order instead would be silent.
        SalvagedDefinition def;
        salvageDefinition(path, &def);
        for (const std::string& keyText : def.keys) {
            if (!compileIndexExprs(keyText, def.condition, &ix).ok())
                continue;
            Status st = rebuild(ix, path, keyText, def.condition, def.descending, def.unique);
            if (!st.ok())
                return st;
            m_indexes.push_back(std::move(ix));
            *handle = static_cast<int>(m_indexes.size());
            return Status();
        }
        return Status::error(ErrorKind::Corrupt,
                             "Index file " + path
                                 + " cannot be read and its key cannot be "
                                   "recovered; create it again: "
                                 + err.message());
    }
    if (!m_table->writable())
        ix.file->setMemoryOnly();  // the file is not ours to change
    Status st = compileIndexExprs(ix.file->keyExpr(), ix.file->condition(), &ix);
    if (!st.ok())
        return Status::error(st.kind(), "Index " + path + " does not fit the table: " + st.message());
    st = verifyOrRebuild(ix);
    if (!st.ok())
        return st;
    m_indexes.push_back(std::move(ix));
    *handle = static_cast<int>(m_indexes.size());
    return Status();
}

Status WorkArea::reindex()
{
    (void)settle();
    sync();
    for (OrderIndex& ix : m_indexes) {
        Status st = rebuild(ix, ix.file->path(), ix.file->keyExpr(), ix.file->condition(), ix.file->descending(),
                            ix.file->unique());
        if (!st.ok())
            return st;
    }
    goTop();
    return Status();
}

int WorkArea::setOrder(int handle)
{
    (void)settle();
    const int previous = m_order;
    if (handle < 0 || static_cast<size_t>(handle) > m_indexes.size())
        return previous;
    m_order = handle;
    ++m_generation;
    return previous;
}

const OrderIndex* WorkArea::index(int handle) const
{
    if (handle < 1 || static_cast<size_t>(handle) > m_indexes.size())
        return nullptr;
    return &m_indexes[static_cast<size_t>(handle - 1)];
}

void WorkArea::closeIndexes()
{
    (void)settle();
    m_indexes.clear();
    m_order = 0;
    ++m_generation;
}

Status WorkArea::seek(std::string_view key, bool raw, bool* found)
{
    (void)settle();
    *found = false;
    m_table->dropCache();
    sync();
    m_found = false;
    if (m_order == 0)
        return Status::error(ErrorKind::BadArgument, "Seek needs an active index order");
    OrderIndex& ix = active();
    std::string k;
    if (ix.numeric && !raw) {
        k = IdxFile::numericKey(parseNumeric(key));
    } else {
        k.assign(key.substr(0, ix.keyLen));
        if (m_settings->exact && !ix.numeric)
            k.resize(ix.keyLen, ' ');
    }
    const auto& v = ix.file->entries();
    const size_t n = v.size();
    const uint32_t total = m_table->recordCount();
    auto matches = [&](size_t i) { return std::memcmp(v[i].key.data(), k.data(), k.size()) == 0; };
    auto usable = [&](size_t i) { return v[i].recNo <= total && visible(v[i].recNo); };
    bool dummy = false;
    const size_t lower = ix.file->seek(k, &dummy);
    size_t upper = lower;
    while (upper < n && matches(upper))
        ++upper;
    const bool desc = ix.file->descending();
    // The first visible entry of the equal range, in walk order.
    if (!desc) {
        for (size_t i = lower; i < upper; ++i)
            if (usable(i)) {
                setCurrent(v[i].recNo);
                m_found = *found = true;
                return Status();
            }
    } else {
        for (size_t i = upper; i-- > lower;)
            if (usable(i)) {
                setCurrent(v[i].recNo);
                m_found = *found = true;
                return Status();
            }
    }
    if (m_settings->softSeek) {
        if (!desc) {
            for (size_t i = upper; i < n; ++i)
                if (usable(i)) {
                    setCurrent(v[i].recNo);
                    return Status();
                }
        } else {
            for (size_t i = lower; i-- > 0;)
                if (usable(i)) {
                    setCurrent(v[i].recNo);
                    return Status();
                }
        }
    }
    setEof();
    return Status();
}

std::string WorkArea::currentKey()
{
    if (m_order == 0)
        return std::string();
    std::string k;
    keyFor(active(), currentRecord(), m_recNo, &k);
    return k;
}

}  // namespace xb
