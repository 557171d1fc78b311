# SPDX-License-Identifier: GPL-3.0-or-later
korvanet_add_test(tst_faults SOURCES tst_faults.cpp LABELS integration)
# Presses "Open port" and prints the boxes, for running as another user.
qt_add_executable(korvanet_openport support/openport.cpp)
target_link_libraries(korvanet_openport PRIVATE korvanet_window korvanet_session)
add_dependencies(tst_faults korvanet_holdport korvanet_openport)
target_compile_definitions(tst_faults PRIVATE
    KORVANET_HOLDPORT="$<TARGET_FILE:korvanet_holdport>"
    KORVANET_OPENPORT="$<TARGET_FILE:korvanet_openport>")
korvanet_add_test(tst_badinput SOURCES tst_badinput.cpp LABELS integration)
add_dependencies(tst_badinput korvanet_holdport)
target_compile_definitions(tst_badinput PRIVATE
    KORVANET_HOLDPORT="$<TARGET_FILE:korvanet_holdport>")
