#pragma once
// CAutoDeleteList<T>: a list that owns the elements it holds. Destroying or emptying it
// deletes them, unless the caller takes them out first with RemoveHead or asks
// RemoveAll(false).
#include <cstddef>
#include <iterator>
#include <list>
#include <memory>
#include <new>

namespace platform::mfc {

template <class T>
class CAutoDeleteList {
public:
    CAutoDeleteList() = default;
    CAutoDeleteList(const CAutoDeleteList&) = delete;
    CAutoDeleteList& operator=(const CAutoDeleteList&) = delete;
    virtual ~CAutoDeleteList() = default;

    // Takes ownership. false (and the caller keeps the element) for null or no memory.
    bool AddTail(T* element) {
        if (!element) return false;
        try {
            items_.emplace_back();
        } catch (const std::bad_alloc&) {
            return false;
        }
        items_.back().reset(element);
        return true;
    }
    // Unlinks the first element and hands it to the caller; null when empty.
    T* RemoveHead() {
        if (items_.empty()) return nullptr;
        T* element = items_.front().release();
        items_.pop_front();
        return element;
    }
    // Empties the list; the elements are deleted when asked, else left to whoever holds them.
    bool RemoveAll(bool deleteElements = true) {
        if (!deleteElements)
            for (auto& item : items_) (void)item.release();
        items_.clear();
        return true;
    }

    int GetCount() const { return static_cast<int>(items_.size()); }
    bool IsEmpty() const { return items_.empty(); }
    T* GetHead() const { return items_.empty() ? nullptr : items_.front().get(); }
    T* GetTail() const { return items_.empty() ? nullptr : items_.back().get(); }

    // Walks the elements in order (as T*), without giving up ownership.
    class const_iterator {
    public:
        using Inner = typename std::list<std::unique_ptr<T>>::const_iterator;
        using iterator_category = std::forward_iterator_tag;
        using value_type = T*;
        using difference_type = std::ptrdiff_t;
        using pointer = T* const*;
        using reference = T*;
        const_iterator() = default;
        explicit const_iterator(Inner it) : it_(it) {}
        T* operator*() const { return it_->get(); }
        const_iterator& operator++() {
            ++it_;
            return *this;
        }
        const_iterator operator++(int) {
            const_iterator old = *this;
            ++it_;
            return old;
        }
        bool operator==(const const_iterator& o) const { return it_ == o.it_; }
        bool operator!=(const const_iterator& o) const { return it_ != o.it_; }

    private:
        Inner it_;
    };
    const_iterator begin() const { return const_iterator(items_.begin()); }
    const_iterator end() const { return const_iterator(items_.end()); }

private:
    std::list<std::unique_ptr<T>> items_;
};

}  // namespace platform::mfc
