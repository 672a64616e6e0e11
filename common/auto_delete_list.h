#pragma once
// A list that owns its elements: emptying or destroying it deletes them.
#include <cstddef>
#include <list>
#include <memory>
#include <new>

template <typename T>
class CAutoDeleteList {
public:
    CAutoDeleteList() = default;
    CAutoDeleteList(const CAutoDeleteList&) = delete;
    CAutoDeleteList& operator=(const CAutoDeleteList&) = delete;
    virtual ~CAutoDeleteList() { RemoveAll(true); }

    // Takes ownership; false for null or when no memory is left (the element is then
    // still the caller's).
    bool AddTail(T* element) {
        if (!element) return false;
        try {
            items_.push_back(element);
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    // Unlinks the first element and hands it back (null when empty).
    T* RemoveHead() {
        if (items_.empty()) return nullptr;
        T* e = items_.front();
        items_.pop_front();
        return e;
    }
    bool RemoveAll(bool deleteElements) {
        if (deleteElements)
            for (T* e : items_) delete e;
        items_.clear();
        return true;
    }
    size_t GetCount() const { return items_.size(); }
    bool IsEmpty() const { return items_.empty(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

private:
    std::list<T*> items_;
};
