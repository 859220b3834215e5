#include "workarea.h"

#include <chrono>
#include <cstring>
#include <optional>

#include "bytes.h"

// The work area's cursor, query and locks, and how it keeps up with other holders; its
// writes are in workarea_writes.cpp, its index orders in workarea_indexes.cpp.

namespace xb {

WorkArea::WorkArea(std::unique_ptr<DbfFile> table, std::string alias, const Settings* settings)
    : m_table(std::move(table)), m_alias(std::move(alias)), m_settings(settings)
{
    m_queryBits.assign(1, 0);
    goTop();
}

WorkArea::~WorkArea()
{
    (void)settle();  // writes under the header lock it holds
    m_table->unlockAll();
}

Status WorkArea::settle()
{
    if (!m_appendPending)
        return Status();
    m_appendPending = false;
    Status st = flushIndexes();
    m_table->unlockHeader();
    return st;
}

void WorkArea::abandonPending()
{
    if (m_appendPending) {
        m_appendPending = false;
        m_table->unlockHeader();
    }
}

Status WorkArea::commit()
{
    Status st = settle();
    if (!st.ok())
        return st;
    st = m_table->sync();
    for (OrderIndex& ix : m_indexes) {
        Status err;
        if (!ix.file->sync(&err) && st.ok())
            st = Status::error(err.kind(), "Cannot write index " + ix.file->path() + " to disk: " + err.message());
    }
    return st;
}

Status WorkArea::flushIndexes()
{
    Status result;
    for (OrderIndex& ix : m_indexes) {
        Status err;
        if (!ix.file->flush(&err)) {
            ix.stale = true;  // memory and file differ now: rebuilt at the next look
            if (result.ok())
                result = Status::error(err.kind(), "Cannot write index " + ix.file->path() + ": " + err.message());
        }
        ix.file->setDeferredWrites(false);
    }
    return result;
}

std::string WorkArea::folder() const
{
    const std::string& p = m_table->path();
    const size_t slash = p.rfind('/');
    return slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
}

// ---------------------------------------------------------------------------
// Keeping up with the files

void WorkArea::sync()
{
    const uint32_t before = m_table->recordCount();
    if (m_table->refreshCount())
        onCountChanged(before, m_table->recordCount());
    // One fstat of the table instead of a look at every index file: other holders change
    // indexes right after the table. The look after the next one and a look every half
    // second cover an index written just after we saw its table change.
    if (!m_indexes.empty()) {
        const bool tableChanged = m_table->changedSinceLastLook();
        const auto now = std::chrono::steady_clock::now();
        if (tableChanged || m_recheckIndexes || now - m_lastIndexCheck > std::chrono::milliseconds(500)) {
            m_recheckIndexes = tableChanged;
            m_lastIndexCheck = now;
            reloadChangedIndexes();
        }
    }
    if (!m_appendPending)
        for (const OrderIndex& ix : m_indexes)
            if (ix.stale) {
                rebuildStale();
                break;
            }
    if (!m_eof && m_recNo > m_table->recordCount())
        setEof();
}

void WorkArea::reloadChangedIndexes()
{
    for (OrderIndex& ix : m_indexes) {
        if (!ix.file->changedOnDisk())
            continue;
        // A read-only open cannot mend the file: what another program wrote there may
        // still lack records its own order holds, so the order is checked again.
        if (!ix.file->reload(nullptr) || !m_table->writable())
            (void)verifyOrRebuild(ix);
        ++m_generation;
    }
}

void WorkArea::onCountChanged(uint32_t before, uint32_t now)
{
    if (m_query) {
        m_queryBits.resize(static_cast<size_t>(now) + 1, 0);
        for (uint32_t r = before + 1; r <= now; ++r)
            evaluateQueryBit(r);
    }
    if (m_indexes.empty())
        return;
    reloadChangedIndexes();
    if (now < before)
        return;
    // Another program appended without keeping our indexes: add the missing keys under
    // the header lock, which every appender of ours holds while it writes an index.
    // (An append in progress already holds it and keeps it.) A read-only open adds them
    // to its orders in memory.
    std::optional<HeaderLockGuard> header;
    if (m_table->writable()) {
        header.emplace(*m_table, m_settings->headerLockTimeoutMs);
        if (!header->status().ok())
            return;
    }
    for (OrderIndex& ix : m_indexes) {
        for (uint32_t r = before + 1; r <= now; ++r) {
            const char* rec = m_table->record(r);
            if (!included(ix, rec, r))
                continue;
            keyFor(ix, rec, r, &m_keyBuf);
            if (!indexHolds(ix, m_keyBuf, r)) {
                ix.file->setDeferredWrites(true);
                (void)ix.file->insert(IdxEntry{m_keyBuf, r}, nullptr);
            }
        }
    }
    if (!m_appendPending)
        (void)flushIndexes();
    ++m_generation;
}

uint32_t WorkArea::recordCount()
{
    sync();
    return m_table->recordCount();
}

// ---------------------------------------------------------------------------
// Visibility and the cursor

void WorkArea::setCurrent(uint32_t recNo)
{
    m_recNo = recNo;
    m_eof = false;
    m_bof = false;
}

void WorkArea::setEof()
{
    m_recNo = m_table->recordCount() + 1;
    m_eof = true;
    m_bof = false;
    m_walkGeneration = ~0ULL;
}

const char* WorkArea::currentRecord() const
{
    if (m_eof || m_recNo < 1 || m_recNo > m_table->recordCount())
        return m_table->blankRecord();
    return m_table->record(m_recNo);
}

bool WorkArea::currentDeleted() const
{
    return currentRecord()[0] == '*';
}

EvalContext WorkArea::context() const
{
    EvalContext c;
    c.record = currentRecord();
    c.recNo = m_eof ? m_table->recordCount() + 1 : m_recNo;
    c.exact = m_settings->exact;
    return c;
}

size_t WorkArea::walkSize()
{
    return active().file->entries().size();
}

uint32_t WorkArea::walkRecord(size_t w)
{
    OrderIndex& ix = active();
    const auto& v = ix.file->entries();
    return v[ix.file->descending() ? v.size() - 1 - w : w].recNo;
}

// Where the current record stands in the active order; recomputed only when the
// index or the record changed since the last time.
WorkArea::WalkPos WorkArea::walkPosition()
{
    if (m_walkGeneration == m_generation && m_walkRecNo == m_recNo)
        return m_walk;
    OrderIndex& ix = active();
    const auto& v = ix.file->entries();
    WalkPos wp;
    const uint32_t count = m_table->recordCount();
    if (m_eof || m_recNo < 1 || m_recNo > count) {
        wp.pos = v.size();
    } else {
        keyFor(ix, m_table->record(m_recNo), m_recNo, &m_keyBuf);
        bool found = false;
        size_t p = ix.file->seek(m_keyBuf, &found);
        size_t at = p;
        bool hit = false;
        for (size_t i = p; i < v.size() && std::memcmp(v[i].key.data(), m_keyBuf.data(), m_keyBuf.size()) == 0; ++i) {
            if (v[i].recNo == m_recNo) {
                at = i;
                hit = true;
                break;
            }
        }
        if (!hit) {
            // A stale key (the record changed under us) still has its entry somewhere.
            for (size_t i = 0; i < v.size(); ++i)
                if (v[i].recNo == m_recNo) {
                    at = i;
                    hit = true;
                    break;
                }
        }
        if (ix.file->descending())
            wp.pos = hit ? v.size() - 1 - at : v.size() - at;
        else
            wp.pos = at;
        wp.exact = hit;
    }
    m_walk = wp;
    m_walkGeneration = m_generation;
    m_walkRecNo = m_recNo;
    return wp;
}

void WorkArea::goTop()
{
    m_table->dropCache();
    (void)settle();
    sync();
    m_found = false;
    const uint32_t count = m_table->recordCount();
    if (m_order == 0) {
        for (uint32_t r = 1; r <= count; ++r)
            if (visible(r)) {
                setCurrent(r);
                return;
            }
    } else {
        const size_t n = walkSize();
        for (size_t w = 0; w < n; ++w) {
            const uint32_t r = walkRecord(w);
            if (r <= count && visible(r)) {
                setCurrent(r);
                m_walk = WalkPos{w, true};
                m_walkGeneration = m_generation;
                m_walkRecNo = r;
                return;
            }
        }
    }
    setEof();
    m_bof = true;
}

void WorkArea::goBottom()
{
    m_table->dropCache();
    (void)settle();
    sync();
    m_found = false;
    const uint32_t count = m_table->recordCount();
    if (m_order == 0) {
        for (uint32_t r = count; r >= 1; --r)
            if (visible(r)) {
                setCurrent(r);
                return;
            }
    } else {
        for (size_t w = walkSize(); w-- > 0;) {
            const uint32_t r = walkRecord(w);
            if (r <= count && visible(r)) {
                setCurrent(r);
                m_walk = WalkPos{w, true};
                m_walkGeneration = m_generation;
                m_walkRecNo = r;
                return;
            }
        }
    }
    setEof();
    m_bof = true;
}

void WorkArea::go(int64_t recNo)
{
    m_table->dropCache();
    (void)settle();
    sync();
    m_found = false;
    if (recNo >= 1 && recNo <= m_table->recordCount())
        setCurrent(static_cast<uint32_t>(recNo));
    else
        setEof();
}

void WorkArea::skip(int64_t count)
{
    (void)settle();
    if (count == 0)
        return;
    m_found = false;
    const uint32_t total = m_table->recordCount();
    if (count > 0 && m_eof)
        return;
    if (count > 0 && m_recNo > total) {  // the file shrank under us
        setEof();
        return;
    }
    const bool forward = count > 0;
    uint64_t steps = forward ? static_cast<uint64_t>(count) : static_cast<uint64_t>(-(count + 1)) + 1;

    if (m_order == 0) {
        uint32_t r = m_eof ? total + 1 : m_recNo;
        while (steps > 0) {
            if (forward) {
                do {
                    ++r;
                } while (r <= total && !visible(r));
                if (r > total) {
                    setEof();
                    return;
                }
            } else {
                do {
                    --r;
                } while (r >= 1 && !visible(r));
                if (r < 1) {
                    goTop();
                    m_bof = true;
                    return;
                }
            }
            --steps;
        }
        setCurrent(r);
        return;
    }

    const size_t n = walkSize();
    WalkPos wp = walkPosition();
    // From a record that is not in the order (outside a FOR condition) the first step
    // lands on the entry where it would stand.
    size_t w = wp.pos;
    bool first = !wp.exact;
    while (steps > 0) {
        if (forward) {
            if (!first)
                ++w;
            while (w < n && !(walkRecord(w) <= total && visible(walkRecord(w))))
                ++w;
            if (w >= n) {
                setEof();
                return;
            }
        } else {
            bool found = false;
            while (w > 0) {
                --w;
                const uint32_t r = walkRecord(w);
                if (r <= total && visible(r)) {
                    found = true;
                    break;
                }
            }
            if (!found) {
                goTop();
                m_bof = true;
                return;
            }
        }
        first = false;
        --steps;
    }
    const uint32_t r = walkRecord(w);
    setCurrent(r);
    m_walk = WalkPos{w, true};
    m_walkGeneration = m_generation;
    m_walkRecNo = r;
}

// ---------------------------------------------------------------------------
// Query

void WorkArea::evaluateQueryBit(uint32_t recNo)
{
    if (!m_query || recNo < 1 || recNo >= m_queryBits.size())
        return;
    EvalContext c{m_table->record(recNo), recNo, m_settings->exact};
    m_queryBits[recNo] = m_query->logical(c) ? 1 : 0;
}

Status WorkArea::setQuery(std::string_view expr)
{
    (void)settle();
    if (trimRight(trimLeft(expr)).empty()) {
        m_query.reset();
        m_queryText.clear();
        m_queryBits.assign(1, 0);
        goTop();
        return Status();
    }
    std::unique_ptr<Expr> q;
    if (Status st = Expr::compile(expr, &m_table->fields(), &q); !st.ok())
        return st;
    if (q->type() != ExprType::Logical)
        return Status::error(ErrorKind::BadExpression, "The query \"" + std::string(expr) + "\" is not logical");
    sync();
    const uint32_t count = m_table->recordCount();
    m_query = std::move(q);
    m_queryText.assign(expr);
    m_queryBits.assign(static_cast<size_t>(count) + 1, 0);
    EvalContext c;
    c.exact = m_settings->exact;
    for (uint32_t r = 1; r <= count; ++r) {
        c.record = m_table->record(r);
        c.recNo = r;
        m_queryBits[r] = m_query->logical(c) ? 1 : 0;
    }
    goTop();
    return Status();
}

bool WorkArea::queryBit(uint32_t recNo) const
{
    if (!m_query)
        return true;
    return recNo < m_queryBits.size() && m_queryBits[recNo];
}

void WorkArea::setQueryBit(uint32_t recNo, bool value)
{
    if (m_query && recNo >= 1 && recNo < m_queryBits.size())
        m_queryBits[recNo] = value ? 1 : 0;
}

uint32_t WorkArea::visibleCount()
{
    sync();
    const uint32_t count = m_table->recordCount();
    uint32_t n = 0;
    for (uint32_t r = 1; r <= count; ++r)
        if (visible(r))
            ++n;
    return n;
}

uint32_t WorkArea::orderPosition()
{
    if (m_eof)
        return 0;
    const uint32_t count = m_table->recordCount();
    uint32_t n = 0;
    if (m_order == 0) {
        for (uint32_t r = 1; r <= m_recNo && r <= count; ++r)
            if (visible(r))
                ++n;
        return n;
    }
    const WalkPos wp = walkPosition();
    for (size_t w = 0; w < wp.pos && w < walkSize(); ++w) {
        const uint32_t r = walkRecord(w);
        if (r <= count && visible(r))
            ++n;
    }
    return n + 1;
}

// ---------------------------------------------------------------------------
// Locks

Status WorkArea::lockRecord(int64_t recNo)
{
    (void)settle();
    sync();
    if (recNo < 1 || recNo > m_table->recordCount())
        return Status::error(ErrorKind::NotFound, "Record " + std::to_string(recNo) + " does not exist");
    return m_table->lockRecord(static_cast<uint32_t>(recNo), m_settings->lockTimeoutMs);
}

void WorkArea::unlock(int64_t recNo)
{
    (void)settle();
    if (recNo == 0)
        m_table->unlockAll();
    else if (recNo > 0 && recNo <= UINT32_MAX)
        m_table->unlockRecord(static_cast<uint32_t>(recNo));
}

Status WorkArea::lockFile()
{
    (void)settle();
    return m_table->lockFile(m_settings->lockTimeoutMs);
}

}  // namespace xb
