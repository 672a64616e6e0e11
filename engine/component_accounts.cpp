// Accounts served by an external sync component: checked while the connections are
// built, and run in their turn of the account loop.
#include "common/sync_report.h"
#include "datamgr/ledgerly.h"
#include "datamgr/ledgerly_store.h"
#include "engine/engine_log.h"
#include "engine/sync_session.h"
#include "progress/lampwick.h"

namespace tess::engine {

using tess::progress::RegisteredType;

namespace {

void ToBothLogs(const std::string& text) {
    SyncLine(text, kActivityError);
    MLOGAdd(text.c_str());
}

}  // namespace

void CSyncSession::ClearComponentBinding(CHostConnection& c) {
    if (!c.account) return;
    const int32_t none = -1, off = 0;
    c.account->SetValue(tess::accounts::kValueActive, &off, 4);
    c.account->SetValue(tess::accounts::kValueMailClient, &none, 4);
    c.account->SetValue(tess::accounts::kValueHostName, "", 1);
    c.account->Save();
}

void CSyncSession::CheckComponentAccount(CHostConnection& c) {
    const std::string name = c.Name();
    if (c.ConnType() != kConnSyncOnly) {
        c.Deactivate();
        ToBothLogs(FormatText(Str(4476), {name}));
        return;
    }
    if (!registeredTypes.Refresh()) {
        ClearComponentBinding(c);
        return;
    }
    const RegisteredType* entry = registeredTypes.FindByType(c.Protocol());
    if (!entry) {
        SyncMessage(4477, kActivityError, {name});
        ClearComponentBinding(c);
        return;
    }
    bool supported = false;
    if (const int rc = QueryComponentCapability(*entry, supported, kCapabilitySync); rc != 0) {
        std::string text;
        LookupErrorText(rc, text);
        ToBothLogs(text);
        if (rc == kComponentNotLoadable)
            ClearComponentBinding(c);
        else
            c.Deactivate();
    } else if (!supported && c.IsActive()) {
        ToBothLogs(FormatText(Str(4478), {entry->display.GetString(), name}));
        c.Deactivate();
    }
}

void CSyncSession::RunComponentAccount(CHostConnection& c) {
    const RegisteredType* entry = registeredTypes.FindByType(c.Protocol());
    StoreHandle* handle = nullptr;
    if (!entry || IPES_GetAccountById(c.slot, &handle) != 0 || !handle) {
        Debug("No data manager account for the component account " + c.Name() + ".");
        progress.AdvanceOverall();
        return;
    }
    db.Close();
    const char* name = nullptr;
    MAccGetStringData(handle, 0, &name, nullptr);
    const std::string display = entry->display.GetString();
    PRGUpdateSubMessage(FormatText(Str(4480), {name ? name : "", display}).c_str());
    const int rc = RunSyncComponent(entry, handle, userId);
    std::string text;
    if (LookupErrorText(rc, text)) {
        std::string own;
        if (LookupComponentErrorText(*entry, rc, own) == 1) text = own;
    }
    MLOGAdd(FormatText(Str(4479), {display, text}).c_str());
    PRGClose();
    IPES_CloseDatabase();
    IPES_FreeAccountHandle(&handle);
    // The component may have changed the account: read it again.
    c.account->SetDefaults();
    c.account->Load();
    progress.AdvanceOverall();
}

}  // namespace tess::engine
