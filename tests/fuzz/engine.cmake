tess_add_fuzz(disconnected_action_fuzz
  SOURCES ${CMAKE_CURRENT_LIST_DIR}/disconnected_action_fuzz.cpp ${PROJECT_SOURCE_DIR}/engine/action_record.cpp
  LIBS tess_common)
