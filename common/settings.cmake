# Settings store and registry lists: compiled into every deliverable that keeps or reads
# the product's settings. They need tessplatform, syncmgr and tess_common.
set(TESS_COMMON_SETTINGS_SOURCES
  ${CMAKE_CURRENT_LIST_DIR}/plugin_registry.cpp
  ${CMAKE_CURRENT_LIST_DIR}/user_settings.cpp
)
