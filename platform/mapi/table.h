#pragma once
// Snapshot tables: the rows are taken when the table is made, so deleting the objects
// they describe while paging through them is safe.
#include <memory>

#include "platform/mapi/backing.h"
#include "platform/mapi/mapi_interfaces.h"

namespace platform::mapi {

// True when the row satisfies the restriction. MAPI_E_TOO_COMPLEX for a kind not handled.
HRESULT evaluateRestriction(const SRestriction& r, const PropMap& row, bool& match);

class TESS_EXPORT SnapshotTable : public IMAPITable {
public:
    // `defaultColumns` are the columns before SetColumns; `faults` may inject failures
    // (its fault("Restrict") and fault("QueryRows")).
    SnapshotTable(std::vector<PropMap> rows, SPropTagArray defaultColumns, const Backing* faults = nullptr);

    HRESULT SetColumns(const SPropTagArray& columns, ULONG flags) override;
    HRESULT Restrict(const SRestriction* restriction, ULONG flags) override;
    HRESULT GetRowCount(ULONG flags, ULONG* count) override;
    HRESULT SeekRow(ULONG bookmark, int32_t rowCount, int32_t* rowsSought) override;
    HRESULT QueryRows(int32_t rowCount, ULONG flags, SRowSet& rows) override;

private:
    std::vector<PropMap> all_;
    std::vector<const PropMap*> view_;
    SPropTagArray columns_;
    const Backing* faults_;
    size_t position_ = 0;
};

// Every row of a table from the start (the helper callers bind by name).
TESS_EXPORT HRESULT queryAllRows(IMAPITable* table, const SPropTagArray* columns, const SRestriction* restriction,
                                 ULONG maxRows, SRowSet& rows);

}  // namespace platform::mapi
