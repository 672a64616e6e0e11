# Binary fields, point octets and the curve engines. Included by this
# folder's CMakeLists.txt, which adds these sources to the library targets.
set(KESTREL_CURVE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/binary_fields.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_fields_portable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_fields_clmul.cpp
  ${CMAKE_CURRENT_LIST_DIR}/basis_conversion.cpp
)
list(APPEND KESTREL_CURVE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/field_dispatch.cpp
  ${CMAKE_CURRENT_LIST_DIR}/point_octets.cpp
  ${CMAKE_CURRENT_LIST_DIR}/curve_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/koblitz_recoding.cpp
  ${CMAKE_CURRENT_LIST_DIR}/koblitz_engine.cpp
)
list(APPEND KESTREL_CURVE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/curve_record.cpp
  ${CMAKE_CURRENT_LIST_DIR}/sect163k1_record.cpp
)
