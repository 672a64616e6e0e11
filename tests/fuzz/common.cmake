# Parsers of handheld records, base64 and Date headers.
tess_add_fuzz(fuzz_handheld_records SOURCES tests/fuzz/fuzz_handheld_records.cpp LIBS tess_common)
tess_add_fuzz(fuzz_base64_decode SOURCES tests/fuzz/fuzz_base64_decode.cpp LIBS tess_common)
tess_add_fuzz(fuzz_rfc822_date SOURCES tests/fuzz/fuzz_rfc822_date.cpp LIBS ledgerly_objects tess_common)
