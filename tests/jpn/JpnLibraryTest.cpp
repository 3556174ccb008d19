// The built Japanese library Sorvane.0411 against the built program
// Sorvane.exe, both read as data from the deliverables folder: the file
// itself, its inventory and language tags, the string table, the dialogs,
// the menu, the pictures and the agreement.
#include <gtest/gtest.h>

#include "ResourceImage.h"
#include "TestSupport.h"
#include "../../Sorvane/res/SorvaneRes.h"
#include "../../SorvaneExt/res/SorvaneExtRes.h"

#include <richedit.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>

using namespace sorvane;
using test::DialogTemplate;
using test::ResourceImage;

namespace {

constexpr LANGID kJapanese = 0x0411;
constexpr LANGID kEnglish = 0x0409;

std::wstring libraryPath() { return test::distFolder() + L"Sorvane.0411"; }
std::wstring programPath() { return test::distFolder() + L"Sorvane.exe"; }

std::string narrow(const std::wstring& text)
{
    const int size = ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string out(size > 0 ? size - 1 : 0, '\0');
    if (size > 1) ::WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(), size, nullptr, nullptr);
    return out;
}

std::string describe(const std::set<UINT>& ids)
{
    std::ostringstream out;
    for (UINT id : ids) out << id << ' ';
    return out.str();
}

std::set<UINT> keys(const std::map<UINT, std::wstring>& table)
{
    std::set<UINT> set;
    for (const auto& entry : table) set.insert(entry.first);
    return set;
}

std::set<UINT> difference(const std::set<UINT>& a, const std::set<UINT>& b)
{
    std::set<UINT> out;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::inserter(out, out.end()));
    return out;
}

// The identifiers the Japanese table is to hold, as the list of its design
// states them (ranges inclusive).
std::set<UINT> listedIds()
{
    const std::pair<UINT, UINT> ranges[] = {
        {51, 54},     {60, 63},     {702, 702},   {717, 717},   {720, 720},   {1000, 1000}, {1100, 1103},
        {1105, 1107}, {1110, 1110}, {1113, 1114}, {1120, 1121}, {1130, 1133}, {1140, 1143}, {1150, 1153},
        {1167, 1168}, {1170, 1170}, {1174, 1188}, {1200, 1205}, {1320, 1323}, {1330, 1331}, {1340, 1340},
        {1360, 1366}, {1370, 1372}, {1380, 1384}, {1390, 1394}, {1400, 1401}, {1410, 1412}, {1420, 1424},
        {1430, 1433}, {1436, 1439}, {1441, 1443}, {1600, 1600}, {1701, 1715}, {2227, 2227},
    };
    std::set<UINT> ids;
    for (const auto& range : ranges) {
        for (UINT id = range.first; id <= range.second; ++id) ids.insert(id);
    }
    return ids;
}

const std::set<UINT> kOnlyInLibrary = {IDS_READY, IDS_ALL_FILES_DESCRIPTION};
// Texts the program gained after the list was drawn up (safety refusals,
// compress messages and the like) take ids from this range; the library
// must carry every one of them as well.
constexpr UINT kLaterFirst = 1800;
constexpr UINT kLaterLast = 1999;

std::set<UINT> laterIds(const std::set<UINT>& ids)
{
    std::set<UINT> out;
    for (UINT id : ids) {
        if (id >= kLaterFirst && id <= kLaterLast) out.insert(id);
    }
    return out;
}
// Texts that stay as they are in Japanese: a file name, the window class,
// the copyright line and the pickers' format.
const std::set<UINT> kUntranslated = {IDS_INFORMATION_PAGE, IDS_CLASS_NAME, IDS_COPYRIGHT, IDS_DATE_FORMAT};

class JpnLibrary : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(library.loaded()) << "build the library first: " << narrow(libraryPath());
        ASSERT_TRUE(program.loaded()) << "build the program first: " << narrow(programPath());
    }

    ResourceImage library{libraryPath()};
    ResourceImage program{programPath()};
};

// ---------------------------------------------------------------------------
// The file

struct PeFile {
    std::string bytes;
    const IMAGE_NT_HEADERS64* headers = nullptr;

    explicit PeFile(const std::string& data) : bytes(data)
    {
        if (bytes.size() < sizeof(IMAGE_DOS_HEADER)) return;
        const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(bytes.data());
        if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
        if (static_cast<size_t>(dos->e_lfanew) + sizeof(IMAGE_NT_HEADERS64) > bytes.size()) return;
        const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS64*>(bytes.data() + dos->e_lfanew);
        if (nt->Signature == IMAGE_NT_SIGNATURE) headers = nt;
    }
    // The file offset of a relative address, or 0 when no section holds it.
    size_t offset(DWORD rva) const
    {
        const IMAGE_SECTION_HEADER* section = IMAGE_FIRST_SECTION(headers);
        for (WORD i = 0; i < headers->FileHeader.NumberOfSections; ++i, ++section) {
            const DWORD size = std::max(section->Misc.VirtualSize, section->SizeOfRawData);
            if (rva >= section->VirtualAddress && rva < section->VirtualAddress + size)
                return rva - section->VirtualAddress + section->PointerToRawData;
        }
        return 0;
    }
    template <typename T>
    const T* at(DWORD rva) const
    {
        const size_t where = offset(rva);
        if (!where || where + sizeof(T) > bytes.size()) return nullptr;
        return reinterpret_cast<const T*>(bytes.data() + where);
    }
    std::string name(DWORD rva) const
    {
        const size_t where = offset(rva);
        if (!where) return {};
        return std::string(bytes.data() + where, strnlen(bytes.data() + where, bytes.size() - where));
    }
};

TEST_F(JpnLibrary, IsAnX64LibraryWhoseOnlyCodeTurnsOffThreadNotifications)
{
    const PeFile pe(test::readBytes(libraryPath()));
    ASSERT_NE(pe.headers, nullptr) << "not a PE file";
    EXPECT_EQ(pe.headers->FileHeader.Machine, IMAGE_FILE_MACHINE_AMD64);
    EXPECT_TRUE(pe.headers->FileHeader.Characteristics & IMAGE_FILE_DLL);
    ASSERT_EQ(pe.headers->OptionalHeader.Magic, IMAGE_NT_OPTIONAL_HDR64_MAGIC);
    EXPECT_NE(pe.headers->OptionalHeader.AddressOfEntryPoint, 0u) << "an entry point";

    // No exports.
    const IMAGE_DATA_DIRECTORY& exportsDir = pe.headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_EXPORT];
    if (exportsDir.Size) {
        const auto* exports = pe.at<IMAGE_EXPORT_DIRECTORY>(exportsDir.VirtualAddress);
        ASSERT_NE(exports, nullptr);
        EXPECT_EQ(exports->NumberOfFunctions, 0u);
        EXPECT_EQ(exports->NumberOfNames, 0u);
    }

    // One import: DisableThreadLibraryCalls from the kernel, and no runtime library.
    std::vector<std::string> imported;
    const IMAGE_DATA_DIRECTORY& importsDir = pe.headers->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    ASSERT_NE(importsDir.Size, 0u);
    for (DWORD rva = importsDir.VirtualAddress;; rva += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
        const auto* descriptor = pe.at<IMAGE_IMPORT_DESCRIPTOR>(rva);
        ASSERT_NE(descriptor, nullptr);
        if (!descriptor->Name) break;
        const std::string dll = pe.name(descriptor->Name);
        DWORD thunk = descriptor->OriginalFirstThunk ? descriptor->OriginalFirstThunk : descriptor->FirstThunk;
        for (;; thunk += sizeof(ULONGLONG)) {
            const auto* entry = pe.at<ULONGLONG>(thunk);
            ASSERT_NE(entry, nullptr);
            if (!*entry) break;
            if (*entry & IMAGE_ORDINAL_FLAG64)
                imported.push_back(dll + "!#" + std::to_string(*entry & 0xFFFF));
            else
                imported.push_back(dll + "!" + pe.name(static_cast<DWORD>(*entry) + 2));
        }
    }
    ASSERT_EQ(imported.size(), 1u);
    EXPECT_EQ(_stricmp(imported[0].c_str(), "KERNEL32.dll!DisableThreadLibraryCalls"), 0) << imported[0];

    // It loads as a library: its entry succeeds.
    HMODULE loaded = ::LoadLibraryW(libraryPath().c_str());
    EXPECT_NE(loaded, nullptr) << "error " << ::GetLastError();
    if (loaded) ::FreeLibrary(loaded);
}

// ---------------------------------------------------------------------------
// Inventory

struct GroupEntry {
    BYTE width, height, colours;
    WORD planes, bits;
    DWORD size;
    WORD id;
};

std::vector<GroupEntry> iconGroup(const std::string& bytes)
{
    std::vector<GroupEntry> entries;
    if (bytes.size() < 6) return entries;
    WORD count = 0;
    std::memcpy(&count, bytes.data() + 4, 2);
    for (WORD i = 0; i < count && 6 + (i + 1) * 14u <= bytes.size(); ++i) {
        const char* p = bytes.data() + 6 + i * 14;
        GroupEntry e = {};
        e.width = static_cast<BYTE>(p[0]);
        e.height = static_cast<BYTE>(p[1]);
        e.colours = static_cast<BYTE>(p[2]);
        std::memcpy(&e.planes, p + 4, 2);
        std::memcpy(&e.bits, p + 6, 2);
        std::memcpy(&e.size, p + 8, 4);
        std::memcpy(&e.id, p + 12, 2);
        entries.push_back(e);
    }
    return entries;
}

TEST_F(JpnLibrary, CarriesItsResourcesInJapaneseAndThePicturesInEnglish)
{
    std::map<std::wstring, std::set<WORD>> found; // type -> names
    std::set<WORD> iconIds;
    for (const test::ResourceEntry& entry : library.entries()) {
        ASSERT_NE(entry.name.id, 0) << "a resource named by text: " << narrow(entry.name.text);
        const std::wstring type = entry.type.id ? L"#" + std::to_wstring(entry.type.id) : entry.type.text;
        EXPECT_EQ(library.languages(entry.type.get(), entry.name.get()).size(), 1u)
            << narrow(type) << " " << entry.name.id << " exists in more than one language";
        found[type].insert(entry.name.id);
        const bool picture = entry.type.id == 3 /* RT_ICON */ || entry.type.id == 14 /* RT_GROUP_ICON */;
        EXPECT_EQ(entry.language, picture ? kEnglish : kJapanese) << narrow(type) << " " << entry.name.id;
        if (entry.type.id == 3) iconIds.insert(entry.name.id);
    }

    const std::set<WORD> dialogs = {200, 210, 211, 212, 213, 224, 5123};
    EXPECT_EQ(found[L"#5"], dialogs);
    EXPECT_EQ(found[L"#4"], std::set<WORD>{100});
    EXPECT_EQ(found[L"AGREEMENT"], std::set<WORD>{337});
    EXPECT_EQ(found[L"AFX_DIALOG_LAYOUT"], std::set<WORD>{211});
    EXPECT_EQ(found[L"#24"], std::set<WORD>{2});
    const std::set<WORD> groups = {101, 310, 311, 312, 313};
    EXPECT_EQ(found[L"#14"], groups);
    EXPECT_FALSE(found[L"#6"].empty()) << "a string table";

    // The icons are exactly those the groups name.
    std::set<WORD> named;
    for (WORD group : found[L"#14"]) {
        const auto bytes = library.data(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(group), kEnglish);
        ASSERT_TRUE(bytes);
        for (const GroupEntry& e : iconGroup(*bytes)) named.insert(e.id);
    }
    EXPECT_EQ(iconIds, named);

    // Nothing else: animations, GIF pictures, bitmaps, accelerators and the
    // version record stay in the program.
    std::set<std::wstring> types;
    for (const auto& entry : found) types.insert(entry.first);
    const std::set<std::wstring> expected = {L"#3", L"#4", L"#5", L"#6", L"#14", L"#24", L"AFX_DIALOG_LAYOUT",
                                             L"AGREEMENT"};
    EXPECT_EQ(types, expected);

    // The layout record is two zero bytes; the manifest asks for no privileges.
    EXPECT_EQ(library.data(L"AFX_DIALOG_LAYOUT", MAKEINTRESOURCEW(IDD_FILTER_DELETE), kJapanese), std::string(2, '\0'));
    const auto manifest = library.data(MAKEINTRESOURCEW(24), MAKEINTRESOURCEW(2), kJapanese);
    ASSERT_TRUE(manifest);
    EXPECT_NE(manifest->find("requestedExecutionLevel level=\"asInvoker\""), std::string::npos) << *manifest;
}

TEST_F(JpnLibrary, IconGroupsHoldThePicturesOfTheProgram)
{
    for (WORD group : {IDI_SORVANE, IDI_FORM_COPY, IDI_FORM_COMPRESS, IDI_FORM_ERASE, IDI_FORM_RECYCLE}) {
        SCOPED_TRACE(group);
        const auto ours = library.data(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(group), kEnglish);
        const auto theirs = program.data(MAKEINTRESOURCEW(14), MAKEINTRESOURCEW(group), kEnglish);
        ASSERT_TRUE(ours) << "the library has no icon group " << group;
        ASSERT_TRUE(theirs) << "the program has no icon group " << group;
        const std::vector<GroupEntry> a = iconGroup(*ours);
        const std::vector<GroupEntry> b = iconGroup(*theirs);
        ASSERT_EQ(a.size(), b.size());
        ASSERT_FALSE(a.empty());
        for (size_t i = 0; i < a.size(); ++i) {
            EXPECT_EQ(a[i].width, b[i].width);
            EXPECT_EQ(a[i].height, b[i].height);
            EXPECT_EQ(a[i].bits, b[i].bits);
            const auto image = library.data(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(a[i].id), kEnglish);
            const auto original = program.data(MAKEINTRESOURCEW(3), MAKEINTRESOURCEW(b[i].id), kEnglish);
            ASSERT_TRUE(image && original);
            EXPECT_TRUE(*image == *original) << "image " << i << " differs";
        }
    }
}

// ---------------------------------------------------------------------------
// Strings

TEST_F(JpnLibrary, StringTableHoldsTheListedIdentifiersAndEveryEnglishOneButTheProjectName)
{
    const std::map<UINT, std::wstring> japanese = library.strings();
    const std::map<UINT, std::wstring> english = program.strings();
    ASSERT_FALSE(english.empty());
    const std::set<UINT> j = keys(japanese);
    const std::set<UINT> e = keys(english);
    ASSERT_EQ(listedIds().size(), 125u);
    // The listed ids plus the program's later texts, each in both tables.
    std::set<UINT> listed = listedIds();
    const std::set<UINT> later = laterIds(e);
    listed.insert(later.begin(), later.end());
    EXPECT_EQ(laterIds(j), later) << "later texts differ: English " << describe(difference(later, laterIds(j)))
                                  << " Japanese " << describe(difference(laterIds(j), later));

    EXPECT_EQ(j.size(), 125u + later.size());
    EXPECT_TRUE(difference(listed, j).empty()) << "listed but missing: " << describe(difference(listed, j));
    EXPECT_TRUE(difference(j, listed).empty()) << "not listed: " << describe(difference(j, listed));

    // Every English string the list names exists in Japanese; the list's
    // other ids are the library's own three.
    std::set<UINT> listedEnglish;
    std::set_intersection(e.begin(), e.end(), listed.begin(), listed.end(),
                          std::inserter(listedEnglish, listedEnglish.end()));
    EXPECT_TRUE(difference(listedEnglish, j).empty()) << "no Japanese text: " << describe(difference(listedEnglish, j));
    EXPECT_EQ(difference(j, e), kOnlyInLibrary);
    // The program's only string without a Japanese counterpart is the
    // shell extension's project name; a new English string needs one.
    EXPECT_EQ(difference(e, j), std::set<UINT>{IDS_PROJECT_NAME}) << "English strings without Japanese text";
}

TEST_F(JpnLibrary, QuotedTextsAndDifferencesOfContent)
{
    const std::map<UINT, std::wstring> japanese = library.strings();
    const std::map<UINT, std::wstring> english = program.strings();
    const std::map<UINT, std::wstring> quoted = {
        {IDS_MENU_COPY, L"フィルタリング コピー...(&C)"},
        {IDS_MENU_MOVE, L"フィルタリング 移動...(&M)"},
        {IDS_MENU_DELETE, L"フィルタリング 削除...(&D)"},
        {IDS_HELP_COPY, L"選択したファイル/フォルダをフィルタリング条件で コピーします。"},
        {IDS_HELP_MOVE, L"選択したファイル/フォルダをフィルタリング条件で 移動します。"},
        {IDS_HELP_DELETE, L"選択したファイル/フォルダをフィルタリング条件で 削除します。"},
        {IDS_READY, L"レディ"},
        {IDS_ALL_FILES_DESCRIPTION, L"すべてのファイル種類"},
        {IDS_CD_BURNING, L"CDを焼く"},
        {IDS_VERSION, L"日本語版Ver2.4"},
        {IDS_INFORMATION_PAGE, L"infoj.htm"},
        {IDS_AGREEMENT_TITLE, L"ソフトウェア使用許諾契約書"},
    };
    for (const auto& [id, text] : quoted) {
        ASSERT_TRUE(japanese.count(id)) << id;
        EXPECT_EQ(japanese.at(id), text) << id;
    }
    EXPECT_EQ(english.at(IDS_VERSION), L"Version 2.4");
    EXPECT_EQ(english.at(IDS_INFORMATION_PAGE), L"info.htm");
    // The window class is an identifier, the same in every language.
    EXPECT_EQ(japanese.at(IDS_CLASS_NAME), english.at(IDS_CLASS_NAME));

    // The product's Japanese name replaces the English one wherever the
    // English strings name the program (its file name Sorvane.exe aside).
    const std::wstring name = japanese.at(IDS_APP_NAME);
    const std::wstring englishName = english.at(IDS_APP_NAME);
    EXPECT_TRUE(test::hasJapanese(name));
    int named = 0;
    for (const auto& [id, text] : english) {
        if (!japanese.count(id) || id == IDS_APP_NAME || id == IDS_CLASS_NAME) continue;
        std::wstring plain = text;
        for (size_t at; (at = plain.find(englishName + L".exe")) != std::wstring::npos;) plain.erase(at, 12);
        if (plain.find(englishName) == std::wstring::npos) continue;
        ++named;
        std::wstring ours = japanese.at(id);
        for (size_t at; (at = ours.find(englishName + L".exe")) != std::wstring::npos;) ours.erase(at, 12);
        EXPECT_NE(ours.find(name), std::wstring::npos) << id << ": " << narrow(ours);
        EXPECT_EQ(ours.find(englishName), std::wstring::npos) << id << ": " << narrow(ours);
    }
    EXPECT_GE(named, 4) << "strings that name the program";
}

TEST_F(JpnLibrary, TranslationsKeepFormatsSeparatorsAccessKeysAndPatterns)
{
    const std::map<UINT, std::wstring> japanese = library.strings();
    const std::map<UINT, std::wstring> english = program.strings();
    for (const auto& [id, ours] : japanese) {
        if (!english.count(id)) continue;
        SCOPED_TRACE(id);
        const std::wstring& theirs = english.at(id);
        EXPECT_EQ(test::conversions(ours), test::conversions(theirs)) << narrow(ours);
        EXPECT_EQ(std::count(ours.begin(), ours.end(), L'|'), std::count(theirs.begin(), theirs.end(), L'|'));
        EXPECT_EQ(std::count(ours.begin(), ours.end(), L'\n'), std::count(theirs.begin(), theirs.end(), L'\n'));
        EXPECT_EQ(!ours.empty() && ours.back() == L'\n', theirs.back() == L'\n');
        EXPECT_EQ(test::mnemonic(ours), test::mnemonic(theirs));
        if (!kUntranslated.count(id)) {
            EXPECT_TRUE(test::hasJapanese(ours)) << "not translated: " << narrow(ours);
        }
    }
    // The predefined patterns: a Japanese label over the same value.
    for (UINT id = IDS_PATTERNS_ALL_FILES; id <= IDS_PATTERNS_TEXT; ++id) {
        SCOPED_TRACE(id);
        ASSERT_TRUE(japanese.count(id) && english.count(id));
        const std::wstring& ours = japanese.at(id);
        const std::wstring& theirs = english.at(id);
        EXPECT_EQ(ours.substr(ours.find(L'|')), theirs.substr(theirs.find(L'|')));
    }
    // The filter list of the archive picker: the same patterns behind its
    // translated names.
    auto parts = [](const std::wstring& text) {
        std::vector<std::wstring> list(1);
        for (wchar_t c : text) {
            if (c == L'|')
                list.emplace_back();
            else
                list.back() += c;
        }
        return list;
    };
    const std::vector<std::wstring> filters = parts(japanese.at(IDS_ARCHIVE_FILTERS));
    const std::vector<std::wstring> englishFilters = parts(english.at(IDS_ARCHIVE_FILTERS));
    ASSERT_EQ(filters.size(), englishFilters.size());
    for (size_t i = 1; i < filters.size(); i += 2) EXPECT_EQ(filters[i], englishFilters[i]);
}

// ---------------------------------------------------------------------------
// Dialogs

struct DialogSize {
    WORD id;
    short cx; // 0: as the program's
    short cy;
};
void PrintTo(const DialogSize& size, std::ostream* out) { *out << "dialog " << size.id; }
// The Japanese forms are slightly larger or smaller than the English ones.
const DialogSize kJapaneseSizes[] = {
    {IDD_AGREEMENT, 251, 0},       {IDD_FILTER_COPY, 311, 215}, {IDD_FILTER_DELETE, 311, 210},
    {IDD_FILTER_COMPRESS, 311, 215}, {IDD_PROGRESS, 243, 173},   {IDD_DOWNLOAD, 0, 0},
    {IDD_BROWSE_EXTENSIONS, 311, 210},
};

bool hasContextHelp(const DialogTemplate& dialog)
{
    return (dialog.style & DS_CONTEXTHELP) || (dialog.exStyle & WS_EX_CONTEXTHELP);
}

// A control text the user reads in English ("OK", "English" and arrows
// stay as they are).
bool isEnglishWording(const std::wstring& text)
{
    if (text == L"OK" || text == L"English") return false;
    int letters = 0;
    for (wchar_t c : text) letters += (c < 0x80 && iswalpha(c)) ? 1 : 0;
    return letters >= 2;
}

class JpnDialog : public JpnLibrary, public ::testing::WithParamInterface<DialogSize> {};

TEST_P(JpnDialog, OwnFontSizeAndJapaneseCaption)
{
    const DialogSize size = GetParam();
    const std::optional<DialogTemplate> ours = library.dialog(size.id);
    ASSERT_TRUE(ours) << "dialog " << size.id << " missing or not an extended template";
    EXPECT_EQ(ours->typeface, L"MS UI Gothic");
    if (size.cx) {
        EXPECT_EQ(ours->cx, size.cx);
    }
    if (size.cy) {
        EXPECT_EQ(ours->cy, size.cy);
    }
    EXPECT_TRUE(test::hasJapanese(ours->caption)) << narrow(ours->caption);
    // Pictures named by the template are in the library.
    for (const test::DialogControl& control : ours->controls) {
        if (control.className == L"Static" && (control.style & SS_TYPEMASK) == SS_ICON && control.textOrdinal) {
            EXPECT_FALSE(library.languages(RT_GROUP_ICON, MAKEINTRESOURCEW(control.textOrdinal)).empty())
                << "icon " << control.textOrdinal << " of control " << control.id;
        }
    }
    if (size.id == IDD_AGREEMENT) {
        EXPECT_TRUE(hasContextHelp(*ours)) << "the agreement viewer has the context-help button";
    }
    if (size.id == IDD_FILTER_COMPRESS) {
        ASSERT_NE(ours->control(IDC_ARCHIVE_NEW), nullptr);
        EXPECT_TRUE(ours->control(IDC_ARCHIVE_NEW)->style & WS_GROUP) << "2040 starts a group";
    }
}

TEST_P(JpnDialog, SameControlsAsTheProgram)
{
    const DialogSize size = GetParam();
    const std::optional<DialogTemplate> ours = library.dialog(size.id);
    const std::optional<DialogTemplate> theirs = program.dialog(size.id);
    ASSERT_TRUE(ours);
    if (!theirs) GTEST_FAIL() << "the program has no dialog " << size.id << " yet";

    if (!size.cx) {
        EXPECT_EQ(ours->cx, theirs->cx);
    }
    if (!size.cy) {
        EXPECT_EQ(ours->cy, theirs->cy);
    }
    DWORD style = ours->style;
    DWORD exStyle = ours->exStyle;
    if (size.id == IDD_AGREEMENT) {
        // The Japanese viewer adds the context-help button.
        if (!hasContextHelp(*theirs)) {
            style &= ~static_cast<DWORD>(DS_CONTEXTHELP);
            exStyle &= ~static_cast<DWORD>(WS_EX_CONTEXTHELP);
        }
    }
    EXPECT_EQ(style, theirs->style);
    EXPECT_EQ(exStyle, theirs->exStyle);

    ASSERT_EQ(ours->controls.size(), theirs->controls.size());
    for (size_t i = 0; i < ours->controls.size(); ++i) {
        const test::DialogControl& a = ours->controls[i];
        const test::DialogControl& b = theirs->controls[i];
        SCOPED_TRACE(testing::Message() << "control " << i << " (id " << b.id << ")");
        EXPECT_EQ(a.id, b.id);
        EXPECT_EQ(a.className, b.className);
        DWORD controlStyle = a.style;
        if (size.id == IDD_FILTER_COMPRESS && a.id == IDC_ARCHIVE_NEW) {
            controlStyle = (a.style & ~WS_GROUP) | (b.style & WS_GROUP);
        }
        EXPECT_EQ(controlStyle, b.style) << std::hex << a.style << " vs " << b.style;
        EXPECT_EQ(a.exStyle, b.exStyle);
        EXPECT_EQ(a.textOrdinal, b.textOrdinal);
        EXPECT_EQ(a.text.empty(), b.text.empty()) << narrow(a.text) << " / " << narrow(b.text);
        EXPECT_EQ(test::mnemonic(a.text), test::mnemonic(b.text)) << narrow(a.text) << " / " << narrow(b.text);
        if (isEnglishWording(b.text)) {
            EXPECT_TRUE(test::hasJapanese(a.text)) << "not translated: " << narrow(a.text);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Templates, JpnDialog, ::testing::ValuesIn(kJapaneseSizes),
                         [](const ::testing::TestParamInfo<DialogSize>& info) {
                             return "Dialog" + std::to_string(info.param.id);
                         });

// ---------------------------------------------------------------------------
// Menu

void compareMenus(const std::vector<test::MenuItem>& ours, const std::vector<test::MenuItem>& theirs)
{
    ASSERT_EQ(ours.size(), theirs.size());
    for (size_t i = 0; i < ours.size(); ++i) {
        SCOPED_TRACE(testing::Message() << "item " << i << " " << narrow(theirs[i].text));
        EXPECT_EQ(ours[i].id, theirs[i].id);
        EXPECT_EQ(ours[i].separator, theirs[i].separator);
        EXPECT_EQ(ours[i].isPopup, theirs[i].isPopup);
        EXPECT_EQ(test::mnemonic(ours[i].text), test::mnemonic(theirs[i].text)) << narrow(ours[i].text);
        if (!theirs[i].separator) {
            EXPECT_TRUE(test::hasJapanese(ours[i].text)) << narrow(ours[i].text);
        }
        compareMenus(ours[i].popup, theirs[i].popup);
    }
}

TEST_F(JpnLibrary, MenuHasTheProgramsCommandsInJapanese)
{
    const std::vector<test::MenuItem> ours = library.menu(IDR_MAIN_MENU);
    const std::vector<test::MenuItem> theirs = program.menu(IDR_MAIN_MENU);
    ASSERT_EQ(ours.size(), 1u);
    ASSERT_TRUE(ours[0].isPopup);
    std::vector<UINT> ids;
    for (const test::MenuItem& item : ours[0].popup) ids.push_back(item.separator ? 0 : item.id);
    EXPECT_EQ(ids, (std::vector<UINT>{400, 401, 403, 0, 410, 0, 411}));
    compareMenus(ours, theirs);
}

// ---------------------------------------------------------------------------
// Agreement

// Feeds a memory block to EM_STREAMIN.
struct MemoryStream {
    const std::string* bytes;
    size_t at;
};
DWORD CALLBACK readMemory(DWORD_PTR cookie, LPBYTE buffer, LONG wanted, LONG* given)
{
    auto* stream = reinterpret_cast<MemoryStream*>(cookie);
    const size_t left = stream->bytes->size() - stream->at;
    const size_t count = std::min(left, static_cast<size_t>(wanted));
    std::memcpy(buffer, stream->bytes->data() + stream->at, count);
    stream->at += count;
    *given = static_cast<LONG>(count);
    return 0;
}

std::vector<std::wstring> paragraphs(const std::wstring& text)
{
    std::vector<std::wstring> list;
    std::wstring line;
    for (wchar_t c : text + L"\n") {
        if (c == L'\r' || c == L'\n') {
            if (!line.empty()) list.push_back(line);
            line.clear();
        } else {
            line += c;
        }
    }
    return list;
}

std::wstring fromUtf8(const std::string& text)
{
    const int size = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

TEST_F(JpnLibrary, AgreementWindowShowsTheJapaneseTextOfItsSource)
{
    const auto rtf = library.data(L"AGREEMENT", MAKEINTRESOURCEW(IDR_AGREEMENT), kJapanese);
    ASSERT_TRUE(rtf);
    ASSERT_EQ(rtf->rfind("{\\rtf1", 0), 0u);
    EXPECT_TRUE(std::all_of(rtf->begin(), rtf->end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        << "seven-bit rich text reads the same under every code page";

    HMODULE richEdit = ::LoadLibraryW(L"RichEd20.dll");
    ASSERT_NE(richEdit, nullptr);
    HWND box = ::CreateWindowExW(0, L"RichEdit20W", L"", WS_POPUP | ES_MULTILINE, 0, 0, 400, 300, nullptr, nullptr,
                                 nullptr, nullptr);
    ASSERT_NE(box, nullptr) << "needs a display";
    MemoryStream stream = {&*rtf, 0};
    EDITSTREAM edit = {reinterpret_cast<DWORD_PTR>(&stream), 0, readMemory};
    ::SendMessageW(box, EM_STREAMIN, SF_RTF, reinterpret_cast<LPARAM>(&edit));
    EXPECT_EQ(edit.dwError, 0u);
    std::wstring text(1 << 16, L'\0');
    GETTEXTEX request = {};
    request.cb = static_cast<DWORD>(text.size() * sizeof(wchar_t));
    request.flags = GT_DEFAULT;
    request.codepage = 1200;
    const LRESULT length = ::SendMessageW(box, EM_GETTEXTEX, reinterpret_cast<WPARAM>(&request),
                                          reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(length));
    ::DestroyWindow(box);
    ::FreeLibrary(richEdit);

    // The paragraphs of the source text, without their heading marks.
    std::ifstream source(SORVANE_JPN_AGREEMENT_SOURCE, std::ios::binary);
    ASSERT_TRUE(source.good()) << SORVANE_JPN_AGREEMENT_SOURCE;
    std::ostringstream all;
    all << source.rdbuf();
    std::vector<std::wstring> expected;
    for (std::wstring line : paragraphs(fromUtf8(all.str()))) {
        if (line.rfind(L"## ", 0) == 0) line.erase(0, 3);
        if (line.rfind(L"# ", 0) == 0) line.erase(0, 2);
        expected.push_back(line);
    }
    const std::vector<std::wstring> shown = paragraphs(text);
    ASSERT_EQ(shown.size(), expected.size());
    for (size_t i = 0; i < shown.size(); ++i) EXPECT_EQ(shown[i], expected[i]) << "paragraph " << i;
    // Its title is the agreement's title string.
    EXPECT_NE(shown.front().find(library.strings().at(IDS_AGREEMENT_TITLE)), std::wstring::npos);
}

} // namespace
