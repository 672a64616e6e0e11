# Unsealing of untrusted sealed texts (control mails).
tess_add_fuzz(sealing_unseal_fuzz SOURCES tests/fuzz/sealing_unseal_fuzz.cpp LIBS tess_sealing)
