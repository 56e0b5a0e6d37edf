// talvex_program_check: reads a Windows program's version resource, icon
// and subsystem back through the calls Explorer uses, and compares them
// with what is expected. ctest runs it on the built programs;
// scripts/wine-installer.sh on the installed talvexctl.exe and on the
// installer itself.
//
//   talvex_program_check FILE --product NAME --version X.Y.Z
//       [--company NAME] [--description TEXT] [--file-name NAME]
//       [--icon NAME|any] [--subsystem gui|console]
//
// Exit status 0 when everything matches; each mismatch is printed.

#include "protocol/VersionText.h"

#include <windows.h>

#include <cstddef>
#include <cstdio>
#include <cwchar>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace {

int g_failures = 0;

// The wide forms of RT_ICON and RT_GROUP_ICON, whichever UNICODE says.
const LPCWSTR kIconType = MAKEINTRESOURCEW(3);
const LPCWSTR kIconGroupType = MAKEINTRESOURCEW(14);

void fail(const std::string& message)
{
    std::printf("MISMATCH: %s\n", message.c_str());
    ++g_failures;
}

std::wstring wide(const std::string& text)
{
    const int length = ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, nullptr, 0);
    std::wstring result(length > 0 ? length - 1 : 0, L'\0');
    if (length > 1)
        ::MultiByteToWideChar(CP_UTF8, 0, text.c_str(), -1, result.data(), length);
    return result;
}

std::string narrow(const std::wstring& text)
{
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string result(length > 0 ? length - 1 : 0, '\0');
    if (length > 1)
        ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, result.data(), length, nullptr, nullptr);
    return result;
}

struct Version {
    int major = 0, minor = 0, patch = 0;
};

std::optional<Version> parseVersion(const std::string& text)
{
    Version version;
    char end = 0;
    if (std::sscanf(text.c_str(), "%d.%d.%d%c", &version.major, &version.minor, &version.patch, &end) != 3)
        return std::nullopt;
    return version;
}

void checkVersionResource(const std::wstring& file, const Version& version,
                          const std::map<std::string, std::string>& strings)
{
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeW(file.c_str(), &ignored);
    std::vector<unsigned char> block(size);
    if (size == 0 || !::GetFileVersionInfoW(file.c_str(), 0, size, block.data())) {
        fail("no version resource (error " + std::to_string(::GetLastError()) + ")");
        return;
    }

    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) || !fixed
        || fixed->dwSignature != 0xFEEF04BD) {
        fail("no fixed file version");
    } else {
        const DWORD high = static_cast<DWORD>(version.major << 16 | version.minor);
        const DWORD low = static_cast<DWORD>(version.patch << 16);
        std::printf("fixed file version %lu.%lu.%lu.%lu, product version %lu.%lu.%lu.%lu\n",
                    fixed->dwFileVersionMS >> 16, fixed->dwFileVersionMS & 0xFFFF, fixed->dwFileVersionLS >> 16,
                    fixed->dwFileVersionLS & 0xFFFF, fixed->dwProductVersionMS >> 16,
                    fixed->dwProductVersionMS & 0xFFFF, fixed->dwProductVersionLS >> 16,
                    fixed->dwProductVersionLS & 0xFFFF);
        if (fixed->dwFileVersionMS != high || fixed->dwFileVersionLS != low)
            fail("fixed file version is not the one expected");
        if (fixed->dwProductVersionMS != high || fixed->dwProductVersionLS != low)
            fail("fixed product version is not the one expected");
    }

    struct Translation {
        WORD language;
        WORD codePage;
    };
    Translation* translations = nullptr;
    if (!::VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translations),
                          &length)
        || length < sizeof(Translation)) {
        fail("no translation table");
        return;
    }
    wchar_t prefix[64];
    std::swprintf(prefix, 64, L"\\StringFileInfo\\%04x%04x\\", translations->language, translations->codePage);
    for (const auto& [key, expected] : strings) {
        wchar_t* value = nullptr;
        const std::wstring query = prefix + wide(key);
        const bool found = ::VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length)
            && value;
        const std::string text = found ? narrow(std::wstring(value, ::wcsnlen(value, length))) : "";
        std::printf("%s: \"%s\"\n", key.c_str(), text.c_str());
        if (!found)
            fail(key + " missing");
        else if (text != expected)
            fail(key + " is \"" + text + "\", expected \"" + expected + "\"");
    }
}

// Every image of the icon group must decode, and the sizes Explorer
// shows most must be there.
void checkIcon(const std::wstring& file, const std::string& name)
{
    const HMODULE module = ::LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    if (!module) {
        fail("cannot read the resources (error " + std::to_string(::GetLastError()) + ")");
        return;
    }
    std::wstring groupName = wide(name);
    if (name == "any") {
        groupName.clear();
        ::EnumResourceNamesW(
            module, kIconGroupType,
            [](HMODULE, LPCWSTR, LPWSTR found, LONG_PTR found_name) -> BOOL {
                auto* out = reinterpret_cast<std::wstring*>(found_name);
                *out = IS_INTRESOURCE(found) ? L"#" + std::to_wstring(reinterpret_cast<ULONG_PTR>(found)) : found;
                return FALSE; // the first one, as Explorer takes
            },
            reinterpret_cast<LONG_PTR>(&groupName));
    }
    const HRSRC group = groupName.empty() ? nullptr : ::FindResourceW(module, groupName.c_str(), kIconGroupType);
    const HGLOBAL groupData = group ? ::LoadResource(module, group) : nullptr;
    if (!groupData) {
        fail("no icon group " + name);
        ::FreeLibrary(module);
        return;
    }
#pragma pack(push, 2)
    struct GroupEntry {
        BYTE width, height, colours, reserved;
        WORD planes, bitCount;
        DWORD bytes;
        WORD id;
    };
#pragma pack(pop)
    const auto* header = static_cast<const WORD*>(::LockResource(groupData));
    const WORD count = header[2];
    const auto* entries = reinterpret_cast<const GroupEntry*>(header + 3);
    bool sizes[257] = {};
    std::string listed;
    std::vector<int> broken;
    for (WORD i = 0; i < count; ++i) {
        const int side = entries[i].width ? entries[i].width : 256;
        listed += " " + std::to_string(side);
        const HRSRC image = ::FindResourceW(module, MAKEINTRESOURCEW(entries[i].id), kIconType);
        const HGLOBAL data = image ? ::LoadResource(module, image) : nullptr;
        const HICON icon = data ? ::CreateIconFromResourceEx(static_cast<PBYTE>(::LockResource(data)),
                                                             ::SizeofResource(module, image), TRUE, 0x00030000,
                                                             side, side, LR_DEFAULTCOLOR)
                                : nullptr;
        if (!icon)
            broken.push_back(side);
        else
            ::DestroyIcon(icon);
        sizes[side] = true;
    }
    std::printf("icon %s:%s\n", narrow(groupName).c_str(), listed.c_str());
    for (int side : broken)
        fail("icon image " + std::to_string(side) + " px does not load");
    for (int side : {16, 32, 48, 256}) {
        if (!sizes[side])
            fail("icon has no " + std::to_string(side) + " px image");
    }
    ::FreeLibrary(module);
}

void checkSubsystem(const std::string& path, const std::string& expected)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    WORD subsystem = 0;
    if (bytes.size() >= 0x40) {
        const auto peOffset = *reinterpret_cast<const DWORD*>(&bytes[0x3C]);
        // Signature, file header, then the optional header's Subsystem.
        const std::size_t at = peOffset + 4 + sizeof(IMAGE_FILE_HEADER)
            + offsetof(IMAGE_OPTIONAL_HEADER64, Subsystem);
        if (at + 2 <= bytes.size() && std::string(&bytes[peOffset], 4) == std::string("PE\0\0", 4))
            subsystem = *reinterpret_cast<const WORD*>(&bytes[at]);
    }
    const std::string found = subsystem == IMAGE_SUBSYSTEM_WINDOWS_GUI ? "gui"
        : subsystem == IMAGE_SUBSYSTEM_WINDOWS_CUI                      ? "console"
                                                                        : "unknown (" + std::to_string(subsystem) + ")";
    std::printf("subsystem: %s\n", found.c_str());
    if (found != expected)
        fail("subsystem is " + found + ", expected " + expected);
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::printf("usage: talvex_program_check FILE --product NAME --version X.Y.Z [--company NAME] "
                    "[--description TEXT] [--file-name NAME] [--icon NAME|any] [--subsystem gui|console]\n");
        return 2;
    }
    const std::string path = args[0];
    std::map<std::string, std::string> options;
    for (std::size_t i = 1; i + 1 < args.size(); i += 2)
        options[args[i]] = args[i + 1];
    if ((args.size() - 1) % 2 != 0 || !options.count("--product") || !options.count("--version")) {
        std::printf("talvex_program_check: --product and --version take a value each and are needed\n");
        return 2;
    }
    const auto version = parseVersion(options["--version"]);
    if (!version) {
        std::printf("talvex_program_check: the version looks like 1.5.1\n");
        return 2;
    }

    std::printf("%s\n", path.c_str());
    // The resource takes the build's version; the program prints its own.
    const int number = version->major * 10000 + version->minor * 100 + version->patch;
    if (number != talvex::kToolVersion)
        fail("the version expected, " + options["--version"] + ", is not the one the tool prints, "
             + talvex::toolVersionText(talvex::kToolVersion));

    std::map<std::string, std::string> strings {
        {"ProductName", options["--product"]},
        {"ProductVersion", talvex::toolVersionText(number)},
        {"FileVersion", talvex::toolVersionText(number)},
    };
    if (options.count("--company"))
        strings["CompanyName"] = options["--company"];
    if (options.count("--description"))
        strings["FileDescription"] = options["--description"];
    if (options.count("--file-name"))
        strings["OriginalFilename"] = options["--file-name"];
    checkVersionResource(wide(path), *version, strings);
    if (options.count("--icon"))
        checkIcon(wide(path), options["--icon"]);
    if (options.count("--subsystem"))
        checkSubsystem(path, options["--subsystem"]);

    std::printf("%s\n", g_failures ? "FAILED" : "all as expected");
    return g_failures ? 1 : 0;
}
