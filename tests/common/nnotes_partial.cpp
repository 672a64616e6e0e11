// A Notes client library as an incomplete installation leaves it: five of the six calls
// the desktop side binds, without DNParse. Every call fails; nothing gets that far.
#include "platform/notes/nnotes.h"

STATUS NotesInitIni(const char*) { return ERR_NOTES_NOT_INIT; }
void NotesTerm(void) {}
NBOOL OSGetEnvironmentString(const char*, char* value, WORD maxLen) {
    if (value && maxLen) value[0] = '\0';
    return 0;
}
STATUS SECKFMGetUserName(char* userName) {
    if (userName) userName[0] = '\0';
    return ERR_NO_ID;
}
STATUS SECKFMSwitchToIDFile(const char*, const char*, char* userName, WORD maxLen, DWORD, void*) {
    if (userName && maxLen) userName[0] = '\0';
    return ERR_NO_ID;
}
