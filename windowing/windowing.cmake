# The windowing layer: the framework services the views and dialogs use (message boxes, modal
# dialogs, timers, key state, posted records, device-change notices), on Qt Widgets. It sits
# below the subsystems and knows none of them.
# The mingw-w64 build draws the windows with Win32's own controls (windowing/win32/).
if(WIN32)
  include(${CMAKE_CURRENT_LIST_DIR}/win32/win32_backend.cmake)
  return()
endif()

if(FLASHWRIGHT_GUI)
  add_library(fw_windowing STATIC
    device_change.cpp
    folder_browser.cpp
    key_state.cpp
    message_box.cpp
    message_pane.cpp
    modal_dialog.cpp
    qt_post_target.cpp
    registered_message.cpp
    window_timer.cpp)
  target_link_libraries(fw_windowing PUBLIC fw_options Qt6::Widgets fw_posted_messages
                        fw_platform_usb_hotplug)
endif()
