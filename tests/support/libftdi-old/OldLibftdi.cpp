// libftdi 1.4 as the loader sees it: every entry point the tool resolves,
// and a version below 1.5, so the tool refuses it before calling any other.

extern "C" {

struct ftdi_version_info {
    int major;
    int minor;
    int micro;
    const char* version_str;
    const char* snapshot_str;
};

ftdi_version_info ftdi_get_library_version(void)
{
    ftdi_version_info version = {1, 4, 0, "1.4", "v1.4"};
    return version;
}

#define NEVER_CALLED(name) \
    int name() { return -1; }

NEVER_CALLED(ftdi_new)
NEVER_CALLED(ftdi_free)
NEVER_CALLED(ftdi_set_interface)
NEVER_CALLED(ftdi_usb_find_all)
NEVER_CALLED(ftdi_list_free)
NEVER_CALLED(ftdi_usb_get_strings)
NEVER_CALLED(ftdi_set_usbdev)
NEVER_CALLED(ftdi_read_eeprom_location)
NEVER_CALLED(ftdi_get_error_string)
NEVER_CALLED(libusb_get_device_descriptor)
NEVER_CALLED(libusb_get_bus_number)
NEVER_CALLED(libusb_get_device_address)
NEVER_CALLED(libusb_get_port_numbers)
NEVER_CALLED(libusb_open)
NEVER_CALLED(libusb_close)
NEVER_CALLED(libusb_set_auto_detach_kernel_driver)
NEVER_CALLED(libusb_claim_interface)
NEVER_CALLED(libusb_release_interface)
NEVER_CALLED(libusb_control_transfer)
NEVER_CALLED(libusb_error_name)
}
