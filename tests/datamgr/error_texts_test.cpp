// ERRLookupError through the library's export: texts, buffer sizes, unknown codes.
#include <gtest/gtest.h>

#include <cstring>

#include "datamgr/ledgerly.h"

TEST(ErrorTexts, KnownCodesGiveTheirTexts) {
    struct Case {
        uint32_t code;
        const char* text;
    } cases[] = {
        {0x00000000, "Der Vorgang war erfolgreich."},
        {0x80000006, "Die Datenbank konnte nicht geöffnet werden."},
        {0x80000007, "Die Datenbank konnte nicht geschlossen werden."},
        {0x80400001, "Die Protokolldatei konnte nicht geöffnet werden."},
        {0x80A00005, "Das Datumsformat ist nicht GMT. Die aktuelle Zeit wird verwendet."},
        {0x80B00003, "Diese Nachricht enthält zu viele Anhänge."},
        {0x00A00001,
         "Der Text der Nachricht wurde auf die Größe des Zwischenspeicher gekürzt. Die Nachricht "
         "wurde als unvollständig gekennzeichnet."},
        {0x80100003, "Dieser Typ ist bereits für eine andere Anwendung registriert. Kontakt zu Corvid Inc."},
    };
    for (const Case& c : cases) {
        char buf[1024];
        int size = sizeof buf;
        EXPECT_EQ(ERRLookupError(static_cast<int>(c.code), buf, &size), 0) << std::hex << c.code;
        EXPECT_STREQ(buf, c.text);
        EXPECT_EQ(size, 1024);
    }
    // A record not found on the handheld has a text of its own now, not an empty one.
    char buf[1024];
    int size = sizeof buf;
    EXPECT_EQ(ERRLookupError(static_cast<int>(0x8000000F), buf, &size), 0);
    EXPECT_GT(std::strlen(buf), 0u);
}

TEST(ErrorTexts, BufferSizeRules) {
    const char* text = "Die Datenbank konnte nicht geöffnet werden.";
    const int needed = static_cast<int>(std::strlen(text)) + 1;
    const int code = static_cast<int>(0x80000006);
    struct Case {
        int size;
        bool nullBuffer;
        int rc;
        int sizeAfter;
        bool written;
    } cases[] = {
        {needed, false, 0, needed, true},
        {needed - 1, false, static_cast<int>(0x80000005), needed, false},
        {1, false, static_cast<int>(0x80000005), needed, false},
        {needed, true, static_cast<int>(0x80000005), needed, false},
        {0, true, static_cast<int>(0x80000005), needed, false},
    };
    for (const Case& c : cases) {
        char buf[256];
        std::memset(buf, 'Z', sizeof buf);
        int size = c.size;
        EXPECT_EQ(ERRLookupError(code, c.nullBuffer ? nullptr : buf, &size), c.rc) << c.size;
        EXPECT_EQ(size, c.sizeAfter) << c.size;
        if (c.written) {
            EXPECT_STREQ(buf, text);
        } else {
            EXPECT_EQ(buf[0], 'Z');
        }
    }
}

TEST(ErrorTexts, UnknownCodeChangesNothing) {
    char buf[16] = "untouched";
    int size = sizeof buf;
    EXPECT_EQ(ERRLookupError(0x12345678, buf, &size), static_cast<int>(0x80000002));
    EXPECT_STREQ(buf, "untouched");
    EXPECT_EQ(size, 16);
    EXPECT_EQ(ERRLookupError(0, buf, nullptr), static_cast<int>(0x80000002));
}
