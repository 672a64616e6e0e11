#pragma once
// Helpers for the MAPI stand-in's tests: a logged-on session over a memory or Maildir
// profile in a private runtime root, and short ways to make and read messages.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "platform/mapi/mapi32.h"
#include "platform/mapi/memory_backing.h"
#include "platform/mapi/profiles.h"
#include "platform/mapi/session.h"
#include "tests/support/test_home.h"

namespace platform::mapi::test {

using tess::test::TempHome;

enum class BackingKind { Memory, Maildir };
inline std::string backingName(const testing::TestParamInfo<BackingKind>& info) {
    return info.param == BackingKind::Memory ? "Memory" : "Maildir";
}

// A profile "Work" (default) whose address list holds a few SMTP and EX entries.
inline platform::mapi::Profile workProfile() {
    platform::mapi::Profile p;
    p.name = "Work";
    p.isDefault = true;
    p.identity = {"Tess User", "EX", "/o=Org/cn=tess", {"SMTP:tess@tess.test", "smtp:t.user@tess.test"}};
    p.addressList = {
        {"Alice Archer", "SMTP", "alice@example.test", {}},
        {"Alan Arbor", "SMTP", "alan@example.test", {}},
        {"Bob Baker", "EX", "/o=Org/cn=bob", {"X400:c=x;a=y", "SMTP:bob@example.test"}},
    };
    return p;
}

struct StoreEnv {
    TempHome home;
    std::shared_ptr<platform::mapi::MemoryBacking> memory;  // set for the memory kind
    std::shared_ptr<IMAPISession> session;
    std::shared_ptr<IMsgStore> store;

    explicit StoreEnv(BackingKind kind, platform::mapi::Profile profile = workProfile()) {
        platform::mapi::clearMemoryProfiles();
        if (kind == BackingKind::Memory) {
            memory = std::make_shared<platform::mapi::MemoryBacking>();
            platform::mapi::registerMemoryProfile(profile, memory);
        } else {
            if (profile.maildir.empty()) profile.maildir = (home.path() / "Maildir").string();
            EXPECT_TRUE(platform::mapi::saveProfile(profile));
        }
        MAPIInitialize(nullptr);
        EXPECT_EQ(MAPILogonEx(0, profile.name.c_str(), profile.password.c_str(), MAPI_EXPLICIT_PROFILE | MAPI_EXTENDED,
                              &session),
                  S_OK);
        if (!session) return;
        std::shared_ptr<IMAPITable> stores;
        EXPECT_EQ(session->GetMsgStoresTable(0, stores), S_OK);
        SRowSet rows;
        stores->SetColumns({PR_ENTRYID, PR_DEFAULT_STORE}, 0);
        stores->QueryRows(10, 0, rows);
        EXPECT_EQ(rows.cRows(), 1u);
        if (rows.cRows()) {
            EXPECT_EQ(session->OpenMsgStore(0, rows.aRow[0].lpProps[0].bin, MAPI_BEST_ACCESS, store), S_OK);
        }
    }
    ~StoreEnv() {
        if (session) session->Logoff(0, 0, 0);
        MAPIUninitialize();
        platform::mapi::clearMemoryProfiles();
    }

    EntryId folderId(ULONG tag) {
        std::vector<SPropValue> v;
        if (tag == 0) {
            EntryId inbox;
            store->GetReceiveFolder("", 0, inbox);
            return inbox;
        }
        store->GetProps({tag}, 0, v);
        return v.at(0).bin;
    }
    std::shared_ptr<IMAPIFolder> folder(ULONG tag) {
        std::shared_ptr<IMAPIProp> object;
        ULONG type = 0;
        if (FAILED(store->OpenEntry(folderId(tag), MAPI_MODIFY, &type, object))) return nullptr;
        return std::dynamic_pointer_cast<IMAPIFolder>(object);
    }
    std::shared_ptr<IMessage> open(const EntryId& id) {
        std::shared_ptr<IMAPIProp> object;
        ULONG type = 0;
        if (FAILED(store->OpenEntry(id, MAPI_BEST_ACCESS, &type, object)) || type != MAPI_MESSAGE) return nullptr;
        return std::dynamic_pointer_cast<IMessage>(object);
    }
    // A saved message in the folder; returns its entry id.
    EntryId make(IMAPIFolder& f, const std::vector<SPropValue>& props, const ADRLIST& recipients = {}) {
        std::shared_ptr<IMessage> m;
        EXPECT_EQ(f.CreateMessage(0, m), S_OK);
        EXPECT_EQ(m->SetProps(props), S_OK);
        if (!recipients.aEntries.empty()) {
            EXPECT_EQ(m->ModifyRecipients(0, recipients), S_OK);
        }
        EXPECT_EQ(m->SaveChanges(KEEP_OPEN_READWRITE), S_OK);
        std::vector<SPropValue> v;
        m->GetProps({PR_ENTRYID}, 0, v);
        return v.at(0).bin;
    }
    SRowSet rows(IMAPIFolder& f, SPropTagArray columns, const SRestriction* r = nullptr) {
        std::shared_ptr<IMAPITable> t;
        EXPECT_EQ(f.GetContentsTable(0, t), S_OK);
        SRowSet* out = nullptr;
        SRowSet copy;
        if (HrQueryAllRows(t.get(), &columns, r, nullptr, 0, &out) == S_OK) copy = *out;
        FreeProws(out);
        return copy;
    }
};

inline ADRENTRY recipient(const std::string& name, const std::string& address, ULONG type) {
    ADRENTRY e;
    e.lpProps = {SPropValue::String(PR_DISPLAY_NAME, name), SPropValue::String(PR_EMAIL_ADDRESS, address),
                 SPropValue::String(PR_ADDRTYPE, "SMTP"),
                 SPropValue::Long(PR_RECIPIENT_TYPE, static_cast<int32_t>(type))};
    return e;
}

}  // namespace platform::mapi::test
