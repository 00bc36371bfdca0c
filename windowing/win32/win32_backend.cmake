# The Win32 backend (user32, comctl32, the rich edit control), with the toolkit-free parts of
# the layer, for the mingw-w64 build.
add_library(fw_windowing STATIC
  ${CMAKE_CURRENT_LIST_DIR}/../dialog.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../folder_browser.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../form_view.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../key_state.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../message_box.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../resource_templates.cpp
  ${CMAKE_CURRENT_LIST_DIR}/../ui_check.cpp
  ${CMAKE_CURRENT_LIST_DIR}/device_change_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/dialog_template_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/event_loop_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/folder_browser_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/form_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/frame_window_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/key_state_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_box_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/message_pane_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/modal_dialog_win32.cpp
  ${CMAKE_CURRENT_LIST_DIR}/png_file.cpp
  ${CMAKE_CURRENT_LIST_DIR}/window_picture_win32.cpp)
# Narrow calls throughout; the headers' W names are not used.
target_compile_definitions(fw_windowing PUBLIC WINVER=0x0601 _WIN32_WINNT=0x0601 _WIN32_IE=0x0600
                           NOMINMAX WIN32_LEAN_AND_MEAN)
target_link_libraries(fw_windowing PUBLIC fw_options fw_posted_messages fw_platform_usb_hotplug
                      PRIVATE comctl32 shell32 ole32 gdi32 user32)
