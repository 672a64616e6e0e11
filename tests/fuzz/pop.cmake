# POP3 replies: status, APOP timestamp, multi-line ends and bodies, UIDL listings.
tess_add_fuzz(fuzz_pop_reply SOURCES tests/fuzz/fuzz_pop_reply.cpp LIBS tess_pop)
