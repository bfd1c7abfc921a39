#pragma once

// The layers of a doubly linked list whose items come from a pool: the plain
// links, the ownership that hands dropped items back through the owner, and
// the item count.

#include <utility>

namespace QV::GP::DETAIL {

template <class T>
struct ListItem {
    ListItem* prev;
    ListItem* next;
    T value;
};

template <class Item>
class ListBase {
public:
    using item_type = Item;

    Item* first() const noexcept { return m_first; }
    Item* last() const noexcept { return m_last; }

protected:
    void linkBack(Item* item) noexcept
    {
        item->next = nullptr;
        item->prev = m_last;
        if (m_last)
            m_last->next = item;
        else
            m_first = item;
        m_last = item;
    }

    // Inserts item before pos; a null pos appends.
    void linkBefore(Item* pos, Item* item) noexcept
    {
        if (!pos) {
            linkBack(item);
            return;
        }
        item->next = pos;
        item->prev = pos->prev;
        if (pos->prev)
            pos->prev->next = item;
        else
            m_first = item;
        pos->prev = item;
    }

    void unlink(Item* item) noexcept
    {
        if (item->prev)
            item->prev->next = item->next;
        else
            m_first = item->next;
        if (item->next)
            item->next->prev = item->prev;
        else
            m_last = item->prev;
    }

    // Inserts the chain first..last (already linked to each other) before pos.
    void spliceBefore(Item* pos, Item* chainFirst, Item* chainLast) noexcept
    {
        chainFirst->prev = pos ? pos->prev : m_last;
        chainLast->next = pos;
        if (chainFirst->prev)
            chainFirst->prev->next = chainFirst;
        else
            m_first = chainFirst;
        if (pos)
            pos->prev = chainLast;
        else
            m_last = chainLast;
    }

    Item* m_first = nullptr;
    Item* m_last = nullptr;
};

template <class Base, class Owner>
class OwnerListImpl : public Base {
public:
    using Item = typename Base::item_type;

    OwnerListImpl() noexcept = default;
    OwnerListImpl(const OwnerListImpl&) = delete;
    OwnerListImpl& operator=(const OwnerListImpl&) = delete;
    ~OwnerListImpl() { dropAll(); }

protected:
    void dropAll() noexcept
    {
        Item* item = this->m_first;
        this->m_first = this->m_last = nullptr;
        while (item) {
            Item* next = item->next;
            Owner::implDeleteItem(item);
            item = next;
        }
    }

    void drop(Item* item) noexcept
    {
        this->unlink(item);
        Owner::implDeleteItem(item);
    }
};

template <class Base>
class CountedListImpl : public Base {
public:
    using Item = typename Base::Item;

    int count() const noexcept { return m_count; }

protected:
    void pushBack(Item* item) noexcept
    {
        this->linkBack(item);
        ++m_count;
    }
    void insertBefore(Item* pos, Item* item) noexcept
    {
        this->linkBefore(pos, item);
        ++m_count;
    }
    void insertChainBefore(Item* pos, Item* chainFirst, Item* chainLast, int n) noexcept
    {
        this->spliceBefore(pos, chainFirst, chainLast);
        m_count += n;
    }
    void erase(Item* item) noexcept
    {
        this->drop(item);
        --m_count;
    }
    void clear() noexcept
    {
        this->dropAll();
        m_count = 0;
    }
    // Exchanges the items (not the owner's other state) with another list.
    void swapItems(CountedListImpl& o) noexcept
    {
        std::swap(this->m_first, o.m_first);
        std::swap(this->m_last, o.m_last);
        std::swap(m_count, o.m_count);
    }

    int m_count = 0;
};

} // namespace QV::GP::DETAIL
