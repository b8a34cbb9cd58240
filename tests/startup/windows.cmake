# The start-up and port-selection windows, and whole runs of the program.
# Included from this folder's CMakeLists.txt.

quarn_add_qtest(test_startup_windows ${CMAKE_CURRENT_LIST_DIR}/test_startup_windows.cpp)
quarn_add_qtest(test_window_access ${CMAKE_CURRENT_LIST_DIR}/test_window_access.cpp)

quarn_add_qtest(test_program_runs ${CMAKE_CURRENT_LIST_DIR}/test_program_runs.cpp)
# Some runs start the real program binary.
add_dependencies(test_program_runs quarn-download)
target_compile_definitions(test_program_runs PRIVATE
  QUARN_DOWNLOAD_BINARY="$<TARGET_FILE:quarn-download>")
