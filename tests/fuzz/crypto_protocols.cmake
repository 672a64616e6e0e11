# Received protocol octets: certificates, ECAES and ECES ciphertexts, public keys, shares.
tess_add_fuzz(protocol_inputs_fuzz SOURCES tests/fuzz/protocol_inputs_fuzz.cpp LIBS Kestrel_static OpenSSL::Crypto)
