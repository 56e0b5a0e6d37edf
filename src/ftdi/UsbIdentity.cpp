#include "ftdi/UsbIdentity.h"

namespace talvex {

// A serial chip's family says more than the product string its maker may
// have written over.
std::string serialChipName(const UsbIdentity& usb)
{
    struct Known {
        std::uint16_t vendor;
        std::uint16_t product;
        const char* name;
    };
    static constexpr Known kKnown[] = {
        {kFtdiVendorId, 0x6001, "FT232"},  {kFtdiVendorId, 0x6010, "FT2232"}, {kFtdiVendorId, 0x6011, "FT4232"},
        {kFtdiVendorId, 0x6014, "FT232H"}, {kFtdiVendorId, 0x6015, "FT-X"},   {kFtdiVendorId, 0x6048, "FT4232HA"},
        {0x10c4, 0xea60, "CP210x"},        {0x10c4, 0xea70, "CP2105"},        {0x10c4, 0xea71, "CP2108"},
        {0x1a86, 0x7523, "CH340"},         {0x1a86, 0x55d4, "CH9102"},        {0x067b, 0x2303, "PL2303"},
    };
    for (const Known& known : kKnown) {
        if (known.vendor == usb.vendorId && known.product == usb.productId)
            return known.name;
    }
    return usb.product;
}

} // namespace talvex
