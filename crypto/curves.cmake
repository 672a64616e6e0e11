# Binary fields, point octets and the curve engines. Included by this
# folder's CMakeLists.txt, which adds these sources to the library targets.
set(KESTREL_CURVE_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/binary_fields.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_fields_portable.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_fields_clmul.cpp
  ${CMAKE_CURRENT_LIST_DIR}/basis_conversion.cpp
)
