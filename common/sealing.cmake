# The sealing coder over the cryptographic library's DESX: compiled into the relay
# (which seals and unseals) and the engine (which seals and makes keys).
add_library(tess_sealing STATIC ${CMAKE_CURRENT_LIST_DIR}/sealing_coder.cpp)
set_target_properties(tess_sealing PROPERTIES POSITION_INDEPENDENT_CODE ON)
target_link_libraries(tess_sealing PUBLIC tess_common Kestrel_static)
