#include "platform/mapi/table.h"

#include <algorithm>

#include "platform/mapi/text_util.h"

namespace platform::mapi {

namespace {

// -1, 0, 1 for ordered types; nullopt-like `ok` false when the two cannot be compared.
int compareValues(const SPropValue& a, const SPropValue& b, bool& ok) {
    ok = true;
    switch (PROP_TYPE(a.ulPropTag)) {
    case PT_SHORT:
    case PT_LONG: return a.l < b.l ? -1 : a.l > b.l ? 1 : 0;
    case PT_BOOLEAN: return a.b == b.b ? 0 : (a.b ? 1 : -1);
    case PT_I8: return a.li < b.li ? -1 : a.li > b.li ? 1 : 0;
    case PT_SYSTIME: return a.ft < b.ft ? -1 : a.ft > b.ft ? 1 : 0;
    case PT_STRING8: {
        std::string x = lower(a.str), y = lower(b.str);
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case PT_BINARY: return a.bin < b.bin ? -1 : a.bin > b.bin ? 1 : 0;
    default: ok = false; return 0;
    }
}

bool relopHolds(ULONG relop, int c) {
    switch (relop) {
    case RELOP_LT: return c < 0;
    case RELOP_LE: return c <= 0;
    case RELOP_GT: return c > 0;
    case RELOP_GE: return c >= 0;
    case RELOP_EQ: return c == 0;
    case RELOP_NE: return c != 0;
    default: return false;
    }
}

}  // namespace

HRESULT evaluateRestriction(const SRestriction& r, const PropMap& row, bool& match) {
    match = false;
    switch (r.rt) {
    case RES_AND:
    case RES_OR: {
        bool all = true, any = false;
        for (const auto& s : r.sub) {
            bool m = false;
            if (HRESULT hr = evaluateRestriction(s, row, m); FAILED(hr)) return hr;
            all = all && m;
            any = any || m;
        }
        match = r.rt == RES_AND ? all : any;
        return S_OK;
    }
    case RES_NOT: {
        if (r.sub.size() != 1) return MAPI_E_INVALID_PARAMETER;
        bool m = false;
        if (HRESULT hr = evaluateRestriction(r.sub[0], row, m); FAILED(hr)) return hr;
        match = !m;
        return S_OK;
    }
    case RES_EXIST: match = row.count(r.ulPropTag) != 0; return S_OK;
    case RES_CONTENT: {
        auto it = row.find(r.ulPropTag);
        if (it == row.end()) return S_OK;
        const bool binary = PROP_TYPE(r.ulPropTag) == PT_BINARY;
        std::string have = binary ? std::string(it->second.bin.begin(), it->second.bin.end()) : it->second.str;
        std::string want = binary ? std::string(r.prop.bin.begin(), r.prop.bin.end()) : r.prop.str;
        if (r.fuzzyLevel & FL_IGNORECASE) {
            have = lower(have);
            want = lower(want);
        }
        switch (r.fuzzyLevel & 0xFFFF) {
        case FL_FULLSTRING: match = have == want; break;
        case FL_PREFIX: match = have.compare(0, want.size(), want) == 0; break;
        case FL_SUBSTRING: match = have.find(want) != std::string::npos; break;
        default: return MAPI_E_TOO_COMPLEX;
        }
        return S_OK;
    }
    case RES_PROPERTY: {
        auto it = row.find(r.ulPropTag);
        if (it == row.end()) return S_OK;  // a missing property matches no comparison
        bool ok = false;
        int c = compareValues(it->second, r.prop, ok);
        if (!ok) return MAPI_E_TOO_COMPLEX;
        match = relopHolds(r.relop, c);
        return S_OK;
    }
    default: return MAPI_E_TOO_COMPLEX;
    }
}

SnapshotTable::SnapshotTable(std::vector<PropMap> rows, SPropTagArray defaultColumns, const Backing* faults)
    : all_(std::move(rows)), columns_(std::move(defaultColumns)), faults_(faults) {
    for (const auto& r : all_) view_.push_back(&r);
}

HRESULT SnapshotTable::SetColumns(const SPropTagArray& columns, ULONG) {
    if (columns.empty()) return MAPI_E_INVALID_PARAMETER;
    columns_ = columns;
    return S_OK;
}

HRESULT SnapshotTable::Restrict(const SRestriction* restriction, ULONG) {
    if (faults_)
        if (HRESULT hr = faults_->fault("Restrict"); FAILED(hr)) return hr;
    std::vector<const PropMap*> view;
    for (const auto& r : all_) {
        bool match = true;
        if (restriction)
            if (HRESULT hr = evaluateRestriction(*restriction, r, match); FAILED(hr)) return hr;
        if (match) view.push_back(&r);
    }
    view_ = std::move(view);
    position_ = 0;
    return S_OK;
}

HRESULT SnapshotTable::GetRowCount(ULONG, ULONG* count) {
    if (!count) return MAPI_E_INVALID_PARAMETER;
    *count = static_cast<ULONG>(view_.size());
    return S_OK;
}

HRESULT SnapshotTable::SeekRow(ULONG bookmark, int32_t rowCount, int32_t* rowsSought) {
    int64_t base;
    switch (bookmark) {
    case BOOKMARK_BEGINNING: base = 0; break;
    case BOOKMARK_CURRENT: base = static_cast<int64_t>(position_); break;
    case BOOKMARK_END: base = static_cast<int64_t>(view_.size()); break;
    default: return MAPI_E_INVALID_PARAMETER;
    }
    int64_t target = std::clamp<int64_t>(base + rowCount, 0, static_cast<int64_t>(view_.size()));
    if (rowsSought) *rowsSought = static_cast<int32_t>(target - base);
    position_ = static_cast<size_t>(target);
    return S_OK;
}

HRESULT SnapshotTable::QueryRows(int32_t rowCount, ULONG, SRowSet& rows) {
    rows.aRow.clear();
    if (faults_)
        if (HRESULT hr = faults_->fault("QueryRows"); FAILED(hr)) return hr;
    if (rowCount < 0) return MAPI_E_INVALID_PARAMETER;  // backwards reads are not used
    while (rows.aRow.size() < static_cast<size_t>(rowCount) && position_ < view_.size()) {
        const PropMap& src = *view_[position_++];
        SRow row;
        for (ULONG tag : columns_) {
            auto it = src.find(tag);
            row.lpProps.push_back(it != src.end() ? it->second : SPropValue::Error(tag, MAPI_E_NOT_FOUND));
        }
        rows.aRow.push_back(std::move(row));
    }
    return S_OK;
}

HRESULT queryAllRows(IMAPITable* table, const SPropTagArray* columns, const SRestriction* restriction, ULONG maxRows,
                     SRowSet& rows) {
    rows.aRow.clear();
    if (!table) return MAPI_E_INVALID_PARAMETER;
    HRESULT hr = S_OK;
    if (columns && FAILED(hr = table->SetColumns(*columns, 0))) return hr;
    if (restriction && FAILED(hr = table->Restrict(restriction, 0))) return hr;
    if (FAILED(hr = table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr))) return hr;
    for (;;) {
        SRowSet batch;
        if (FAILED(hr = table->QueryRows(100, 0, batch))) {
            rows.aRow.clear();
            return hr;
        }
        if (batch.aRow.empty()) break;
        for (auto& r : batch.aRow) rows.aRow.push_back(std::move(r));
        if (maxRows && rows.aRow.size() > maxRows) {
            rows.aRow.clear();
            return MAPI_E_TOO_COMPLEX;
        }
    }
    return S_OK;
}

}  // namespace platform::mapi
