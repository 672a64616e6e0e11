#include "datamgr/error_texts.h"

#include <cstring>

#include "datamgr/ledgerly.h"

namespace tess::datamgr {
namespace {

struct StringEntry {
    int id;
    const char* text;
};

// String ids 115 and 116 are in the table but no code selects them. 147 (a handheld
// record asked for by id does not exist) had no text; it has one now.
const StringEntry kStrings[] = {
    {98, "Der Vorgang war erfolgreich."},
    {99, "Das System verfügt nicht über ausreichend Speicher, um den Vorgang abzuschließen."},
    {100, "Der API wurde ein ungültiger Parameter übergeben."},
    {101, "Die Abfrage wird von dieser Version der API nicht unterstützt."},
    {102, "Das Objekt wurde nicht initialisiert."},
    {103,
     "Der Zwischenspeicher reicht nicht aus. Überprüfen Sie, ob genügend Speicherplatz verfügbar ist, und "
     "versuchen Sie es erneut."},
    {104, "Die Datenbank konnte nicht geöffnet werden."},
    {105, "Die Datenbank konnte nicht geschlossen werden."},
    {106, "Die Einträge wurden aktualisiert."},
    {107, "Dieser Hostname ist bereits vorhanden."},
    {108, "Die Systemregistrierung konnte nicht geöffnet werden."},
    {109, "Dieser Typ ist bereits für eine andere Anwendung registriert. Kontakt zu Corvid Inc."},
    {110, "Derzeit läuft kein Tallyhop-Vorgang. Das Fortschrittanzeige ist nicht verfügbar."},
    {111, "Das Fortschrittanzeige ist nicht verfügbar."},
    {112, "Die Fortschrittinformationen konnten nicht wiederhergestellt werden. Der Zwischenspeicher ist leer."},
    {113, "Das Konfigurationsprogramm konnte nicht gestartet werden."},
    {114, "Die Protokolldatei konnte nicht geöffnet werden."},
    {115, "Es ist ein Synchronisierungsfehler aufgetreten."},
    {116, "Unbekannter Fehlercode."},
    {117, "Beim Speichern ist ein Fehler aufgetreten."},
    {118, "Während eines Löschvorgangs ist ein Fehler aufgetreten. Die Daten wurden nicht gelöscht."},
    {119, "Die Version der Anwendungsdatenbank ist nicht kompatibel."},
    {120, "Beim Abrufen der Daten vom Gerät ist ein Fehler aufgetreten."},
    {121, "Es wurde versucht, einen ungültigen Vorgang auszuführen."},
    {122, "Beim Leeren der Datenbank ist ein Fehler aufgetreten."},
    {123, "Beim Laden eines Anhangs ist ein Fehler aufgetreten."},
    {124, "Beim Hinzufügen eines Anhangs ist ein Fehler aufgetreten."},
    {125,
     "Beim Hinzufügen eines Ordners ist ein Fehler aufgetreten. Es wurde bereits die maximale Ordneranzahl "
     "erreicht."},
    {126, "Beim Hinzufügen eines Ordners ist ein Fehler aufgetreten. Der Name ist bereits vorhanden."},
    {127, "Unzulässiger Vorgang für einen gemeinsamen Ordner."},
    {128, "Der Kontoname enthält ein ungültiges Zeichen."},
    {129, "Der angeforderte Ordner ist ungültig oder nicht mehr verfügbar."},
    {130, "Der Anhang muss geladen werden, bevor er bearbeitet werden kann."},
    {131, "Die Nachricht ist nicht vorhanden. Ungültige Kennung."},
    {132, "Die Nachricht überschreitet die maximale Größe und kann nicht gespeichert werden."},
    {133, "Der Ordner muss gespeichert werden, bevor Nachrichten darin erstellt werden können."},
    {134, "Diese Nachricht enthält zu viele Anhänge."},
    {135, "Der Anhang überschreitet die maximale Größe und kann nicht gespeichert werden."},
    {136, "Der Anhang ist bereits in der Nachricht vorhanden."},
    {137, "Die Anhänge für diese Nachricht wurden nicht gespeichert."},
    {138, "Das Datumsformat ist nicht GMT. Die aktuelle Zeit wird verwendet."},
    {139, "Falscher Offset in Nachrichtentext."},
    {140,
     "Der Text der Nachricht wurde auf die Größe des Zwischenspeicher gekürzt. Die Nachricht wurde als "
     "unvollständig gekennzeichnet."},
    {141,
     "Eine definierte XSP-Komponente fehlt oder kann nicht geladen werden. Die Registrierung von "
     "XSP-Komponente wurde gelöscht. Wenden Sie sich an den Anbieter."},
    {142, "Der übergebene Wert liegt außerhalb des Feldbereichs."},
    {143, "Das Ende der Liste wurde erreicht."},
    {144, "Das übergeordnete Objekt muss gespeichert werden, um diesen Vorgang durchführen zu können."},
    {145, "Es fehlen erforderliche Angaben (Von und An) zum Speichern der Nachricht."},
    {146, "Es ist nicht ausreichend Speicherplatz für diesen Vorgang auf dem Gerät verfügbar."},
    {147, "Der angeforderte Eintrag ist auf dem Gerät nicht vorhanden."},
};

struct CodeEntry {
    uint32_t code;
    int id;
};

const CodeEntry kCodes[] = {
    {LDG_OK, 98},
    {LDG_INFO_RECORDS_UPDATED, 106},
    {LDG_INFO_NO_TALLYHOP, 110},
    {LDG_INFO_NO_PROGRESS, 111},
    {LDG_INFO_NO_CACHED_STATE, 112},
    {LDG_INFO_CONFIG_NOT_STARTED, 113},
    {LDG_INFO_MESSAGE_TRUNCATED, 140},
    {LDG_E_NO_MEMORY, 99},
    {LDG_E_INVALID_PARAMETER, 100},
    {LDG_E_NOT_SUPPORTED, 101},
    {LDG_E_NOT_INITIALIZED, 102},
    {LDG_E_BUFFER_TOO_SMALL, 103},
    {LDG_E_DB_OPEN, 104},
    {LDG_E_DB_CLOSE, 105},
    {LDG_E_DB_VERSION, 119},
    {LDG_E_INVALID_OPERATION, 121},
    {LDG_E_XSP_MISSING, 141},
    {LDG_E_OUT_OF_RANGE, 142},
    {LDG_E_END_OF_LIST, 143},
    {LDG_E_PARENT_NOT_SAVED, 144},
    {LDG_E_DEVICE_FULL, 146},
    {LDG_E_RECORD_NOT_FOUND, 147},
    {LDG_E_REG_HOST_EXISTS, 107},
    {LDG_E_REG_OPEN, 108},
    {LDG_E_REG_TYPE_TAKEN, 109},
    {LDG_E_LOG_OPEN, 114},
    {LDG_E_IO_SAVE, 117},
    {LDG_E_IO_DELETE, 118},
    {LDG_E_IO_READ_DEVICE, 120},
    {LDG_E_IO_EMPTY_DB, 122},
    {LDG_E_ADD_ATTACHMENT, 124},
    {LDG_E_FOLDER_LIMIT, 125},
    {LDG_E_FOLDER_EXISTS, 126},
    {LDG_E_SHARED_FOLDER, 127},
    {LDG_E_ACCOUNT_NAME_CHAR, 128},
    {LDG_E_FOLDER_INVALID, 129},
    {LDG_E_MESSAGE_MISSING, 131},
    {LDG_E_FOLDER_NOT_SAVED, 133},
    {LDG_E_ATTACHMENT_NOT_LOADED, 130},
    {LDG_E_MESSAGE_TOO_LARGE, 132},
    {LDG_E_ATTACHMENT_EXISTS, 136},
    {LDG_E_ATTACHMENTS_NOT_SAVED, 137},
    {LDG_E_DATE_NOT_GMT, 138},
    {LDG_E_BAD_BODY_OFFSET, 139},
    {LDG_E_MISSING_ADDRESSES, 145},
    {LDG_E_ATTACHMENT_LOAD, 123},
    {LDG_E_ATTACHMENT_TOO_LARGE, 135},
    {LDG_E_TOO_MANY_ATTACHMENTS, 134},
};

}  // namespace

const char* StringText(int id) {
    for (const StringEntry& s : kStrings)
        if (s.id == id) return s.text;
    return nullptr;
}

const char* ErrorText(uint32_t code) {
    for (const CodeEntry& c : kCodes)
        if (c.code == code) return StringText(c.id);
    return nullptr;
}

}  // namespace tess::datamgr

int ERRLookupError(int code, char* buffer, int* size) {
    const char* text = tess::datamgr::ErrorText(static_cast<uint32_t>(code));
    if (!text || !size) return static_cast<int>(LDG_E_INVALID_PARAMETER);
    const int needed = static_cast<int>(std::strlen(text)) + 1;
    if (*size < needed) {
        *size = needed;
        return static_cast<int>(LDG_E_BUFFER_TOO_SMALL);
    }
    if (!buffer) return static_cast<int>(LDG_E_BUFFER_TOO_SMALL);
    std::memcpy(buffer, text, static_cast<size_t>(needed));
    return 0;
}
