#pragma once

#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

namespace emlo {

class TApolloTable;

// One event with any number of listeners: the data module's rules and a
// window's or a test's own handlers live side by side, none silently
// replacing another. Listeners run in the order they were added; one that
// throws (the silent abort in BeforePost, a refused value in OnValidate)
// ends the event and the operation, and the listeners after it are not
// called.
template <typename... Args> class EventListeners {
public:
    using Handler = std::function<void(Args...)>;

    // Adds a listener; the number returned removes it again.
    int add(Handler handler)
    {
        const int id = m_nextId++;
        m_listeners.emplace_back(id, std::move(handler));
        return id;
    }
    void remove(int id)
    {
        std::erase_if(m_listeners, [id](const auto& listener) { return listener.first == id; });
    }
    void clear() { m_listeners.clear(); }
    bool isEmpty() const { return m_listeners.empty(); }
    explicit operator bool() const { return !isEmpty(); }
    int listenerCount() const { return int(m_listeners.size()); }

    // Calls every listener. A listener may add or remove listeners meanwhile:
    // that changes the next event, not this one.
    void operator()(Args... args) const
    {
        // A copy: a listener that removes itself must not pull the list from
        // under the loop.
        const auto listeners = m_listeners;
        for (const auto& listener : listeners) {
            if (listener.second)
                listener.second(args...);
        }
    }

private:
    std::vector<std::pair<int, Handler>> m_listeners;
    int m_nextId = 1;
};

using TableEvent = EventListeners<TApolloTable&>;

}  // namespace emlo
