#pragma once

// TApolloEnv: the engine-wide settings. One instance per program (the data
// module owns it); a table finds it when it opens and, when ApplyTo holds
// atLocal, hands its settings to the engine. Setting Deleted loads the engine
// and applies at once.

#include <QString>

namespace emlo {

enum ApplyToItem { atLocal = 1, atServer = 2 };

class TApolloEnv {
public:
    TApolloEnv();  // registers itself as the program's environment
    ~TApolloEnv();
    TApolloEnv(const TApolloEnv&) = delete;
    TApolloEnv& operator=(const TApolloEnv&) = delete;

    // The registered environment, or nullptr.
    static TApolloEnv* Current();

    int ApplyTo() const { return m_applyTo; }  // set of ApplyToItem
    void setApplyTo(int items) { m_applyTo = items; }
    bool AppliesToLocal() const { return (m_applyTo & atLocal) != 0; }
    bool Deleted() const { return m_deleted; }  // hide records marked deleted
    void setDeleted(bool on);
    bool Exact() const { return m_exact; }
    void setExact(bool on) { m_exact = on; }
    bool SoftSeek() const { return m_softSeek; }
    void setSoftSeek(bool on) { m_softSeek = on; }
    short Epoch() const { return m_epoch; }
    void setEpoch(short year) { m_epoch = year; }
    bool Century() const { return m_century; }
    void setCentury(bool on) { m_century = on; }
    short ErrorLevel() const { return m_errorLevel; }
    void setErrorLevel(short level) { m_errorLevel = level; }
    short MemoBlockSize() const { return m_memoBlockSize; }
    short DateFormat() const { return m_dateFormat; }

    // Hands the settings to the engine (what a table does when it opens).
    void Apply() const;

private:
    int m_applyTo = 0;
    bool m_deleted = false;
    bool m_exact = false;
    bool m_softSeek = false;
    short m_epoch = 1980;
    bool m_century = true;
    short m_errorLevel = 0;
    short m_memoBlockSize = 32;
    short m_dateFormat = 0;
};

}  // namespace emlo
