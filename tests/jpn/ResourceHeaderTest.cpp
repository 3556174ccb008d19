// The resource headers against the built binaries: every resource, string,
// dialog control, menu command and accelerator of Sorvane.exe, Sorvane.0411
// and SorvaneExt.dll has a name in its header, and every name there has its
// resource. The headers are read as text, so that a name added to them is
// checked without being listed here; the binaries are read as data.
#include <gtest/gtest.h>

#include "ResourceImage.h"
#include "TestSupport.h"

// Both at once: a name given two numbers would not compile.
#include "../../Sorvane/res/SorvaneRes.h"
#include "../../SorvaneExt/res/SorvaneExtRes.h"

#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using namespace sorvane;
using test::ResourceImage;

namespace {

// name -> number, in the order of the header.
using Names = std::map<std::string, int>;

// The "#define NAME NUMBER" lines of a header (NUMBER may be in brackets).
Names readHeader(const char* path)
{
    Names names;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);) {
        std::istringstream in(line);
        std::string directive, name, value;
        if (!(in >> directive >> name >> value) || directive != "#define" || name.rfind("ID", 0) != 0) continue;
        if (value.size() > 2 && value.front() == '(' && value.back() == ')') value = value.substr(1, value.size() - 2);
        char* end = nullptr;
        const long number = std::strtol(value.c_str(), &end, 10);
        if (end && *end == '\0' && !value.empty()) names[name] = static_cast<int>(number);
    }
    return names;
}

// The kinds of resources a header names, by the start of the name.
struct Kind {
    const char* prefix; // a name starting with it ("IDR_AGREEMENT": that name only)
    LPCWSTR type;
};
const Kind kStrings = {"IDS_", MAKEINTRESOURCEW(6) /* RT_STRING */};
const Kind kDialogs = {"IDD_", MAKEINTRESOURCEW(5) /* RT_DIALOG */};
const Kind kMenus = {"IDR_MAIN_MENU", MAKEINTRESOURCEW(4) /* RT_MENU */};
const Kind kAccelerators = {"IDR_ACCELERATORS", MAKEINTRESOURCEW(9) /* RT_ACCELERATOR */};
const Kind kKinds[] = {
    kStrings,
    kDialogs,
    {"IDI_", MAKEINTRESOURCEW(14) /* RT_GROUP_ICON */},
    {"IDB_", MAKEINTRESOURCEW(2) /* RT_BITMAP */},
    kMenus,
    kAccelerators,
    {"IDR_AVI_", L"AVI"},
    {"IDR_AGREEMENT", L"AGREEMENT"},
    {"IDR_TYPELIB", L"TYPELIB"},
};

bool isString(const Kind& kind) { return kind.type == kStrings.type; }
bool sameType(LPCWSTR a, LPCWSTR b)
{
    if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b)) return a == b;
    return std::wcscmp(a, b) == 0;
}

// The numbers of the names of one kind.
std::set<int> numbersOf(const Names& names, const Kind& kind)
{
    std::set<int> numbers;
    for (const auto& [name, number] : names) {
        if (name.rfind(kind.prefix, 0) == 0) numbers.insert(number);
    }
    return numbers;
}

// The numbers of the resources of one kind a binary holds, in any language.
std::set<int> resourcesOf(const ResourceImage& image, const Kind& kind)
{
    std::set<int> numbers;
    if (isString(kind)) {
        for (const auto& entry : image.strings()) numbers.insert(static_cast<int>(entry.first));
        return numbers;
    }
    for (const test::ResourceEntry& entry : image.entries()) {
        if (entry.name.id != 0 && sameType(entry.type.get(), kind.type)) numbers.insert(entry.name.id);
    }
    return numbers;
}

std::string list(const std::set<int>& numbers)
{
    std::string text;
    for (int n : numbers) text += std::to_string(n) + " ";
    return text;
}

struct Binary {
    const char* file;
    std::vector<const char*> headers; // what its resources are named by
    std::vector<const char*> owned;   // the header whose every name it holds, of the kinds below
    std::vector<std::string> kinds;   // the prefixes of the kinds it holds
    std::set<int> notHeld;            // strings of the owned header it does not hold
};

std::vector<Binary> binaries()
{
    const std::vector<std::string> all = {"IDS_", "IDD_", "IDI_", "IDB_", "IDR_MAIN_MENU", "IDR_ACCELERATORS",
                                          "IDR_AVI_", "IDR_AGREEMENT", "IDR_TYPELIB"};
    return {
        // The program carries the extension's item texts and project name
        // as well; two texts are the Japanese library's alone.
        {"Sorvane.exe", {SORVANE_PROGRAM_RES_HEADER, SORVANE_EXT_RES_HEADER}, {SORVANE_PROGRAM_RES_HEADER}, all,
         {IDS_READY, IDS_ALL_FILES_DESCRIPTION}},
        // Texts, dialogs, the menu, the agreement and the icons; the rest
        // stays in the program.
        {"Sorvane.0411", {SORVANE_PROGRAM_RES_HEADER, SORVANE_EXT_RES_HEADER}, {SORVANE_PROGRAM_RES_HEADER},
         {"IDS_", "IDD_", "IDI_", "IDR_MAIN_MENU", "IDR_AGREEMENT"}, {}},
        {"SorvaneExt.dll", {SORVANE_EXT_RES_HEADER}, {SORVANE_EXT_RES_HEADER}, all, {}},
    };
}

void PrintTo(const Binary& binary, std::ostream* out) { *out << binary.file; }

std::wstring wide(const char* text) { return std::wstring(text, text + std::strlen(text)); }

class ResourceHeaders : public ::testing::TestWithParam<Binary> {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(image.loaded()) << "build it first: " << GetParam().file;
        for (const char* header : GetParam().headers) {
            const Names names = readHeader(header);
            ASSERT_FALSE(names.empty()) << "no names read from " << header;
            all.insert(names.begin(), names.end());
        }
        for (const char* header : GetParam().owned) {
            const Names names = readHeader(header);
            owned.insert(names.begin(), names.end());
        }
    }
    bool holdsKind(const Kind& kind) const
    {
        for (const std::string& prefix : GetParam().kinds) {
            if (prefix == kind.prefix) return true;
        }
        return false;
    }

    ResourceImage image{test::distFolder() + wide(GetParam().file)};
    Names all;   // every name the binary's resources may have
    Names owned; // the names whose resources the binary must hold
};

TEST(ResourceHeaderFiles, AreReadAsTheCompilerReadsThem)
{
    const Names program = readHeader(SORVANE_PROGRAM_RES_HEADER);
    const Names extension = readHeader(SORVANE_EXT_RES_HEADER);
    EXPECT_EQ(program.at("IDS_APP_NAME"), IDS_APP_NAME);
    EXPECT_EQ(program.at("IDD_BROWSE_EXTENSIONS"), IDD_BROWSE_EXTENSIONS);
    EXPECT_EQ(program.at("IDC_STATIC"), IDC_STATIC);
    EXPECT_EQ(extension.at("IDI_COMMAND_COMPRESS"), IDI_COMMAND_COMPRESS);
    // One home per string: no number is a string of both headers.
    const std::set<int> extensionStrings = numbersOf(extension, kStrings);
    for (int number : numbersOf(program, kStrings)) EXPECT_EQ(extensionStrings.count(number), 0u) << number;
}

TEST_P(ResourceHeaders, EveryNamedResourceIsThere)
{
    for (const Kind& kind : kKinds) {
        if (!holdsKind(kind)) continue;
        SCOPED_TRACE(kind.prefix);
        std::set<int> missing;
        const std::set<int> held = resourcesOf(image, kind);
        for (int number : numbersOf(owned, kind)) {
            if (!held.count(number) && !(isString(kind) && GetParam().notHeld.count(number))) missing.insert(number);
        }
        EXPECT_TRUE(missing.empty()) << "named but not in " << GetParam().file << ": " << list(missing);
    }
}

TEST_P(ResourceHeaders, EveryResourceHasAName)
{
    for (const Kind& kind : kKinds) {
        SCOPED_TRACE(kind.prefix);
        std::set<int> unnamed;
        const std::set<int> named = numbersOf(all, kind);
        for (int number : resourcesOf(image, kind)) {
            if (!named.count(number)) unnamed.insert(number);
        }
        EXPECT_TRUE(unnamed.empty()) << "in " << GetParam().file << " without a name: " << list(unnamed);
    }
}

TEST_P(ResourceHeaders, EveryControlCommandAndAcceleratorHasAName)
{
    std::set<int> controls = {IDOK, IDCANCEL};
    std::set<int> commands;
    for (const auto& [name, number] : all) {
        if (name.rfind("IDC_", 0) == 0) controls.insert(number);
        if (name.rfind("IDM_", 0) == 0) commands.insert(number);
    }
    for (int id : resourcesOf(image, kDialogs)) {
        const std::optional<test::DialogTemplate> dialog = image.dialog(static_cast<WORD>(id));
        ASSERT_TRUE(dialog) << "dialog " << id;
        for (const test::DialogControl& control : dialog->controls) {
            const int controlId = static_cast<int>(static_cast<short>(control.id & 0xFFFF));
            EXPECT_TRUE(controls.count(controlId)) << "dialog " << id << ": control " << controlId << " has no name";
        }
    }
    std::function<void(const std::vector<test::MenuItem>&)> walk = [&](const std::vector<test::MenuItem>& items) {
        for (const test::MenuItem& item : items) {
            if (item.isPopup) {
                walk(item.popup);
            } else if (!item.separator) {
                EXPECT_TRUE(commands.count(static_cast<int>(item.id))) << "menu item " << item.id;
            }
        }
    };
    for (int id : resourcesOf(image, kMenus)) walk(image.menu(static_cast<WORD>(id)));
    for (int id : resourcesOf(image, kAccelerators)) {
        for (LANGID language : image.languages(kAccelerators.type, MAKEINTRESOURCEW(id))) {
            const std::optional<std::string> table = image.data(kAccelerators.type, MAKEINTRESOURCEW(id), language);
            ASSERT_TRUE(table);
            // Eight bytes an entry: flags, key, command, padding.
            for (size_t at = 0; at + 8 <= table->size(); at += 8) {
                WORD command = 0;
                std::memcpy(&command, table->data() + at + 4, 2);
                EXPECT_TRUE(commands.count(command)) << "accelerator for command " << command;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Built, ResourceHeaders, ::testing::ValuesIn(binaries()),
                         [](const ::testing::TestParamInfo<Binary>& info) {
                             std::string name = info.param.file;
                             for (char& c : name) {
                                 if (c == '.') c = '_';
                             }
                             return name;
                         });

} // namespace
