# Unity builds: each target's sources are compiled in batches, one translation unit per
# batch, so that the standard and library headers are parsed, and their templates
# instantiated and optimised, once per batch instead of once per file. A full build (what
# CI and `make check` do) takes about a third less CPU time; an edit recompiles its batch.
# -DTESS_UNITY_BUILD=OFF compiles file by file.
option(TESS_UNITY_BUILD "Compile each target's sources in batches" ON)
if(TESS_UNITY_BUILD)
  set(CMAKE_UNITY_BUILD ON)
  if(NOT DEFINED CMAKE_UNITY_BUILD_BATCH_SIZE)
    set(CMAKE_UNITY_BUILD_BATCH_SIZE 16)
  endif()
  # One file's macro must never silently change the next file of its batch. GCC has no
  # switch for this error; clang's build (CI's sanitizer build) stops on it.
  add_compile_options($<$<CXX_COMPILER_ID:Clang>:-Werror=macro-redefined>)
  # A test file read inside a batch counts as a header to GCC, which then warns about
  # every fixture in an anonymous namespace; in a source file that is how it should be.
  add_compile_options($<$<AND:$<COMPILE_LANGUAGE:CXX>,$<CXX_COMPILER_ID:GNU>>:-Wno-subobject-linkage>)
endif()

# Files compiled on their own even in a unity build: each one defines, in an anonymous
# namespace or as a static, a name that another file of its target defines too, or (#link)
# it pulls a library into every user of its static archive that the archive's other files
# do not need, or it compiles what it includes under its own macro or target pragma (the
# binary fields: one instruction-set build and one portable, which must never share a
# unit). Add a file here when a unity build reports a redefinition in it; renaming is not
# needed. Clang treats a redefined macro as an error, so CI's clang build finds the last
# kind.
set(TESS_UNITY_SKIP
  common/handheld_database.cpp
  config/user_config.cpp
  crypto/curve/binary_generic_engine.cpp
  crypto/curve/curve_loading_extensions.cpp
  crypto/curve/endomorphism_engine.cpp
  crypto/field/binary_fields_clmul.cpp
  crypto/field/binary_fields_portable.cpp
  crypto/hash/md5.cpp
  crypto/protocol/ec_nr.cpp
  crypto/protocol/ecaes.cpp
  crypto/protocol/ecdh_mqv.cpp
  crypto/protocol/ecdsa.cpp
  crypto/protocol/integer_dh.cpp
  datamgr/account_exports.cpp
  datamgr/action_exports.cpp
  datamgr/attachment_exports.cpp
  datamgr/folder_exports.cpp
  datamgr/log_header.cpp
  datamgr/mail_store.cpp
  datamgr/message_exports.cpp
  datamgr/user_session.cpp
  engine/exports.cpp
  engine/system_report.cpp
  hosts/pop/pop_session.cpp
  platform/notes/environment_calls.cpp
  tests/engine/wizard_selection_test.cpp
  tests/xmapi/thistledown_test.cpp
  translate/manager/user_plugin_config.cpp
)

# Marks TESS_UNITY_SKIP in every folder of the tree (a source's properties belong to the
# folder whose CMakeLists.txt adds it to a target, not always its own). Called once, after
# every folder has been added.
function(tess_apply_unity_skips)
  if(NOT TESS_UNITY_BUILD)
    return()
  endif()
  set(dirs ${PROJECT_SOURCE_DIR})
  set(todo ${PROJECT_SOURCE_DIR})
  while(todo)
    list(POP_FRONT todo d)
    get_property(subs DIRECTORY ${d} PROPERTY SUBDIRECTORIES)
    list(APPEND dirs ${subs})
    list(APPEND todo ${subs})
  endwhile()
  list(TRANSFORM TESS_UNITY_SKIP PREPEND ${PROJECT_SOURCE_DIR}/ OUTPUT_VARIABLE files)
  set_source_files_properties(${files} DIRECTORY ${dirs} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
endfunction()
