#include "cli/CommandTable.h"

#include "cli/CardCommands.h"
#include "cli/CommandRun.h"

#include <algorithm>
#include <utility>

namespace talvex::cli {
namespace {

const OptionEntry kJson {"--json", "", "print the result as one JSON object (or array) on standard output"};
const OptionEntry kPort {"--port", "PORT", "the reader's port: a name such as COM3 or a path such as /dev/ttyUSB0"};
const OptionEntry kCardList {"--card-list", "FILE",
                             "the smartcard list to name the card from (default: pcsc-tools' smartcard_list.txt)"};
const OptionEntry kFtdiLibrary {"--ftdi-library", "LIBRARY",
                                "d2xx or libftdi: the FTDI library to use (default: D2XX where it loads, libftdi "
                                "otherwise)"};
const OptionEntry kChipSerial {"--serial", "CHIP",
                               "the FTDI chip with this USB serial number (one way to name the chip when "
                               "several programmers are attached)"};
const OptionEntry kChipLocation {"--location", "LOC",
                                 "the FTDI chip at this USB location, as \"usb-serial list\" shows it (also "
                                 "a chip without a serial number)"};
const OptionEntry kChipPort {"--port", "PORT", "the FTDI chip behind this reader port (COM3, /dev/ttyUSB0)"};
const OptionEntry kVariant {"--variant", "VARIANT",
                            "how to reach the device: {variants} (default auto: 115200 baud, then the two "
                            "9600-baud builds' line sequences)"};

const std::vector<OptionEntry> kGlobalOptions {
    {"--simulate", "",
     "use the built-in simulated programmer on COM3/COM4 (real time) instead of the host's ports; "
     "--simulate=N: N programmers, on COM3/COM4, COM5/COM6 and so on"},
    {"--sim-state", "FILE",
     "with --simulate: start the simulated programmer as FILE left it and keep it there afterwards (settings "
     "in use, the firmware it starts, the FTDI EEPROM), so that a script's commands see one device"},
    {"--sim-cards", "SHAPES",
     "with --simulate: the cards in reader 1 and 2 as SHAPE1[,SHAPE2], each default (3B 02 14 50), t0, t1, "
     "t0-t1, inverse, bad-tck or none (default: default,none)"},
    {"--answer-delay", "MS", "the wait for an identification answer (default 1000)"},
    {"--quiet", "", "no log lines and no progress line; problems, prompts and results only"},
    {"--help", "", "this help, or the command's"},
    {"--version", "", "the tool's version"},
};

std::vector<OptionEntry> portOptions(std::vector<OptionEntry> more = {})
{
    std::vector<OptionEntry> options {kPort, kVariant};
    options.insert(options.end(), more.begin(), more.end());
    return options;
}

const std::vector<CommandEntry>& entries()
{
    static const std::vector<CommandEntry> commands {
        {"ports", runPorts,
         "[--json]",
         "list the host's ports and what answers on each",
         "Opens every serial port of the host, identifies what answers on it and notes\n"
         "whether a card sits in its reader, as the main window's manual scan does: at\n"
         "115200 baud, then with the two 9600-baud builds' line sequences while nothing\n"
         "answered. Exit status 0 when a programmer answered on some port.",
         {},
         {kJson},
         {}},
        {"detect", runDetect,
         "[--json]",
         "find the programmer automatically",
         "The automatic detection: the scan at 115200 baud, then with each 9600-baud\n"
         "variant while nothing answered. Prints the mode, serial number, version and\n"
         "the two readers' ports.",
         {},
         {kJson},
         {}},
        {"info", runInfo,
         "--port PORT [--json]",
         "identify the programmer on one port",
         "Connects as the settings window does (RTS off, 1.5 s, DTR on) and identifies\n"
         "the device: mode (application or boot loader), serial number, version, reader.",
         {},
         portOptions({kJson}),
         {"--port"}},
        {"settings", runSettings,
         "--port PORT [--json]",
         "read the reader's card-port settings",
         "Reads what the settings window reads: on the normal build the reader's card\n"
         "clock, speed, parity and added stop bits; on the Phoenix build (low1) its\n"
         "clock; on the Uniprog build (low2) the six Uniprog parameters.",
         {},
         portOptions({kJson}),
         {"--port"}},
        {"set clock", runSetClock,
         "--port PORT MHZ",
         "set the reader's card clock (normal build)",
         "Writes the card clock of the port's reader. MHZ is one of:\n{clocks}.\n"
         "Not stored in flash until \"save\".",
         {"MHZ"},
         portOptions(),
         {"--port"}},
        {"set card-port", runSetCardPort,
         "--port PORT [--speed BAUD] [--parity PARITY] [--stop-bits N]",
         "set the reader's card-port speed, parity and stop bits (normal build)",
         "Writes the card port of the port's reader; what is not given keeps the value\n"
         "the device reports. Not stored in flash until \"save\".",
         {},
         portOptions({{"--speed", "BAUD", "{speeds}"},
                      {"--parity", "PARITY", "{parities}"},
                      {"--stop-bits", "N", "added stop bits, 0 to 254"}}),
         {"--port"}},
        {"set advanced", runSetAdvanced,
         "--port PORT --mode MODE [list options]",
         "set the Advanced mode (normal build)",
         "Writes the Advanced page's mode. MODE is {modes}.\n"
         "The ATR modes take all six --com1-*/--com2-* lists; the debug mode takes\n"
         "--debug-speed, --debug-parity and --debug-stop-bits.\n"
         "Clocks: {advanced-clocks}.\n"
         "Speeds: {advanced-speeds}.\n"
         "Parities: {advanced-parities}.",
         {},
         portOptions({{"--mode", "MODE", "{modes}"},
                      {"--com1-clock", "MHZ", "COM1 clock"},
                      {"--com1-speed", "BAUD", "COM1 speed"},
                      {"--com1-parity", "PARITY", "COM1 parity"},
                      {"--com2-clock", "MHZ", "COM2 clock"},
                      {"--com2-speed", "BAUD", "COM2 speed"},
                      {"--com2-parity", "PARITY", "COM2 parity"},
                      {"--debug-speed", "BAUD", "debug speed"},
                      {"--debug-parity", "PARITY", "debug parity"},
                      {"--debug-stop-bits", "N", "debug stop bits, 0 to 200, or default (0 when not given)"}}),
         {"--port", "--mode"}},
        {"set phoenix-clock", runSetPhoenixClock,
         "--port PORT MHZ",
         "set the reader's card clock (Phoenix build, low1)",
         "Writes the card clock of the port's reader on the Phoenix build. MHZ is one\n"
         "of: {phoenix-clocks}.",
         {"MHZ"},
         portOptions(),
         {"--port"}},
        {"set uniprog", runSetUniprog,
         "--port PORT [--clock1 MHZ] [--baud1 BAUD] [--baud-com1 BAUD] [...]",
         "set the Uniprog parameters (Uniprog build, low2)",
         "Reads the six Uniprog parameters, replaces the ones given and writes them\n"
         "back.\nClocks: {uniprog-clocks}.\nBauds: {uniprog-bauds}.",
         {},
         portOptions({{"--clock1", "MHZ", "reader 1 clock"},
                      {"--clock2", "MHZ", "reader 2 clock"},
                      {"--baud1", "BAUD", "reader 1 baud"},
                      {"--baud2", "BAUD", "reader 2 baud"},
                      {"--baud-com1", "BAUD", "reader 1 baud COM"},
                      {"--baud-com2", "BAUD", "reader 2 baud COM"}}),
         {"--port"}},
        {"save", runSave,
         "--port PORT",
         "store the settings in use in flash (normal build)",
         "Sends \"05\": the device stores the settings it runs with in its flash memory.",
         {},
         portOptions(),
         {"--port"}},
        {"restore-default", runRestoreDefault,
         "--port PORT",
         "put the factory settings in use (normal build)",
         "Sends \"06\": the device runs with its factory settings (\"save\" stores them).",
         {},
         portOptions(),
         {"--port"}},
        {"factory-reset", runFactoryReset,
         "--port PORT",
         "reset the Uniprog parameters (Uniprog build, low2)",
         "Sends \"45\": both readers' Uniprog parameters go back to their defaults.",
         {},
         portOptions(),
         {"--port"}},
        {"upload", runUpload,
         "--port PORT FILE [--serialize]",
         "upload firmware (.bin), from the application or boot loader",
         "The settings window's upload: checks which firmware runs, sends the\n"
         "application back to its boot loader and asks you to unplug the reader and\n"
         "plug it in again, erases, then sends the 3,200 blocks with a progress line.\n"
         "With --simulate the simulated programmer is unplugged and re-plugged by itself.\n"
         "--serialize: after a successful upload, write the USB serial number derived\n"
         "from the programmer's serial number into the FTDI chip.",
         {"FILE"},
         portOptions({{"--serialize", "", "write the derived USB serial number after a successful upload"}}),
         {"--port"}},
        {"batch upload", runBatchUpload,
         "FILE [--serialize] [--ports auto|P1,P2,...] [--report FILE] [--json]",
         "upload firmware to every programmer attached, all at once",
         "Finds every programmer: on every port of the host (--ports auto, FTDI chips\n"
         "first), or on exactly the ports listed, pseudo-terminals included. Prints one\n"
         "line for each (position, ports, USB location, serial number, firmware), then\n"
         "runs the upload on all of them at once, one thread each. A programmer that\n"
         "runs its application goes back to its boot loader, and you are asked, by its\n"
         "position and serial number, to unplug it and plug it in again.\n"
         "On a terminal one progress line per programmer is redrawn in place (ports,\n"
         "serial, phase, percent, time left); otherwise time-stamped lines tell each\n"
         "change of phase and each tenth of an upload. Last comes a table: position,\n"
         "ports, serial number, firmware before and after, USB serial number written,\n"
         "verdict, time and the reason of a failure (--json: the report's records).\n"
         "--report FILE appends one record per programmer to a .csv file (with a header\n"
         "line when new) or a .jsonl file: the table's fields, the date, the tool's\n"
         "version and the firmware file's SHA-256.\n"
         "The firmware file and the report's name are checked before any port opens.\n"
         "\n"
         "Exit status 0 only when every programmer confirmed its upload (and, with\n"
         "--serialize, its USB serial number); 6 when any did not (the table says why);\n"
         "3 when no programmer answered; 2 for a bad firmware file, report name or port\n"
         "list; 1 when the FTDI library is missing (nothing uploaded) or the report\n"
         "could not be written.",
         {"FILE"},
         {{"--serialize", "", "write each programmer's derived USB serial number after its upload"},
          {"--ports", "PORTS",
           "auto (default): every port of the host; or the ports to search, separated by commas"},
          {"--report", "FILE", "append one record per programmer to FILE (.csv or .jsonl)"},
          kJson},
         {}},
        {"usb-serial list", runUsbSerialList,
         "[--json] [--ftdi-library LIBRARY]",
         "list the FTDI devices and their USB serial numbers",
         "Lists the FTDI devices through FTDI's D2XX library or libftdi (the simulated\n"
         "programmer's chip with --simulate), as the Serial tab's \"Read Serial\". A log\n"
         "line names the library used.",
         {},
         {kJson, kFtdiLibrary},
         {}},
        {"usb-serial write", runUsbSerialWrite,
         "SERIAL [--port PORT | --serial CHIP | --location LOC] [--ftdi-library LIBRARY]",
         "write a USB serial number into the FTDI chip",
         "Lists the FTDI chips and chooses one: the chip behind --port, the one --serial\n"
         "or --location names, or without these the only programmer chip (0403:6010)\n"
         "attached; with several and none named nothing is written and the candidates\n"
         "are listed. Reads the chip's EEPROM and saves it to the backup folder (the log\n"
         "names the file), then changes only the serial number (1 to 8 digits, letters\n"
         "or spaces), its pointer and the checksum, writing only the words that differ,\n"
         "and reads the whole EEPROM back. A blank or invalid EEPROM gets the tool's own\n"
         "image. Takes effect after the programmer is plugged in again. When a write\n"
         "fails, the message names the backup and the \"usb-serial restore\" line that\n"
         "puts it back.",
         {"SERIAL"},
         {kChipPort, kChipSerial, kChipLocation, kFtdiLibrary},
         {}},
        {"usb-serial backup", runUsbSerialBackup,
         "--out FILE [--port PORT | --serial CHIP | --location LOC] [--ftdi-library LIBRARY]",
         "save the FTDI chip's EEPROM to a file",
         "Reads the chip's whole EEPROM (64, 128 or 256 words for a 93C46, 93C56 or\n"
         "93C66) and writes it to FILE, each word low byte first, as \"usb-serial\n"
         "restore\" takes it back. The chip is chosen as for \"usb-serial write\".",
         {},
         {{"--out", "FILE", "where the EEPROM goes"}, kChipPort, kChipSerial, kChipLocation, kFtdiLibrary},
         {"--out"}},
        {"usb-serial restore", runUsbSerialRestore,
         "FILE [--port PORT | --serial CHIP | --location LOC] [--force] [--ftdi-library LIBRARY]",
         "write a saved EEPROM image back into the FTDI chip",
         "Saves the chip's EEPROM to the backup folder, writes the words of the image\n"
         "FILE that differ (the checksum last) and reads the EEPROM back. This is how a\n"
         "chip whose write failed or was cut short comes back: name it by --location,\n"
         "as it has no serial number until a good image is on it. A file that is not\n"
         "128, 256 or 512 bytes, or whose checksum does not match its words, is\n"
         "refused unless --force is given.",
         {"FILE"},
         {kChipPort, kChipSerial, kChipLocation,
          {"--force", "", "write a file of the wrong size or checksum all the same"}, kFtdiLibrary},
         {}},
        {"usb-serial generate", runUsbSerialGenerate,
         "--port PORT",
         "print the USB serial number derived from the programmer's",
         "Identifies the programmer on PORT and prints the USB serial number derived\n"
         "from its serial number (characters 15 to 22), as the Serial tab's \"generate\".",
         {},
         portOptions(),
         {"--port"}},
        {"usb-serial image", runUsbSerialImage,
         "SERIAL --out FILE",
         "write the 128-byte EEPROM image to a file (no chip touched)",
         "Builds the 64-word EEPROM image \"usb-serial write\" would write for SERIAL and\n"
         "writes it to FILE as 128 bytes, each word low byte first. A dry run, to look at.",
         {"SERIAL"},
         {{"--out", "FILE", "where the image goes"}},
         {"--out"}},
        {"check-version", runCheckVersion,
         "[--server URL] [--port PORT]",
         "ask the vendor's server for the latest versions",
         "Asks the version server for the latest firmware and tool versions and prints\n"
         "them, with the new-version notice when one is newer than the tool (and, with\n"
         "--port, than the programmer's firmware). Goes through the proxy that\n"
         "http_proxy (https_proxy for https://) names, unless no_proxy covers the server.",
         {},
         portOptions({{"--server", "URL",
                       "the version document's address, http:// or https:// (HOST[:PORT] for plain "
                       "HTTP; default http://www.talvex.example/version.html, or the setting "
                       "TALVEX_VERSION_SERVER or ~/.config/talvex/version-server)"}}),
         {}},
        {"doctor", runDoctor,
         "[--port PORT] [--server URL] [--json]",
         "check this system for what keeps the tool from the programmer",
         "Checks, and prints the fix for each problem: whether this user can open each\n"
         "serial port (and if not, why: its group, a missing udev rule), which process\n"
         "holds a port, ModemManager or brltty set to take FTDI ports, the udev rule,\n"
         "the FTDI ports' latency timers, which FTDI library is found (D2XX or libftdi),\n"
         "and whether the version server answers, through the proxy if one is set.\n"
         "Exit status 0 when nothing needs fixing.",
         {},
         {{"--port", "PORT", "check only this port (default: every serial port of the host)"},
          {"--server", "URL", "the version server to try (default as for check-version)"},
          kJson},
         {}},
        {"atr", runAtr,
         "HEX [--clock MHZ --card-port BAUD] [--json] [--card-list FILE]",
         "decode a card's answer to reset given as hex",
         "Decodes an ATR after ISO/IEC 7816-3 (\"3B021450\" or \"3B 02 14 50\"): convention,\n"
         "interface bytes and protocols, specific mode, Fi/Di with the bit rate at\n"
         "3.5712 MHz, guard time, T=1 parameters, reserved values, historical bytes\n"
         "(a PC/SC contactless card's standard and name) and TCK, and names the card\n"
         "from pcsc-tools' smartcard_list.txt when installed. With --clock and\n"
         "--card-port, whether a reader set so suits the card, and which settings\n"
         "would, as \"card atr\" says it. No device is touched.",
         {"HEX"},
         {{"--clock", "MHZ", "the reader's card clock, one of {clocks} (with --card-port)"},
          {"--card-port", "BAUD", "the reader's card-port speed, one of {speeds} (with --clock)"},
          kJson,
          kCardList},
         {}},
        {"card atr", runCardAtr,
         "--port PORT [--json] [--card-list FILE]",
         "reset the card, read and decode its ATR",
         "Resets the card in the port's reader (RTS pulse), reads its ATR, asks the\n"
         "programmer for the reader's clock and card-port speed, and decodes the ATR\n"
         "as \"atr\" does, with whether the reader's settings suit the card.",
         {},
         {kPort, kJson, kCardList},
         {"--port"}},
        {"card watch", runCardWatch,
         "--port PORT [--count N] [--timeout SECONDS]",
         "print a time-stamped line when a card is inserted or removed",
         "Polls the reader's card line every 20 ms and prints one line for each\n"
         "insertion or removal, until Ctrl+C, N changes or the time-out. With --count,\n"
         "fewer changes than N by the time-out is exit status 1.",
         {},
         {kPort,
          {"--count", "N", "end after N insertions or removals"},
          {"--timeout", "SECONDS", "end after this many seconds"}},
         {"--port"}},
        {"card send", runCardSend,
         "--port PORT",
         "send the test frames to the card",
         "The smartcard tool's \"Send\": resets the card, drops its ATR, sends the five\n"
         "test frames and prints each answer; exit status 0 when all are answered 90 00.",
         {},
         {kPort},
         {"--port"}},
    };
    return commands;
}

} // namespace

const OptionEntry* CommandEntry::option(std::string_view optionName) const
{
    const auto found = std::find_if(options.begin(), options.end(),
                                    [&](const OptionEntry& entry) { return entry.name == optionName; });
    return found == options.end() ? nullptr : &*found;
}

const std::vector<OptionEntry>& globalOptions()
{
    return kGlobalOptions;
}

const OptionEntry* globalOption(std::string_view name)
{
    const auto found = std::find_if(kGlobalOptions.begin(), kGlobalOptions.end(),
                                    [&](const OptionEntry& entry) { return entry.name == name; });
    return found == kGlobalOptions.end() ? nullptr : &*found;
}

const std::vector<CommandEntry>& commandTable()
{
    return entries();
}

const CommandEntry* findCommand(std::string_view name)
{
    const auto& all = entries();
    const auto found = std::find_if(all.begin(), all.end(),
                                    [&](const CommandEntry& entry) { return entry.name == name; });
    return found == all.end() ? nullptr : &*found;
}

bool isCommandGroup(std::string_view word)
{
    return word == "set" || word == "usb-serial" || word == "card" || word == "batch";
}

} // namespace talvex::cli
