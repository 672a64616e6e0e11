# The mail store's readers of account blocks and message records.
tess_add_fuzz(fuzz_store_records SOURCES ${CMAKE_CURRENT_LIST_DIR}/fuzz_store_records.cpp LIBS ledgerly_objects tess_accounts tess_common)
