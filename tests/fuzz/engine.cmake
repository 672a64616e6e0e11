tess_add_fuzz(disconnected_action_fuzz SOURCES ${CMAKE_CURRENT_LIST_DIR}/disconnected_action_fuzz.cpp
  LIBS tidewater_objects Lampwick Ledgerly)
