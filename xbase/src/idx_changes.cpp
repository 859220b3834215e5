#include "idx.h"

#include <algorithm>
#include <cstring>

#include <sys/stat.h>

#include "bytes.h"
#include "env.h"
#include "idxcodec.h"
#include "idximpl.h"

namespace xb {

namespace {

int compareEntries(const IdxEntry& a, const IdxEntry& b, size_t keyLen)
{
    const int c = std::memcmp(a.key.data(), b.key.data(), keyLen);
    if (c != 0)
        return c;
    return a.recNo < b.recNo ? -1 : (a.recNo > b.recNo ? 1 : 0);
}

// Where e stands or would stand in the sorted entries, and whether it is there.
std::vector<IdxEntry>::iterator findEntry(std::vector<IdxEntry>& v, const IdxEntry& e, size_t keyLen, bool* present)
{
    auto it = std::lower_bound(v.begin(), v.end(), e, [keyLen](const IdxEntry& a, const IdxEntry& b) {
        return compareEntries(a, b, keyLen) < 0;
    });
    *present = it != v.end() && compareEntries(*it, e, keyLen) == 0;
    return it;
}

}  // namespace

// A change of one leaf is noted; a second leaf, a full leaf or an emptied one means a
// new tree.
bool IdxFile::Impl::touch(size_t leaf)
{
    if (dirtyLeaf >= 0 && size_t(dirtyLeaf) != leaf)
        whole = true;
    dirtyLeaf = int(leaf);
    return !whole;
}

// The entry now at position p was inserted.
void IdxFile::Impl::noteInsert(size_t p)
{
    if (!layoutValid || whole) {
        whole = true;
        return;
    }
    auto& leaves = layout.leaves;
    const std::string& key = img.entries[p].key;
    size_t i = 0, start = 0;
    while (i + 1 < leaves.size() && p >= start + leaves[i].count)
        start += leaves[i++].count;
    // Between two leaves the key goes where the parent's keys send a search for it.
    if (i > 0 && p == start && key.compare(leaves[i - 1].sep) <= 0) {
        --i;
        start -= leaves[i].count;
    }
    if (leaves[i].count >= size_t(idxcodec::standardCapacity(img.keyLen)) || !touch(i)) {
        whole = true;
        return;
    }
    const bool last = i + 1 == leaves.size() && p == start + leaves[i].count;
    idxcodec::insertIntoLeaf(reinterpret_cast<uint8_t*>(leaves[i].page.data()), keyLen(), p - start, img.entries[p]);
    ++leaves[i].count;
    if (last && !layout.spine.empty() && key.compare(leaves[i].sep) > 0) {
        // Past every key: the interior keys on the right-hand edge become this one.
        leaves[i].sep = key;
        for (auto& node : layout.spine) {
            uint8_t* page = reinterpret_cast<uint8_t*>(node.second.data());
            const size_t count = readLe16(page + 2);
            std::memcpy(page + 12 + (count - 1) * (keyLen() + 4), key.data(), keyLen());
        }
        raise = true;
    }
}

// The entry at position p was removed. The parent's key may now exceed the leaf's
// last key; searches and readers accept that.
void IdxFile::Impl::noteRemove(size_t p)
{
    if (!layoutValid || whole) {
        whole = true;
        return;
    }
    auto& leaves = layout.leaves;
    size_t i = 0, start = 0;
    while (i + 1 < leaves.size() && p >= start + leaves[i].count)
        start += leaves[i++].count;
    if ((leaves[i].count <= 1 && leaves.size() > 1) || !touch(i)) {
        whole = true;
        return;
    }
    idxcodec::removeFromLeaf(reinterpret_cast<uint8_t*>(leaves[i].page.data()), keyLen(), p - start);
    --leaves[i].count;
}

// Writes the one changed leaf over itself: the raised interior keys first (a key above
// the keys under it misleads no search), then the leaf, then the change counter.
bool IdxFile::Impl::saveInPlace(Status* status)
{
    if (!hold(true))
        return failSys(status, "cannot write", path);
    const idxcodec::StandardLayout::Leaf& leaf = layout.leaves[size_t(dirtyLeaf)];
    bool ok = true;
    for (size_t i = 0; raise && ok && i < layout.spine.size(); ++i)
        ok = writeAt(held.fd, layout.spine[i].second.data(), idxcodec::kPage, off_t(layout.spine[i].first));
    ok = ok && writeAt(held.fd, leaf.page.data(), idxcodec::kPage, off_t(leaf.offset));
    unsigned char gen[4];
    writeLe32(gen, img.generation + 1);
    ok = ok && writeAt(held.fd, gen, sizeof gen, off_t(idxcodec::kGenerationOffset));
    if (!ok) {
        failSys(status, "cannot write", path);
        torn = true;
        layoutValid = false;
        return false;
    }
    ++img.generation;
    dirtyLeaf = -1;
    raise = false;
    dirty = false;
    // The file is the one the stamp names (hold checked it): only its times, and the
    // counter we wrote, moved.
    struct stat st;
    if (stamp.head.size() == 20 && env().fstat(held.fd, &st) == 0) {
        stamp.size = st.st_size;
        stamp.mtime = st.st_mtim;
        stamp.ctime = st.st_ctim;
        stamp.head.replace(16, 4, reinterpret_cast<const char*>(gen), sizeof gen);
    } else {
        stamp = Stamp::of(path, &held);
    }
    return true;
}

// Someone else may have rewritten the file since we read it: start from their version
// rather than overwrite it with ours.
void IdxFile::Impl::catchUp()
{
    // A memory-only order may hold what the file lacks: its owner decides when to reload.
    // After a write cut short the file is not read back; the owner rebuilds it.
    if (dirty || memoryOnly || torn || Stamp::of(path, &held) == stamp)
        return;
    const IdxKeyType type = img.keyType;
    load(&type, nullptr);  // unreadable: our copy is the best there is; it is written next
}

bool IdxFile::Impl::written(Status* status)
{
    dirty = true;
    if (deferred || memoryOnly)
        return true;
    return save(status);
}

bool IdxFile::Impl::validEntry(const IdxEntry& e, Status* status) const
{
    if (e.key.size() != keyLen())
        return fail(status, ErrorKind::BadArgument,
                    "key of " + std::to_string(e.key.size()) + " bytes for an index of " + std::to_string(keyLen())
                        + "-byte keys");
    if (e.recNo == 0)
        return fail(status, ErrorKind::BadArgument, "record number 0");
    return true;
}

bool IdxFile::insert(const IdxEntry& e, Status* status)
{
    d->catchUp();
    if (!d->validEntry(e, status))
        return false;
    std::vector<IdxEntry>& v = d->img.entries;
    const size_t n = d->keyLen();
    bool present = false;
    const auto it = findEntry(v, e, n, &present);
    if (present)
        return true;  // already there
    if (d->img.unique) {
        // A unique index keeps one record per key, the first one indexed.
        const bool before = it != v.begin() && std::memcmp((it - 1)->key.data(), e.key.data(), n) == 0;
        const bool after = it != v.end() && std::memcmp(it->key.data(), e.key.data(), n) == 0;
        if (before || after)
            return true;
    }
    const size_t pos = size_t(it - v.begin());
    v.insert(it, e);
    d->noteInsert(pos);
    return d->written(status);
}

bool IdxFile::remove(const IdxEntry& e, Status* status)
{
    d->catchUp();
    if (!d->validEntry(e, status))
        return false;
    std::vector<IdxEntry>& v = d->img.entries;
    const size_t n = d->keyLen();
    bool present = false;
    const auto it = findEntry(v, e, n, &present);
    if (!present)
        return fail(status, ErrorKind::NotFound,
                    "record " + std::to_string(e.recNo) + " is not in the index under that key");
    const size_t pos = size_t(it - v.begin());
    v.erase(it);
    d->noteRemove(pos);
    return d->written(status);
}

bool IdxFile::flush(Status* status)
{
    if (!d->dirty || d->memoryOnly)
        return true;
    return d->save(status);
}

bool IdxFile::sync(Status* status)
{
    if (d->memoryOnly)
        return true;
    if (!flush(status))
        return false;
    if (!d->hold(false))
        return failSys(status, "cannot open", d->path);
    const bool ok = env().fdatasync(d->held.fd) == 0;
    if (!ok)
        failSys(status, "cannot sync", d->path);
    return ok;
}

void IdxFile::setDeferredWrites(bool on)
{
    d->deferred = on;
}

void IdxFile::setMemoryOnly()
{
    d->memoryOnly = true;
}

}  // namespace xb
