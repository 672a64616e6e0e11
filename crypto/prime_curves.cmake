# Prime fields and their engines, the generic binary field and engine, and
# the curve loading that reaches them. Included by this folder's CMakeLists.txt.
set(KESTREL_EXTRA_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/prime_field_generic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prime_field_fixed.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prime_field_sqrt.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prime_curve_ops.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prime_mont_curve.cpp
  ${CMAKE_CURRENT_LIST_DIR}/prime_engine_jacobian.cpp
  ${CMAKE_CURRENT_LIST_DIR}/montgomery_ladder_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/endomorphism_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_field_generic.cpp
  ${CMAKE_CURRENT_LIST_DIR}/binary_generic_engine.cpp
  ${CMAKE_CURRENT_LIST_DIR}/curve_loading_extensions.cpp
)
