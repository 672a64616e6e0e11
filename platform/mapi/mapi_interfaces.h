#pragma once
// The MAPI-shaped object model: sessions, stores, folders, messages, tables, attachments,
// the address book and profiles. Objects are shared_ptr-owned (no Release); every call
// answers an HRESULT as callers expect. Backings: platform/mapi/memory_backing.h (tests,
// fault injection) and platform/mapi/maildir_backing.h (real use).
#include <functional>
#include <memory>

#include "platform/mapi/mapi_defs.h"

class IStream {
public:
    virtual ~IStream() = default;
    virtual HRESULT Read(void* buffer, ULONG size, ULONG* read) = 0;
    virtual HRESULT Write(const void* buffer, ULONG size, ULONG* written) = 0;
    virtual HRESULT Stat(uint64_t* size) = 0;
    virtual HRESULT SetSize(uint64_t size) = 0;
    virtual HRESULT Seek(int64_t offset, int origin, uint64_t* position) = 0;  // origin: 0 set, 1 cur, 2 end
    virtual HRESULT Commit() = 0;  // writes back into the property it was opened on
    // Copies up to `size` bytes from the current position into `target`.
    virtual HRESULT CopyTo(IStream* target, uint64_t size, uint64_t* read, uint64_t* written) = 0;
};

class IMAPITable {
public:
    virtual ~IMAPITable() = default;
    virtual HRESULT SetColumns(const SPropTagArray& columns, ULONG flags) = 0;
    virtual HRESULT Restrict(const SRestriction* restriction, ULONG flags) = 0;  // null: none
    virtual HRESULT GetRowCount(ULONG flags, ULONG* count) = 0;
    virtual HRESULT SeekRow(ULONG bookmark, int32_t rowCount, int32_t* rowsSought) = 0;
    virtual HRESULT QueryRows(int32_t rowCount, ULONG flags, SRowSet& rows) = 0;
};

class IMAPIProp {
public:
    virtual ~IMAPIProp() = default;
    // Values in the order asked; a property that is absent comes back as PT_ERROR with
    // MAPI_E_NOT_FOUND (and a text too large for one value with MAPI_E_NOT_ENOUGH_MEMORY),
    // and the call then answers MAPI_W_ERRORS_RETURNED.
    virtual HRESULT GetProps(const SPropTagArray& tags, ULONG flags, std::vector<SPropValue>& values) = 0;
    virtual HRESULT SetProps(const std::vector<SPropValue>& values) = 0;
    virtual HRESULT DeleteProps(const SPropTagArray& tags) = 0;
    // A text or binary property as a stream; MAPI_CREATE | MAPI_MODIFY to write it.
    virtual HRESULT OpenProperty(ULONG tag, ULONG flags, std::shared_ptr<IStream>& stream) = 0;
    virtual HRESULT SaveChanges(ULONG flags) = 0;
    virtual ULONG objectType() const = 0;
};

class IAttach : public IMAPIProp {};

class IMessage : public IMAPIProp {
public:
    virtual HRESULT GetRecipientTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
    // flags 0 replaces all recipients; MODRECIP_ADD adds the list's entries.
    virtual HRESULT ModifyRecipients(ULONG flags, const ADRLIST& list) = 0;
    virtual HRESULT GetAttachmentTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
    virtual HRESULT OpenAttach(ULONG number, ULONG flags, std::shared_ptr<IAttach>& attach) = 0;
    virtual HRESULT CreateAttach(ULONG flags, ULONG* number, std::shared_ptr<IAttach>& attach) = 0;
    virtual HRESULT DeleteAttach(ULONG number) = 0;
    virtual HRESULT SetReadFlag(ULONG flags) = 0;  // 0 read, CLEAR_READ_FLAG unread
    virtual HRESULT SubmitMessage(ULONG flags) = 0;
};

class IMAPIFolder : public IMAPIProp {
public:
    virtual HRESULT GetContentsTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
    virtual HRESULT GetHierarchyTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
    virtual HRESULT CreateMessage(ULONG flags, std::shared_ptr<IMessage>& message) = 0;
    virtual HRESULT DeleteMessages(const ENTRYLIST& messages, ULONG flags) = 0;
    // MESSAGE_MOVE moves, else copies.
    virtual HRESULT CopyMessages(const ENTRYLIST& messages, IMAPIFolder* destination, ULONG flags) = 0;
};

class IMAPIAdviseSink {
public:
    virtual ~IMAPIAdviseSink() = default;
    virtual ULONG OnNotify(const std::vector<NOTIFICATION>& notifications) = 0;
};

class IMsgStore : public IMAPIProp {
public:
    // Opens a folder or a message of this store; an empty id opens the root folder.
    virtual HRESULT OpenEntry(const EntryId& id, ULONG flags, ULONG* objectType,
                              std::shared_ptr<IMAPIProp>& object) = 0;
    // The folder that receives messages of a class (empty: the default, "IPM.Note").
    virtual HRESULT GetReceiveFolder(const std::string& messageClass, ULONG flags, EntryId& folder) = 0;
    virtual HRESULT Advise(const EntryId& folder, ULONG eventMask, std::shared_ptr<IMAPIAdviseSink> sink,
                           ULONG* connection) = 0;
    virtual HRESULT Unadvise(ULONG connection) = 0;
    virtual HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, ULONG flags, ULONG* same) = 0;
    virtual HRESULT StoreLogoff(ULONG* flags) = 0;
};

class IMailUser : public IMAPIProp {};

class IABContainer : public IMAPIProp {
public:
    virtual HRESULT GetContentsTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
    virtual HRESULT GetHierarchyTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
    // Resolves each entry by its PR_DISPLAY_NAME; flags receives MAPI_RESOLVED,
    // MAPI_AMBIGUOUS or MAPI_UNRESOLVED per entry.
    virtual HRESULT ResolveNames(const SPropTagArray* columns, ULONG flags, ADRLIST& list,
                                 std::vector<ULONG>& resolution) = 0;
};

class IAddrBook {
public:
    virtual ~IAddrBook() = default;
    // An empty id opens the root container; otherwise a container or an entry.
    virtual HRESULT OpenEntry(const EntryId& id, ULONG flags, ULONG* objectType,
                              std::shared_ptr<IMAPIProp>& object) = 0;
    // Resolves every entry by PR_DISPLAY_NAME against the global list; text with '@' that
    // matches nobody becomes a one-off entry. MAPI_E_AMBIGUOUS_RECIP when a name matches
    // several entries, MAPI_E_NOT_FOUND when one matches nothing.
    virtual HRESULT ResolveName(ULONG uiParam, ULONG flags, const char* title, ADRLIST& list) = 0;
    // Fills each entry (by its PR_ENTRYID) with the asked properties, those first in order.
    virtual HRESULT PrepareRecips(ULONG flags, const SPropTagArray& columns, ADRLIST& list) = 0;
    virtual HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, ULONG flags, ULONG* same) = 0;
    // The entry id of an address that is in no list.
    virtual HRESULT CreateOneOff(const std::string& displayName, const std::string& addrType,
                                 const std::string& address, ULONG flags, EntryId& id) = 0;
};

class IMAPISession {
public:
    virtual ~IMAPISession() = default;
    virtual HRESULT GetMsgStoresTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
    virtual HRESULT OpenMsgStore(ULONG uiParam, const EntryId& id, ULONG flags, std::shared_ptr<IMsgStore>& store) = 0;
    virtual HRESULT OpenAddressBook(ULONG uiParam, ULONG flags, std::shared_ptr<IAddrBook>& book) = 0;
    virtual HRESULT QueryIdentity(EntryId& id) = 0;
    // Opens an address-book entry (the identity among them).
    virtual HRESULT OpenEntry(const EntryId& id, ULONG flags, ULONG* objectType,
                              std::shared_ptr<IMAPIProp>& object) = 0;
    virtual HRESULT CompareEntryIDs(const EntryId& a, const EntryId& b, ULONG flags, ULONG* same) = 0;
    virtual HRESULT Logoff(ULONG uiParam, ULONG flags, ULONG reserved) = 0;
};

class IProfAdmin {
public:
    virtual ~IProfAdmin() = default;
    // Rows of PR_DISPLAY_NAME and PR_DEFAULT_PROFILE, one per profile.
    virtual HRESULT GetProfileTable(ULONG flags, std::shared_ptr<IMAPITable>& table) = 0;
};
