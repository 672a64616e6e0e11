#pragma once
// The byte layout of an account file (acc%d.dat): a 40-byte head, the 6500-byte
// desktop account block, the 4076-byte handheld account block, then one 32-bit change
// tag per pending change. All numbers little-endian; texts NUL-terminated in fixed
// fields, the listed ones stored nibble-scrambled.
#include <array>
#include <cstddef>
#include <cstdint>

namespace tess::accounts::layout {

struct TextField {
    size_t offset;
    size_t width;
};

// File head.
inline constexpr size_t kHeadSize = 40;
inline constexpr size_t kHeadDataVersion = 0;
inline constexpr size_t kHeadHandheldWord0 = 4;
inline constexpr size_t kHeadDropMessages = 8;
inline constexpr size_t kHeadServerChanged = 12;
inline constexpr size_t kHeadPendingCount = 16;
inline constexpr size_t kHeadDeleteFromHandheld = 20;
inline constexpr size_t kHeadPresentOnHandheld = 24;
inline constexpr size_t kHeadLastSync = 28;
inline constexpr uint32_t kDataVersion = 517;

// Desktop account block.
inline constexpr size_t kDesktopSize = 6500;
inline constexpr TextField kAccountName{0, 16};
inline constexpr size_t kActive = 16;
inline constexpr size_t kGenerateKey = 20;
inline constexpr size_t kUnreadOnly = 24;
inline constexpr size_t kDownloadAttachments = 28;
inline constexpr size_t kSyncInbox = 32;
inline constexpr size_t kSyncOutbox = 36;
inline constexpr size_t kMessageSizeKb = 40;
inline constexpr size_t kMailClient = 44;
inline constexpr size_t kDaysToSync = 48;
inline constexpr TextField kHostName{52, 64};
inline constexpr TextField kMapiProfile{116, 128};
inline constexpr TextField kDesktopUser{244, 14};
inline constexpr TextField kDesktopPassword{258, 128};
inline constexpr size_t kFolderTable = 388;
inline constexpr size_t kFolderEntrySize = 112;
inline constexpr int kMaxServerFolders = 50;
// Server folder entry, relative to its start.
inline constexpr TextField kFolderName{0, 32};
inline constexpr size_t kFolderDataLength = 32;
inline constexpr size_t kFolderData = 36;
inline constexpr size_t kFolderDataMax = 64;
inline constexpr size_t kFolderSlot = 100;
inline constexpr size_t kFolderSynced = 104;
inline constexpr size_t kFolderFlags = 108;
inline constexpr int32_t kNoSlot = -2;
// After the folder table: the local-replica word (Notes), then the desktop-client
// selection that outside components keep through the data manager: an i32 id (-1: the
// texts below say it all), the client's name, two texts and a flag byte.
inline constexpr size_t kLocalReplica = 5988;
inline constexpr size_t kClientRecord = 5992;
inline constexpr size_t kClientId = kClientRecord;
inline constexpr TextField kClientName{kClientRecord + 4, 64};
inline constexpr TextField kClientText1{kClientName.offset + 64, 128};
inline constexpr TextField kClientText2{kClientText1.offset + 128, 128};
inline constexpr size_t kClientFlag = kClientText2.offset + 128;
// A desktop-only account switch kept by the data manager (it never goes to the handheld).
inline constexpr size_t kDesktopSwitch23 = 6320;
static_assert(kClientFlag < kDesktopSwitch23 && kDesktopSwitch23 + 4 <= kDesktopSize);

inline constexpr std::array<TextField, 7> kDesktopScrambled{kHostName,   kMapiProfile, kDesktopUser, kDesktopPassword,
                                                            kClientName, kClientText1, kClientText2};

// Handheld account block.
inline constexpr size_t kHandheldSize = 4076;
inline constexpr TextField kText0{0, 252};
inline constexpr TextField kText255{255, 252};
inline constexpr TextField kSentFolder{510, 16};
inline constexpr TextField kTrashFolder{526, 16};
inline constexpr size_t kWord0 = 542;  // u16
inline constexpr size_t kSwitch544 = 544;
inline constexpr size_t kSwitch548 = 548;
inline constexpr size_t kSwitch552 = 552;
inline constexpr size_t kMaxMessageBytes = 556;
inline constexpr TextField kIncomingServer{560, 80};
inline constexpr TextField kUserName{640, 80};
inline constexpr TextField kText720{720, 128};
inline constexpr TextField kText848{848, 128};
inline constexpr TextField kPassword{976, 252};
inline constexpr TextField kSmtpServer{1231, 80};
inline constexpr TextField kEmailAddress{1311, 80};
inline constexpr TextField kText1391{1391, 252};
inline constexpr size_t kSwitch1648 = 1648;
inline constexpr size_t kFiltering = 1652;
inline constexpr size_t kFilterCount = 1656;
inline constexpr size_t kFilters = 1660;
inline constexpr int kMaxFilters = 11;
inline constexpr size_t kFilterRecordSize = 116;
inline constexpr size_t kValue2936 = 2936;
inline constexpr size_t kBlindCopyOn = 2940;
inline constexpr TextField kBlindCopy{2944, 128};
inline constexpr size_t kReplyToOn = 3072;
inline constexpr TextField kReplyTo{3076, 80};
inline constexpr size_t kSmtpLogin = 3156;
inline constexpr TextField kSmtpUser{3160, 80};
inline constexpr TextField kSmtpPassword{3240, 252};
inline constexpr size_t kSmtpPort = 3496;      // u16
inline constexpr size_t kIncomingPort = 3498;  // u16
inline constexpr size_t kSwitch3500 = 3500;
inline constexpr size_t kValue3504 = 3504;
inline constexpr size_t kValue3508 = 3508;
inline constexpr size_t kFolderPrefCopy = 3540;

inline constexpr std::array<TextField, 16> kHandheldScrambled{
    kText720,    kUserName,     kPassword, kBlindCopy, kSmtpUser, kSmtpPassword, kIncomingServer, kText848,
    kSmtpServer, kEmailAddress, kReplyTo,  kText0,     kText255,  kSentFolder,   kTrashFolder,    kText1391};

static_assert(kFilters + kMaxFilters * kFilterRecordSize == kValue2936);
static_assert(kFolderTable + kMaxServerFolders * kFolderEntrySize == 5988);

// Handheld folder preference (id n + 160), also kept at kFolderPrefCopy.
inline constexpr size_t kFolderPrefSize = 278;
inline constexpr size_t kFolderPrefSlots = 2;
inline constexpr size_t kFolderSlotWidth = 16;
inline constexpr int kHandheldSlots = 16;
inline constexpr size_t kFolderPrefFlags = 258;
inline constexpr size_t kFolderPrefByte274 = 274;
static_assert(kFolderPrefCopy + kFolderPrefSize + 258 == kHandheldSize);

}  // namespace tess::accounts::layout
