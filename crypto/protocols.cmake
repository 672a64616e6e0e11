# The public-key protocols over the curve engines (and OpenSSL's BN, DH and DSA
# for the integer ones). Included by this folder's CMakeLists.txt.
set(KESTREL_EXTRA_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/key_pairs.cpp
  ${CMAKE_CURRENT_LIST_DIR}/order_inverse.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ecdsa.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ec_nr.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ecdh_mqv.cpp
  ${CMAKE_CURRENT_LIST_DIR}/integer_groups.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dsa.cpp
  ${CMAKE_CURRENT_LIST_DIR}/integer_dh.cpp
  ${CMAKE_CURRENT_LIST_DIR}/eces.cpp
  ${CMAKE_CURRENT_LIST_DIR}/ecaes.cpp
  ${CMAKE_CURRENT_LIST_DIR}/secret_sharing.cpp
  ${CMAKE_CURRENT_LIST_DIR}/certificates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/combined_encrypt_sign.cpp
)
