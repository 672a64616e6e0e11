#pragma once
// Types, result codes, property tags and flags of the MAPI stand-in. Values are plain C++
// (owning strings and byte vectors) so no caller has to free a property by hand.
#include <cstdint>
#include <string>
#include <vector>

typedef int32_t HRESULT;
typedef uint32_t ULONG;
typedef std::vector<uint8_t> EntryId;  // an ENTRYID's bytes

// FILETIME as one number: 100-ns intervals since 1601-01-01 UTC.
typedef uint64_t FileTime;

// Result codes.
constexpr HRESULT S_OK = 0;
constexpr HRESULT MAPI_W_ERRORS_RETURNED = 0x00040380;
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT MAPI_E_CALL_FAILED = E_FAIL;
constexpr HRESULT MAPI_E_NOT_ENOUGH_MEMORY = E_OUTOFMEMORY;
constexpr HRESULT MAPI_E_INVALID_PARAMETER = E_INVALIDARG;
constexpr HRESULT MAPI_E_NO_SUPPORT = static_cast<HRESULT>(0x80040102);
constexpr HRESULT MAPI_E_INVALID_ENTRYID = static_cast<HRESULT>(0x80040107);
constexpr HRESULT MAPI_E_INVALID_OBJECT = static_cast<HRESULT>(0x80040108);
constexpr HRESULT MAPI_E_NOT_ENOUGH_DISK = static_cast<HRESULT>(0x8004010D);
constexpr HRESULT MAPI_E_NOT_FOUND = static_cast<HRESULT>(0x8004010F);
constexpr HRESULT MAPI_E_LOGON_FAILED = static_cast<HRESULT>(0x80040111);
constexpr HRESULT MAPI_E_TOO_COMPLEX = static_cast<HRESULT>(0x80040117);
constexpr HRESULT MAPI_E_NOT_INITIALIZED = static_cast<HRESULT>(0x80040605);
constexpr HRESULT MAPI_E_AMBIGUOUS_RECIP = static_cast<HRESULT>(0x80040700);
constexpr HRESULT MAPI_E_SUBMIT_FAILED = static_cast<HRESULT>(0x80040606);

constexpr bool FAILED(HRESULT hr) { return hr < 0; }
constexpr bool SUCCEEDED(HRESULT hr) { return hr >= 0; }

// Property types and tags.
constexpr ULONG PT_SHORT = 0x0002, PT_LONG = 0x0003, PT_ERROR = 0x000A, PT_BOOLEAN = 0x000B, PT_I8 = 0x0014,
                PT_STRING8 = 0x001E, PT_UNICODE = 0x001F, PT_SYSTIME = 0x0040, PT_BINARY = 0x0102,
                PT_MV_STRING8 = 0x101E;
constexpr ULONG PROP_TYPE(ULONG tag) { return tag & 0xFFFF; }
constexpr ULONG PROP_ID(ULONG tag) { return tag >> 16; }
constexpr ULONG PROP_TAG(ULONG type, ULONG id) { return (id << 16) | type; }
constexpr ULONG CHANGE_PROP_TYPE(ULONG tag, ULONG type) { return (tag & 0xFFFF0000u) | type; }

constexpr ULONG PR_IMPORTANCE = 0x00170003;
constexpr ULONG PR_MESSAGE_CLASS = 0x001A001E;
constexpr ULONG PR_ORIGINATOR_DELIVERY_REPORT_REQUESTED = 0x0023000B;
constexpr ULONG PR_READ_RECEIPT_REQUESTED = 0x0029000B;
constexpr ULONG PR_INCOMPLETE_COPY = 0x0035000B;
constexpr ULONG PR_SUBJECT = 0x0037001E;
constexpr ULONG PR_CLIENT_SUBMIT_TIME = 0x00390040;
constexpr ULONG PR_SENT_REPRESENTING_NAME = 0x0042001E;
constexpr ULONG PR_ORIGINAL_SUBJECT = 0x0049001E;
constexpr ULONG PR_REPLY_RECIPIENT_NAMES = 0x0050001E;
constexpr ULONG PR_MESSAGE_TO_ME = 0x0057000B;
constexpr ULONG PR_MESSAGE_CC_ME = 0x0058000B;
constexpr ULONG PR_SENT_REPRESENTING_ADDRTYPE = 0x0064001E;
constexpr ULONG PR_SENT_REPRESENTING_EMAIL_ADDRESS = 0x0065001E;
constexpr ULONG PR_TRANSPORT_MESSAGE_HEADERS = 0x007D001E;
constexpr ULONG PR_RECIPIENT_TYPE = 0x0C150003;
constexpr ULONG PR_SENDER_ENTRYID = 0x0C190102;
constexpr ULONG PR_SENDER_NAME = 0x0C1A001E;
constexpr ULONG PR_SENDER_ADDRTYPE = 0x0C1E001E;
constexpr ULONG PR_SENDER_EMAIL_ADDRESS = 0x0C1F001E;
constexpr ULONG PR_DELETE_AFTER_SUBMIT = 0x0E01000B;
constexpr ULONG PR_DISPLAY_CC = 0x0E03001E;
constexpr ULONG PR_DISPLAY_TO = 0x0E04001E;
constexpr ULONG PR_MESSAGE_DELIVERY_TIME = 0x0E060040;
constexpr ULONG PR_MESSAGE_FLAGS = 0x0E070003;
constexpr ULONG PR_MESSAGE_SIZE = 0x0E080003;
constexpr ULONG PR_PARENT_ENTRYID = 0x0E090102;
constexpr ULONG PR_SENTMAIL_ENTRYID = 0x0E0A0102;
constexpr ULONG PR_HASATTACH = 0x0E1B000B;
constexpr ULONG PR_ATTACH_NUM = 0x0E210003;
constexpr ULONG PR_OBJECT_TYPE = 0x0FFE0003;
constexpr ULONG PR_ENTRYID = 0x0FFF0102;
constexpr ULONG PR_BODY = 0x1000001E;
constexpr ULONG PR_REPORT_TEXT = 0x1001001E;
constexpr ULONG PR_BODY_HTML = 0x1013001E;
constexpr ULONG PR_INTERNET_MESSAGE_ID = 0x1035001E;
constexpr ULONG PR_DISPLAY_NAME = 0x3001001E;
constexpr ULONG PR_ADDRTYPE = 0x3002001E;
constexpr ULONG PR_EMAIL_ADDRESS = 0x3003001E;
constexpr ULONG PR_PROVIDER_DISPLAY = 0x3006001E;
constexpr ULONG PR_SEARCH_KEY = 0x300B0102;
constexpr ULONG PR_DEFAULT_STORE = 0x3400000B;
constexpr ULONG PR_MDB_PROVIDER = 0x34140102;
constexpr ULONG PR_IPM_SUBTREE_ENTRYID = 0x35E00102;
constexpr ULONG PR_IPM_OUTBOX_ENTRYID = 0x35E20102;
constexpr ULONG PR_IPM_WASTEBASKET_ENTRYID = 0x35E30102;
constexpr ULONG PR_IPM_SENTMAIL_ENTRYID = 0x35E40102;
constexpr ULONG PR_CONTENT_COUNT = 0x36020003;
constexpr ULONG PR_CONTENT_UNREAD = 0x36030003;
constexpr ULONG PR_SUBFOLDERS = 0x360A000B;
constexpr ULONG PR_CONTAINER_CLASS = 0x3613001E;
constexpr ULONG PR_AB_PROVIDER_ID = 0x36150102;
constexpr ULONG PR_ATTACH_DATA_BIN = 0x37010102;
constexpr ULONG PR_ATTACH_FILENAME = 0x3704001E;
constexpr ULONG PR_ATTACH_METHOD = 0x37050003;
constexpr ULONG PR_ATTACH_LONG_FILENAME = 0x3707001E;
constexpr ULONG PR_ATTACH_PATHNAME = 0x3708001E;
constexpr ULONG PR_RENDERING_POSITION = 0x370B0003;
constexpr ULONG PR_ATTACH_MIME_TAG = 0x370E001E;
constexpr ULONG PR_SMTP_ADDRESS = 0x39FE001E;
constexpr ULONG PR_SEND_RICH_INFO = 0x3A40000B;
constexpr ULONG PR_DEFAULT_PROFILE = 0x3D04000B;
constexpr ULONG PR_EMS_AB_PROXY_ADDRESSES = 0x800F101E;
constexpr ULONG PR_EMS_AB_CONTAINERID = 0xFFFD0003;

// Object types (PR_OBJECT_TYPE and OpenEntry's out value).
constexpr ULONG MAPI_STORE = 1, MAPI_ADDRBOOK = 2, MAPI_FOLDER = 3, MAPI_ABCONT = 4, MAPI_MESSAGE = 5,
                MAPI_MAILUSER = 6, MAPI_ATTACH = 7;

// Recipient types and resolution flags.
constexpr ULONG MAPI_ORIG = 0, MAPI_TO = 1, MAPI_CC = 2, MAPI_BCC = 3;
constexpr ULONG MAPI_UNRESOLVED = 0, MAPI_AMBIGUOUS = 1, MAPI_RESOLVED = 2;

// Message flags.
constexpr ULONG MSGFLAG_READ = 0x01, MSGFLAG_UNMODIFIED = 0x02, MSGFLAG_SUBMIT = 0x04, MSGFLAG_UNSENT = 0x08,
                MSGFLAG_HASATTACH = 0x10;

// Attachment methods.
constexpr ULONG ATTACH_BY_VALUE = 1, ATTACH_EMBEDDED_MSG = 5, ATTACH_OLE = 6;

// Call flags.
constexpr ULONG MAPI_MODIFY = 0x00000001, MAPI_CREATE = 0x00000002, MAPI_DEFERRED_ERRORS = 0x00000008,
                MAPI_BEST_ACCESS = 0x00000010, KEEP_OPEN_READONLY = 0x00000001, KEEP_OPEN_READWRITE = 0x00000002,
                FORCE_SAVE = 0x00000004, MESSAGE_MOVE = 0x00000001, CLEAR_READ_FLAG = 0x00000004,
                MAPI_NEW_SESSION = 0x00000002, MAPI_LOGON_UI = 0x00000001, MAPI_EXPLICIT_PROFILE = 0x00000010,
                MAPI_EXTENDED = 0x00000020, MAPI_USE_DEFAULT = 0x00000040, MAPI_TIMEOUT_SHORT = 0x00100000,
                AB_NO_DIALOG = 0x00000001, MAPI_DIALOG = 0x00000008, TBL_BATCH = 0x00000002,
                CONVENIENT_DEPTH = 0x00000001, FORCE_SUBMIT = 0x00000001, MODRECIP_ADD = 0x00000002,
                MODRECIP_MODIFY = 0x00000004, MODRECIP_REMOVE = 0x00000008;

// Notification events.
constexpr ULONG fnevNewMail = 0x00000002;

// Table positions.
constexpr ULONG BOOKMARK_BEGINNING = 0, BOOKMARK_CURRENT = 1, BOOKMARK_END = 2;

// A property value. The field used follows PROP_TYPE(ulPropTag); PT_ERROR carries err.
struct SPropValue {
    ULONG ulPropTag = 0;
    int32_t l = 0;                // PT_LONG, PT_SHORT
    bool b = false;               // PT_BOOLEAN
    int64_t li = 0;               // PT_I8
    FileTime ft = 0;              // PT_SYSTIME
    HRESULT err = S_OK;           // PT_ERROR
    std::string str;              // PT_STRING8 (8-bit text)
    std::vector<uint8_t> bin;     // PT_BINARY
    std::vector<std::string> mv;  // PT_MV_STRING8

    static SPropValue Long(ULONG tag, int32_t v) {
        SPropValue p;
        p.ulPropTag = tag;
        p.l = v;
        return p;
    }
    static SPropValue Bool(ULONG tag, bool v) {
        SPropValue p;
        p.ulPropTag = tag;
        p.b = v;
        return p;
    }
    static SPropValue Time(ULONG tag, FileTime v) {
        SPropValue p;
        p.ulPropTag = tag;
        p.ft = v;
        return p;
    }
    static SPropValue String(ULONG tag, std::string v) {
        SPropValue p;
        p.ulPropTag = tag;
        p.str = std::move(v);
        return p;
    }
    static SPropValue Binary(ULONG tag, std::vector<uint8_t> v) {
        SPropValue p;
        p.ulPropTag = tag;
        p.bin = std::move(v);
        return p;
    }
    static SPropValue Multi(ULONG tag, std::vector<std::string> v) {
        SPropValue p;
        p.ulPropTag = tag;
        p.mv = std::move(v);
        return p;
    }
    // The error value GetProps returns in place of a property it cannot give.
    static SPropValue Error(ULONG tag, HRESULT e) {
        SPropValue p;
        p.ulPropTag = CHANGE_PROP_TYPE(tag, PT_ERROR);
        p.err = e;
        return p;
    }
    bool isError() const { return PROP_TYPE(ulPropTag) == PT_ERROR; }
    bool operator==(const SPropValue&) const = default;
};

typedef std::vector<ULONG> SPropTagArray;

// A row of a table; also one entry of an address list (ADRENTRY).
struct SRow {
    std::vector<SPropValue> lpProps;
    // The value with this tag, or null.
    const SPropValue* find(ULONG tag) const {
        for (const auto& p : lpProps)
            if (p.ulPropTag == tag) return &p;
        return nullptr;
    }
};
struct SRowSet {
    std::vector<SRow> aRow;
    ULONG cRows() const { return static_cast<ULONG>(aRow.size()); }
};
typedef SRow ADRENTRY;
struct ADRLIST {
    std::vector<ADRENTRY> aEntries;
};
typedef std::vector<EntryId> ENTRYLIST;

// Restrictions (the kinds the product uses).
constexpr ULONG RES_AND = 0, RES_OR = 1, RES_NOT = 2, RES_CONTENT = 3, RES_PROPERTY = 4, RES_EXIST = 8;
constexpr ULONG RELOP_LT = 0, RELOP_LE = 1, RELOP_GT = 2, RELOP_GE = 3, RELOP_EQ = 4, RELOP_NE = 5;
constexpr ULONG FL_FULLSTRING = 0, FL_SUBSTRING = 1, FL_PREFIX = 2, FL_IGNORECASE = 0x10000;

struct SRestriction {
    ULONG rt = RES_AND;
    ULONG relop = RELOP_EQ;         // RES_PROPERTY
    ULONG fuzzyLevel = 0;           // RES_CONTENT
    ULONG ulPropTag = 0;            // RES_PROPERTY, RES_CONTENT, RES_EXIST
    SPropValue prop;                // the value compared with
    std::vector<SRestriction> sub;  // RES_AND, RES_OR, RES_NOT (one)
};

// A notification (only new mail is raised by the stand-in).
struct NOTIFICATION {
    ULONG ulEventType = 0;
    EntryId entryId;   // the new message
    EntryId parentId;  // its folder
    ULONG ulFlags = 0;
    std::string messageClass;
    ULONG ulMessageFlags = 0;
};
