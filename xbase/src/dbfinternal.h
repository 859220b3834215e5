#pragma once

// Internals shared by the table file's sources: dbffile.cpp (open, records, writes),
// dbffile_header.cpp (the header's validation and new tables) and dbffile_locks.cpp.

#include <cstdint>

namespace xb {

// FoxPro-scheme lock offsets for tables without a structural CDX.
constexpr uint64_t kLockBase = 0x40000000;        // header (append) lock byte
constexpr uint64_t kFileLockStart = 0x40000001;   // FLOCK range start
constexpr uint64_t kFileLockLength = 0x3FFFFFFD;  // ... through 0x7FFFFFFD
// An exclusive open locks from the header byte to the end of the lock space (length 0),
// past the FLOCK range: another holder's header and file locks, which the kernel merges
// into one range from 0x40000000 through 0x7FFFFFFD, are then never taken for an
// exclusive open, and record locks of tables larger than 1 GiB are covered as well.
constexpr uint64_t kExclusiveLength = 0;

constexpr uint32_t kMaxHeaderLength = 0xFFFF;
constexpr uint32_t kMaxRecordLength = 0x7FFF;

// Today's date as a table's header holds it: years since 1900, month, day.
void todayBytes(unsigned char* out);

}  // namespace xb
