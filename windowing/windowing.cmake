# The windowing layer: forms from dialog templates, form views, modal dialogs, the frame,
# message boxes, the folder browser, the Ctrl key, device-change notices. fw_windowing holds
# the toolkit-free part and brings the backend that CMake picks, as platform/ picks posix/ or
# win32/; nothing but the backend itself sees the toolkit's headers.
# The mingw-w64 build draws the windows with Win32's own controls (windowing/win32/).
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/win32/win32_backend.cmake)
  return()
endif()
if(FLASHWRIGHT_GUI)
  add_library(fw_windowing STATIC
    dialog.cpp
    folder_browser.cpp
    form_view.cpp
    key_state.cpp
    message_box.cpp
    resource_templates.cpp
    ui_check.cpp)
  target_link_libraries(fw_windowing PUBLIC fw_options fw_posted_messages
                        fw_platform_usb_hotplug)
  set_target_properties(fw_windowing PROPERTIES AUTOMOC OFF AUTOUIC OFF)

  # Qt 6 Widgets: the Linux build.
  add_library(fw_windowing_qt STATIC
    qt/backend_qt.cpp
    qt/device_change_qt.cpp
    qt/event_loop_qt.cpp
    qt/folder_browser_qt.cpp
    qt/frame_window_qt.cpp
    qt/key_state_qt.cpp
    qt/message_box_qt.cpp
    qt/message_pane_qt.cpp
    qt/native_window_qt.cpp
    qt/qt_form.cpp
    qt/qt_post_target_qt.cpp
    qt/registered_message_qt.cpp
    qt/window_picture_qt.cpp
    qt/window_timer_qt.cpp)
  target_link_libraries(fw_windowing_qt PUBLIC fw_windowing PRIVATE Qt6::Widgets)
  set_target_properties(fw_windowing_qt PROPERTIES AUTOMOC OFF AUTOUIC OFF)
  # The common part calls the backend's factories and the backend the common lookups: static
  # libraries may name each other.
  target_link_libraries(fw_windowing PUBLIC fw_windowing_qt)

  fw_add_ui_test(windowing_qt_backend_test
    SOURCES tests/qt_form_test.cpp tests/qt_frame_window_test.cpp tests/misuse_test.cpp
    LIBS fw_windowing Qt6::Widgets Qt6::Test)
endif()
