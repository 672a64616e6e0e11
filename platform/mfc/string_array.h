#pragma once
// CStringArray: the class library's growable array of texts. Indexes are ints; reads out of
// range give an empty text and writes out of range are ignored, never undefined.
#include <algorithm>
#include <vector>

#include "platform/mfc/cstring.h"

namespace platform::mfc {

class CStringArray {
public:
    int GetSize() const { return static_cast<int>(items_.size()); }
    int GetCount() const { return GetSize(); }
    bool IsEmpty() const { return items_.empty(); }
    int GetUpperBound() const { return GetSize() - 1; }

    // Returns the new element's index.
    int Add(const CString& text) {
        items_.push_back(text);
        return GetSize() - 1;
    }
    CString GetAt(int index) const { return valid(index) ? items_[static_cast<size_t>(index)] : CString(); }
    void SetAt(int index, const CString& text) {
        if (valid(index)) items_[static_cast<size_t>(index)] = text;
    }
    // Grows the array with empty texts when index is past the end.
    void SetAtGrow(int index, const CString& text) {
        if (index < 0) return;
        if (index >= GetSize()) items_.resize(static_cast<size_t>(index) + 1);
        items_[static_cast<size_t>(index)] = text;
    }
    void InsertAt(int index, const CString& text) {
        if (index >= 0 && index <= GetSize()) items_.insert(items_.begin() + index, text);
    }
    void RemoveAt(int index, int count = 1) {
        if (!valid(index) || count <= 0) return;
        const int end = std::min(GetSize(), index + count);
        items_.erase(items_.begin() + index, items_.begin() + end);
    }
    void RemoveAll() { items_.clear(); }
    void Append(const CStringArray& other) { items_.insert(items_.end(), other.items_.begin(), other.items_.end()); }

    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }

private:
    bool valid(int index) const { return index >= 0 && index < GetSize(); }
    std::vector<CString> items_;
};

}  // namespace platform::mfc
