#include "workarea.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <thread>

// The work area's writes: changes of existing records and appends, each keeping the open
// indexes and the query up to date.

namespace xb {

namespace {

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

}  // namespace

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

}  // namespace xb
