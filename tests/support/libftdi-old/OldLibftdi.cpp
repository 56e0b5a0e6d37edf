// libftdi 1.4 as the loader sees it: every entry point the tool resolves,
// and a version below 1.5, so the tool refuses it before calling any other.

extern "C" {

// libftdi's layout.
struct ftdi_version_info {
    int major, minor, micro;
    const char* version_str;
    const char* snapshot_str;
};

ftdi_version_info ftdi_get_library_version(void)
{
    return {1, 4, 0, "1.4", "v1.4"};
}

#define NEVER_CALLED(name) \
    int name() { return -1; }
#define NEVER_CALLED4(a, b, c, d) NEVER_CALLED(a) NEVER_CALLED(b) NEVER_CALLED(c) NEVER_CALLED(d)

NEVER_CALLED4(ftdi_new, ftdi_free, ftdi_set_interface, ftdi_usb_find_all)
NEVER_CALLED4(ftdi_list_free, ftdi_usb_get_strings, ftdi_set_usbdev, ftdi_read_eeprom_location)
NEVER_CALLED4(ftdi_get_error_string, libusb_get_device_descriptor, libusb_get_bus_number, libusb_get_device_address)
NEVER_CALLED4(libusb_get_port_numbers, libusb_open, libusb_close, libusb_set_auto_detach_kernel_driver)
NEVER_CALLED4(libusb_claim_interface, libusb_release_interface, libusb_control_transfer, libusb_error_name)
}
