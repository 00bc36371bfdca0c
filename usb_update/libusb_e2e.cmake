# The device access and the update engine end to end over the system's libusb driver layer,
# against an EZ-USB emulated under umockdev (run under umockdev-wrapper).
if(NOT FLASHWRIGHT_FUZZ AND TARGET fw_usb_update AND TARGET fw_test_support)
  fw_add_umockdev_test(usb_libusb_e2e_test
    SOURCES tests/usb_libusb_e2e_test.cpp
    LIBS fw_usb_update fw_test_support)
endif()
