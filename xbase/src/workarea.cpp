#include "workarea.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

#include "bytes.h"
#include "env.h"
#include "idxcodec.h"
#include "numtext.h"

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

// Another holder's file lock over the new record's lock byte (an index being built, a
// check writing its totals) lasts about as long as another appender's turn: an append is
// tried again for as long as it would wait for the header lock, letting the header lock
// go in between because that holder may be waiting for it.
// The step says whether it may be tried again: only when it wrote nothing.
template <class Step> Status appendWhenFileFree(int timeoutMs, Step step)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        bool untouched = false;
        Status st = step(static_cast<int>(std::max<decltype(left)>(left, 0)), &untouched);
        if (st.ok() || !untouched || st.kind() != ErrorKind::Locked || Clock::now() >= deadline)
            return st;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

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

bool WorkArea::visible(uint32_t recNo) const
{
    if (m_settings->deleted && m_table->record(recNo)[0] == '*')
        return false;
    if (m_query && !m_queryBits[recNo])
        return false;
    return true;
}

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
// Writes

Status WorkArea::ensureLocked(uint32_t recNo, bool* tookLock)
{
    *tookLock = false;
    if (m_table->holdsFileLock() || m_table->holdsRecordLock(recNo))
        return Status();
    Status st = m_table->lockRecord(recNo, m_settings->lockTimeoutMs);
    if (st.ok())
        *tookLock = true;
    return st;
}

Status WorkArea::putRecord(const char* image)
{
    return patchRecord([&](char* record) {
        std::memcpy(record, image, m_table->recordLength());
        return Status();
    });
}

Status WorkArea::setDeleted(bool deleted)
{
    return patchRecord([&](char* record) {
        record[0] = deleted ? '*' : ' ';
        return Status();
    });
}

// Every change of an existing record: its lock first, then the record as the file holds
// it now (another holder may have changed it while we waited), then the change.
Status WorkArea::patchRecord(const std::function<Status(char* record)>& patch)
{
    if (!m_table->writable())
        return Status::error(ErrorKind::ReadOnly, "The table " + m_table->path() + " is opened read-only");
    if (m_eof || m_recNo < 1 || m_recNo > m_table->recordCount())
        return Status::error(ErrorKind::NotFound, "There is no current record to write");
    const uint32_t r = m_recNo;
    if (m_appendPending && r != m_pendingRecNo) {
        Status st = settle();
        if (!st.ok())
            return st;
    }
    RecordLockGuard lock(*m_table, r, m_settings->lockTimeoutMs);
    if (!lock.status().ok())
        return lock.status();
    std::string old;
    Status st = m_table->readRecord(r, &old);
    if (!st.ok())
        return st;
    std::string image = old;
    st = patch(image.data());
    if (!st.ok())
        return st;
    st = writeLocked(r, old, image.data());
    Status settled = settle();
    return st.ok() ? settled : st;
}

bool WorkArea::keysChange(const char* oldImage, const char* newImage, uint32_t recNo)
{
    for (OrderIndex& ix : m_indexes) {
        const bool wasIn = included(ix, oldImage, recNo);
        const bool isIn = included(ix, newImage, recNo);
        if (wasIn != isIn)
            return true;
        if (!isIn)
            continue;
        keyFor(ix, oldImage, recNo, &m_keyBuf);
        keyFor(ix, newImage, recNo, &m_keyBuf2);
        if (m_keyBuf != m_keyBuf2)
            return true;
    }
    return false;
}

// Writes a record whose lock is held. When a key changes, the index lock (the header
// lock) is taken before anything is written; when the index step fails after all, the old
// record is put back, so that table and indexes still agree, and the failure is reported.
Status WorkArea::writeLocked(uint32_t r, const std::string& old, const char* image)
{
    const bool keys = keysChange(old.data(), image, r);
    std::optional<HeaderLockGuard> header;
    if (keys && !m_appendPending) {
        header.emplace(*m_table, m_settings->headerLockTimeoutMs);
        if (!header->status().ok())
            return Status::error(ErrorKind::Locked,
                                 "Cannot update the indexes of " + m_table->path() + ": " + header->status().message());
    }
    Status st = m_table->writeRecord(r, image);
    if (!st.ok()) {
        (void)m_table->writeRecord(r, old.data());  // a short write may have changed a part
        return st;
    }
    if (keys) {
        st = updateIndexes(old.data(), image, r);
        if (!st.ok() && !m_appendPending) {
            const Status back = m_table->writeRecord(r, old.data());
            // The files hold the old keys (an index is switched over whole or not at all):
            // read them again; what cannot be read is rebuilt at the next look.
            for (OrderIndex& ix : m_indexes) {
                ix.stale = !back.ok() || !ix.file->reload(nullptr);
            }
            ++m_generation;
        }
    }
    evaluateQueryBit(r);
    return st;
}

Status WorkArea::appendBlank()
{
    return appendWhenFileFree(m_settings->headerLockTimeoutMs, [this](int headerTimeoutMs, bool* untouched) {
        return appendBlankOnce(headerTimeoutMs, untouched);
    });
}

Status WorkArea::appendBlankOnce(int headerTimeoutMs, bool* untouched)
{
    if (!m_table->writable())
        return Status::error(ErrorKind::ReadOnly, "The table " + m_table->path() + " is opened read-only");
    Status st = settle();
    if (!st.ok())
        return st;
    st = m_table->lockHeader(headerTimeoutMs);
    if (!st.ok()) {
        *untouched = true;
        return st;
    }
    // Records other holders appended first get their query bits and index keys now.
    const uint32_t before = m_table->recordCount();
    if (m_table->refreshCount())
        onCountChanged(before, m_table->recordCount());
    // A new record replaces the previous record locks of this table.
    for (uint32_t locked : std::vector<uint32_t>(m_table->lockedRecords()))
        m_table->unlockRecord(locked);
    uint32_t recNo = 0;
    st = m_table->appendRecord(m_table->blankRecord(), &recNo);
    if (st.ok()) {
        const char* rec = m_table->record(recNo);
        for (OrderIndex& ix : m_indexes) {
            if (!included(ix, rec, recNo))
                continue;
            keyFor(ix, rec, recNo, &m_keyBuf);
            ix.file->setDeferredWrites(true);
            Status err;
            if (!ix.file->insert(IdxEntry{m_keyBuf, recNo}, &err) && st.ok())
                st = Status::error(err.kind(), "Cannot update index " + ix.file->path() + ": " + err.message());
        }
        ++m_generation;
        if (m_query) {
            m_queryBits.resize(static_cast<size_t>(recNo) + 1, 0);
            evaluateQueryBit(recNo);
        }
        setCurrent(recNo);
        m_appendPending = true;
        m_pendingRecNo = recNo;
        return st;
    }
    m_table->unlockHeader();
    *untouched = true;  // not counted: the table is as it was
    return st;
}

Status WorkArea::appendRecord(const char* image, uint32_t* recNo)
{
    return appendWhenFileFree(m_settings->headerLockTimeoutMs,
                              [this, image, recNo](int headerTimeoutMs, bool* untouched) {
                                  return appendRecordOnce(image, recNo, headerTimeoutMs, untouched);
                              });
}

Status WorkArea::appendRecordOnce(const char* image, uint32_t* recNo, int headerTimeoutMs, bool* untouched)
{
    if (!m_table->writable())
        return Status::error(ErrorKind::ReadOnly, "The table " + m_table->path() + " is opened read-only");
    Status st = settle();
    if (!st.ok())
        return st;
    HeaderLockGuard header(*m_table, headerTimeoutMs);
    if (!header.status().ok()) {
        *untouched = true;
        return Status::error(ErrorKind::Locked,
                             "Cannot append to " + m_table->path() + ": " + header.status().message());
    }
    const uint32_t before = m_table->recordCount();
    if (m_table->refreshCount())
        onCountChanged(before, m_table->recordCount());
    const uint32_t count = m_table->recordCount();
    const bool tookRecordLock = !m_table->holdsFileLock() && !m_table->holdsRecordLock(count + 1);
    uint32_t r = 0;
    st = m_table->appendRecord(image, &r);
    if (!st.ok()) {
        *untouched = true;  // not counted: the table is as it was
        return st;
    }
    // The record is complete: its lock (a guard against another holder's file lock) is no
    // longer needed.
    if (tookRecordLock)
        m_table->unlockRecord(r);
    for (OrderIndex& ix : m_indexes) {
        if (!included(ix, image, r))
            continue;
        keyFor(ix, image, r, &m_keyBuf);
        ix.file->setDeferredWrites(true);
        (void)ix.file->insert(IdxEntry{m_keyBuf, r}, nullptr);
    }
    ++m_generation;
    st = flushIndexes();
    if (!st.ok()) {
        // Nobody else can have appended meanwhile (we hold the header lock): uncount the
        // record and take its keys back, so that table and indexes agree again.
        Status undone = m_table->restoreCount(count);
        for (OrderIndex& ix : m_indexes) {
            ix.stale = !undone.ok() || !ix.file->reload(nullptr);
        }
        ++m_generation;
        return st;
    }
    if (m_query) {
        m_queryBits.resize(static_cast<size_t>(r) + 1, 0);
        evaluateQueryBit(r);
    }
    setCurrent(r);
    *recNo = r;
    return Status();
}

// Under the header lock (held by the caller): each changed index is changed in memory
// and written once; with an append pending the write waits for settle().
Status WorkArea::updateIndexes(const char* oldImage, const char* newImage, uint32_t recNo)
{
    Status result;
    for (OrderIndex& ix : m_indexes) {
        const bool wasIn = included(ix, oldImage, recNo);
        const bool isIn = included(ix, newImage, recNo);
        keyFor(ix, oldImage, recNo, &m_keyBuf);
        keyFor(ix, newImage, recNo, &m_keyBuf2);
        if (wasIn == isIn && (!isIn || m_keyBuf == m_keyBuf2))
            continue;
        ix.file->setDeferredWrites(true);
        Status err;
        if (wasIn)
            (void)ix.file->remove(IdxEntry{m_keyBuf, recNo}, nullptr);  // absent: nothing to remove
        if (isIn && !ix.file->insert(IdxEntry{m_keyBuf2, recNo}, &err) && result.ok())
            result = Status::error(err.kind(), "Cannot update index " + ix.file->path() + ": " + err.message());
        ++m_generation;
    }
    if (m_appendPending)
        return result;
    Status st = flushIndexes();
    return result.ok() ? st : result;
}

// ---------------------------------------------------------------------------
// Indexes

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
