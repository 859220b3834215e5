#include "tableevent.h"

int TableEvent::add(Handler handler)
{
    const int id = m_nextId++;
    m_listeners.emplace_back(id, std::move(handler));
    return id;
}

void TableEvent::remove(int id)
{
    std::erase_if(m_listeners, [id](const auto& listener) { return listener.first == id; });
}

void TableEvent::operator()(TApolloTable& table) const
{
    // A copy: a listener that removes itself must not pull the list from
    // under the loop.
    const auto listeners = m_listeners;
    for (const auto& listener : listeners) {
        if (listener.second)
            listener.second(table);
    }
}
