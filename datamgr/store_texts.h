#pragma once
// The session's and the store's texts from the data manager's own (German) string table.
namespace tess::datamgr {

enum StoreTextId : int {
    kTextProduct = 1,
    kTextAccountLoadError = 82,
    kTextInitialising = 86,
    kTextUserInfo = 87,
    kTextAccountInfo = 88,
    kTextFetchActions = 89,
    kTextFetchMessages = 90,
    kTextNewFolder = 94,
    kTextIdle = 95,
    kTextRefreshList = 96,
    kTextLoadActions = 97,
};

// The text of an id above; an empty text for any other.
const char* StoreText(int id);

}  // namespace tess::datamgr
