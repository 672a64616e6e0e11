#pragma once
/* Ledgerly: the mail data manager. Every module writes the product log through it and
   turns result codes into texts with it. (The session and store exports join this
   header as they are built.) */
#include <stdint.h>

#include "platform/export.h"

/* Result codes: 0 success; bit 31 an error; bits 20-27 the family; low 20 bits the
   error within it. Information codes have bit 31 clear and a nonzero family. */
#define LDG_OK 0x00000000u
#define LDG_INFO_RECORDS_UPDATED 0x00100001u
#define LDG_INFO_NO_TALLYHOP 0x00200001u
#define LDG_INFO_NO_PROGRESS 0x00200002u
#define LDG_INFO_NO_CACHED_STATE 0x00200003u
#define LDG_INFO_CONFIG_NOT_STARTED 0x00300001u
#define LDG_INFO_MESSAGE_TRUNCATED 0x00A00001u
#define LDG_E_NO_MEMORY 0x80000001u
#define LDG_E_INVALID_PARAMETER 0x80000002u
#define LDG_E_NOT_SUPPORTED 0x80000003u
#define LDG_E_NOT_INITIALIZED 0x80000004u
#define LDG_E_BUFFER_TOO_SMALL 0x80000005u
#define LDG_E_DB_OPEN 0x80000006u
#define LDG_E_DB_CLOSE 0x80000007u
#define LDG_E_DB_VERSION 0x80000008u
#define LDG_E_INVALID_OPERATION 0x80000009u
#define LDG_E_XSP_MISSING 0x8000000Au
#define LDG_E_OUT_OF_RANGE 0x8000000Bu
#define LDG_E_END_OF_LIST 0x8000000Cu
#define LDG_E_PARENT_NOT_SAVED 0x8000000Du
#define LDG_E_DEVICE_FULL 0x8000000Eu
#define LDG_E_RECORD_NOT_FOUND 0x8000000Fu
#define LDG_E_REG_HOST_EXISTS 0x80100001u
#define LDG_E_REG_OPEN 0x80100002u
#define LDG_E_REG_TYPE_TAKEN 0x80100003u
#define LDG_E_LOG_OPEN 0x80400001u
#define LDG_E_IO_SAVE 0x80700001u
#define LDG_E_IO_DELETE 0x80700002u
#define LDG_E_IO_READ_DEVICE 0x80700003u
#define LDG_E_IO_EMPTY_DB 0x80700004u
#define LDG_E_ADD_ATTACHMENT 0x80800001u
#define LDG_E_FOLDER_LIMIT 0x80800002u
#define LDG_E_FOLDER_EXISTS 0x80800003u
#define LDG_E_SHARED_FOLDER 0x80800004u
#define LDG_E_ACCOUNT_NAME_CHAR 0x80800005u
#define LDG_E_FOLDER_INVALID 0x80800006u
#define LDG_E_MESSAGE_MISSING 0x80900001u
#define LDG_E_FOLDER_NOT_SAVED 0x80900002u
#define LDG_E_ATTACHMENT_NOT_LOADED 0x80A00001u
#define LDG_E_MESSAGE_TOO_LARGE 0x80A00002u
#define LDG_E_ATTACHMENT_EXISTS 0x80A00003u
#define LDG_E_ATTACHMENTS_NOT_SAVED 0x80A00004u
#define LDG_E_DATE_NOT_GMT 0x80A00005u
#define LDG_E_BAD_BODY_OFFSET 0x80A00006u
#define LDG_E_MISSING_ADDRESSES 0x80A00007u
#define LDG_E_ATTACHMENT_LOAD 0x80B00001u
#define LDG_E_ATTACHMENT_TOO_LARGE 0x80B00002u
#define LDG_E_TOO_MANY_ATTACHMENTS 0x80B00003u

/* Appends one line to Tessaline.log: "%-26s %s\r\n" with the local time stamp
   "%m-%d-%Y %I:%M:%S %p"; carriage returns dropped, each line feed continued on a new
   line indented by 29 blanks. 0 when written; LDG_E_LOG_OPEN when logging is not open
   in this process or the file cannot be written. Appends from several processes are
   serialised by a lock on the file. */
TESS_API int MLOGAdd(const char* text);

/* The text of a result code (UTF-8). *size is the capacity of buffer, terminator
   included. Unknown code: LDG_E_INVALID_PARAMETER, nothing changed. Too small:
   LDG_E_BUFFER_TOO_SMALL with *size set to the bytes needed. Null buffer:
   LDG_E_BUFFER_TOO_SMALL. Null size: LDG_E_INVALID_PARAMETER. */
TESS_API int ERRLookupError(int code, char* buffer, int* size);
