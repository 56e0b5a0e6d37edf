#pragma once

#include "ftdi/UsbIdentity.h"

#include <algorithm>
#include <climits>
#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace talvex {

/// Ports sorted by the chip they belong to.
template <typename Port>
struct PortGroups {
    /// FTDI chips in the order of their first port, each with its ports
    /// in interface order (reader 1 first).
    std::vector<std::vector<Port>> chips;
    /// Every other port, in listing order.
    std::vector<Port> others;
};

/// The one rule that pairs the ports of a chip, for detection and the
/// batch alike. One chip's interfaces share vendor, product, serial and
/// place on the bus; an FTDI port that tells neither serial nor place is a
/// chip of its own. `Port` has `name` and `usb` (an optional UsbIdentity).
template <typename Port>
PortGroups<Port> groupPortsByChip(const std::vector<Port>& ports)
{
    using Key = std::tuple<std::uint16_t, std::uint16_t, std::string, std::string>;
    PortGroups<Port> groups;
    std::map<Key, std::size_t> chipOf;
    for (const Port& port : ports) {
        if (!port.usb || !isFtdi(port.usb->vendorId)) {
            groups.others.push_back(port);
            continue;
        }
        const auto& usb = *port.usb;
        const std::string where = !usb.location.empty() ? usb.location : usb.serial.empty() ? port.name : std::string();
        const auto [entry, added] = chipOf.emplace(Key{usb.vendorId, usb.productId, usb.serial, where},
                                                   groups.chips.size());
        if (added)
            groups.chips.push_back({});
        groups.chips[entry->second].push_back(port);
    }
    for (auto& chip : groups.chips) {
        std::stable_sort(chip.begin(), chip.end(), [](const Port& a, const Port& b) {
            return a.usb->interfaceNumber.value_or(INT_MAX) < b.usb->interfaceNumber.value_or(INT_MAX);
        });
    }
    return groups;
}

} // namespace talvex
