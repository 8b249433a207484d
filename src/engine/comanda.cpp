#include "engine/comanda.h"

#include <algorithm>

TComanda &TComandaList::Append(qint32 numero)
{
    m_index.insert(numero, int(m_items.size()));
    m_items.push_back(TComanda{numero, true, false});
    return m_items.back();
}

void TComandaList::Clear()
{
    m_items.clear();
    m_removed.clear();
    m_index.clear();
}

void TComandaList::MarkRemoved(int i)
{
    m_index.remove(m_items[size_t(i)].Numero);
    m_removed.push_back(i);
}

void TComandaList::Compact()
{
    if (m_removed.empty())
        return;
    std::sort(m_removed.begin(), m_removed.end());
    m_removed.erase(std::unique(m_removed.begin(), m_removed.end()), m_removed.end());
    // In place: entries before the first removed one stay where they are.
    const size_t firstMoved = size_t(m_removed.front());
    size_t write = firstMoved, r = 0;
    for (size_t i = firstMoved; i < m_items.size(); ++i) {
        if (r < m_removed.size() && size_t(m_removed[r]) == i) {
            ++r;
            continue;
        }
        m_items[write++] = m_items[i];
    }
    m_items.resize(write);
    m_removed.clear();
    for (size_t i = firstMoved; i < m_items.size(); ++i)
        m_index[m_items[i].Numero] = int(i);
}
