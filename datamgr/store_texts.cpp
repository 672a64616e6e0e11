#include "datamgr/store_texts.h"

namespace tess::datamgr {

const char* StoreText(int id) {
    switch (id) {
    case kTextProduct: return "Tessaline";
    case kTextAccountLoadError: return "Fehler beim Laden der Einstellungen f\xFCr Konto '%s':\n\t%s";
    case kTextInitialising: return "Mail System wird initialisiert ...";
    case kTextUserInfo: return "Benutzerinformationen werden initialisiert ...";
    case kTextAccountInfo: return "Kontoinformationen werden abgerufen ...";
    case kTextFetchActions: return "Interne Maildaten werden abgerufen ...";
    case kTextLoadActions: return "Serveraktivit\xE4tsinformationen werden geladen ...";
    case kTextFetchMessages: return "Nachrichten werden vom Ger\xE4t abgerufen ...";
    case kTextNewFolder: return "FLD_%d";
    case kTextIdle: return "Im Leerlauf ...";
    case kTextRefreshList: return "Nachrichtenliste auf Ger\xE4t wird aktualisiert ...";
    default: return "";
    }
}

}  // namespace tess::datamgr
