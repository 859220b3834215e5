#pragma once

#include <functional>
#include <utility>
#include <vector>

class TApolloTable;

// One event of a table, with any number of listeners: the data module's
// rules and a window's or a test's own handlers live side by side, none
// silently replacing another. Listeners run in the order they were added;
// one that throws (the silent abort in BeforePost) ends the event and the
// operation, and the listeners after it are not called.
class TableEvent {
public:
    using Handler = std::function<void(TApolloTable&)>;

    // Adds a listener; the number returned removes it again.
    int add(Handler handler);
    void remove(int id);
    void clear() { m_listeners.clear(); }
    bool isEmpty() const { return m_listeners.empty(); }
    int listenerCount() const { return int(m_listeners.size()); }

    // Calls every listener. A listener may add or remove listeners meanwhile:
    // that changes the next event, not this one.
    void operator()(TApolloTable& table) const;

private:
    std::vector<std::pair<int, Handler>> m_listeners;
    int m_nextId = 1;
};
