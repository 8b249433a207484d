#pragma once
// The tabs the cycle has written as open, in the order they were first seen.
#include <QHash>
#include <QtGlobal>
#include <vector>

struct TComanda {
    qint32 Numero = 0;
    bool Nova = true;       // not yet written as open
    bool Encerrada = false; // not in this cycle's ERP result (so far)
};

class TComandaList
{
public:
    int Count() const { return int(m_items.size()); }
    TComanda &At(int i) { return m_items[size_t(i)]; }
    const TComanda &At(int i) const { return m_items[size_t(i)]; }

    // Position of the entry with this number, -1 when there is none. Numbers are
    // unique in the list, so this is also the first match from the front.
    int IndexOf(qint32 numero) const { return m_index.value(numero, -1); }

    TComanda &Append(qint32 numero);
    void Clear();

    // Removal during a backward pass over the list: entries are dropped at once
    // from the lookup and physically by Compact(), which keeps the order of the
    // rest. Positions not yet visited by the pass stay valid until then.
    void MarkRemoved(int i);
    void Compact();

private:
    std::vector<TComanda> m_items;
    std::vector<int> m_removed; // positions, descending (backward pass order)
    QHash<qint32, int> m_index;
};
