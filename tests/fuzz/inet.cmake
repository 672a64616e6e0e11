# Parsers of server replies and mail: IMAP responses, SMTP replies, the MIME reader.
tess_add_fuzz(fuzz_imap_response SOURCES ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_imap_response.cpp LIBS tess_imap)
tess_add_fuzz(fuzz_smtp_reply SOURCES ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_smtp_reply.cpp LIBS tess_inet)
tess_add_fuzz(fuzz_mime_reader SOURCES ${PROJECT_SOURCE_DIR}/tests/fuzz/fuzz_mime_reader.cpp LIBS tess_inet)
