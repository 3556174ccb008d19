#include "run/ConsoleCommand.h"

#include "engine/FileTimes.h"
#include "engine/FileTreeSetting.h"
#include "engine/PathForms.h"
#include "res/SorvaneRes.h"

#include <cwchar>
#include <cwctype>

namespace sorvane {

namespace {

enum class KeyKind {
    Word,   // operation, source, target: the words before the switches
    Value,  // "/name:<value>"
    Flag,   // "/name", "/name:yes", "/name:no"
};

// Which operations a key belongs to (bits of 1 << OperationKind).
constexpr unsigned kCopyMove = (1u << kOperationCopy) | (1u << kOperationMove);
constexpr unsigned kDelete = 1u << kOperationDelete;
constexpr unsigned kCompress = 1u << kOperationCompress;
constexpr unsigned kFiltered = kCopyMove | kDelete; // the size filter and read-only protection
constexpr unsigned kAll = kCopyMove | kDelete | kCompress;

struct KeyInfo {
    const wchar_t* name;
    KeyKind kind;
    unsigned operations;
};

// Every key of a job file; every one but the words is also a switch.
const KeyInfo kKeys[] = {
    {L"operation", KeyKind::Word, kAll},   {L"source", KeyKind::Word, kAll},
    {L"target", KeyKind::Word, kAll},      {L"names", KeyKind::Value, kAll},
    {L"exclude", KeyKind::Flag, kAll},     {L"nosub", KeyKind::Flag, kAll},
    {L"after", KeyKind::Value, kAll},      {L"before", KeyKind::Value, kAll},
    {L"size", KeyKind::Value, kFiltered},  {L"overwrite", KeyKind::Value, kCopyMove},
    {L"protect", KeyKind::Flag, kFiltered}, {L"recycle", KeyKind::Flag, kDelete},
    {L"test", KeyKind::Flag, kDelete},     {L"clone", KeyKind::Flag, kCopyMove},
    {L"verify", KeyKind::Flag, kCopyMove}, {L"archive", KeyKind::Value, kCompress},
    {L"sfx", KeyKind::Flag, kCompress},    {L"log", KeyKind::Value, kAll},
    {L"csv", KeyKind::Value, kAll},        {L"quiet", KeyKind::Flag, kAll},
    {L"plan", KeyKind::Flag, kAll},
    {L"sums", KeyKind::Value, kCopyMove},
};

struct Word {
    const wchar_t* text;
    uint32_t value;
};
const Word kOperations[] = {
    {L"copy", kOperationCopy}, {L"move", kOperationMove}, {L"delete", kOperationDelete}, {L"compress", kOperationCompress}};
const Word kPolicies[] = {{L"always", static_cast<uint32_t>(OverwritePolicy::Always)},
                          {L"newer", static_cast<uint32_t>(OverwritePolicy::IfNewer)},
                          {L"never", static_cast<uint32_t>(OverwritePolicy::Never)}};
const Word kArchiveModes[] = {{L"new", static_cast<uint32_t>(ArchiveMode::New)},
                              {L"newer", static_cast<uint32_t>(ArchiveMode::AddNewer)},
                              {L"add", static_cast<uint32_t>(ArchiveMode::Add)}};
const Word kSizeClasses[] = {{L"any", kSizeAny}, {L"small", kSizeSmall}, {L"middle", kSizeMiddle}, {L"large", kSizeLarge}};

constexpr const wchar_t* kDefaultNames = L"*.*";
constexpr const wchar_t* kProgramName = kConsoleProgramName;

std::wstring lowered(std::wstring text)
{
    for (wchar_t& c : text) c = static_cast<wchar_t>(std::towlower(c));
    return text;
}

// One switch "/name:value" taken apart: the name in lower case, whether a
// value was given (a colon), and the value as typed.
struct SwitchParts {
    std::wstring name;
    bool hasValue = false;
    std::wstring value;
};

SwitchParts splitSwitch(const std::wstring& argument)
{
    SwitchParts parts;
    const size_t colon = argument.find(L':');
    parts.name = lowered(argument.substr(1, colon == std::wstring::npos ? std::wstring::npos : colon - 1));
    parts.hasValue = colon != std::wstring::npos;
    if (parts.hasValue) parts.value = argument.substr(colon + 1);
    return parts;
}

std::wstring trimmed(const std::wstring& text)
{
    const size_t first = text.find_first_not_of(L" \t\r\n");
    if (first == std::wstring::npos) return {};
    const size_t last = text.find_last_not_of(L" \t\r\n");
    return text.substr(first, last - first + 1);
}

const KeyInfo* keyInfo(const std::wstring& name)
{
    for (const KeyInfo& key : kKeys) {
        if (name == key.name) return &key;
    }
    return nullptr;
}

template <size_t N>
const Word* findWord(const Word (&words)[N], const std::wstring& text)
{
    const std::wstring wanted = lowered(text);
    for (const Word& word : words) {
        if (wanted == word.text) return &word;
    }
    return nullptr;
}

template <size_t N>
const wchar_t* wordFor(const Word (&words)[N], uint32_t value)
{
    for (const Word& word : words) {
        if (word.value == value) return word.text;
    }
    return words[0].text;
}

// "yes" or "no" of a flag's value; false when it is neither.
bool flagValue(const std::wstring& text, std::wstring& out)
{
    const std::wstring value = lowered(text);
    if (value.empty() || value == L"yes" || value == L"true" || value == L"1") {
        out = L"yes";
        return true;
    }
    if (value == L"no" || value == L"false" || value == L"0") {
        out = L"no";
        return true;
    }
    return false;
}

std::wstring switchName(const std::wstring& key) { return L"/" + key; }

CommandProblem problem(UINT id, std::wstring first = std::wstring(), std::wstring second = std::wstring())
{
    CommandProblem p;
    p.id = id;
    p.first = std::move(first);
    p.second = std::move(second);
    return p;
}

bool readDigits(const std::wstring& text, size_t& at, size_t count, unsigned& value)
{
    value = 0;
    for (size_t i = 0; i < count; ++i, ++at) {
        if (at >= text.size() || text[at] < L'0' || text[at] > L'9') return false;
        value = value * 10 + static_cast<unsigned>(text[at] - L'0');
    }
    return true;
}

bool expect(const std::wstring& text, size_t& at, wchar_t c)
{
    if (at >= text.size() || text[at] != c) return false;
    ++at;
    return true;
}

// The whole seconds of `time` as local calendar time, and the ticks beyond.
bool splitLocal(const FILETIME& time, bool local, SYSTEMTIME& shown, uint64_t& ticks)
{
    const uint64_t value = fileTimeValue(time);
    ticks = value % 10000000ull;
    const FILETIME whole = fileTimeOfValue(value - ticks);
    SYSTEMTIME calendar = {};
    if (!::FileTimeToSystemTime(&whole, &calendar)) return false;
    if (local) {
        shown = calendar;
        return true;
    }
    return ::SystemTimeToTzSpecificLocalTime(nullptr, &calendar, &shown) != 0;
}

std::wstring fractionText(uint64_t ticks)
{
    if (ticks == 0) return {};
    wchar_t digits[16];
    std::swprintf(digits, 16, L".%07llu", static_cast<unsigned long long>(ticks));
    std::wstring text = digits;
    while (text.back() == L'0') text.pop_back();
    return text;
}

// A lone folder of a source list, or a target, without its last backslash
// (a root keeps it): "C:\My Files" reads back in quotes, "C:\My Files\"
// would not.
std::wstring withoutTrailingSeparator(std::wstring path)
{
    if (path.size() > 1 && path.back() == L'\\' && path[path.size() - 2] != L':' && path[path.size() - 2] != L'\\') {
        path.pop_back();
    }
    return path;
}

} // namespace

CommandProblem CommandKeys::set(const std::wstring& key, const std::wstring& value, bool fromJob)
{
    if (values_.count(key) != 0) {
        return fromJob ? problem(IDS_CMD_JOB_KEY_TWICE, key) : problem(IDS_CMD_SWITCH_TWICE, switchName(key));
    }
    values_[key] = value;
    return {};
}

CommandProblem CommandKeys::readArguments(const std::vector<std::wstring>& arguments)
{
    static const wchar_t* const kWords[] = {L"operation", L"source", L"target"};
    size_t words = 0;
    for (const std::wstring& argument : arguments) {
        if (argument.empty() || argument[0] != L'/') {
            if (words >= 3) return problem(IDS_CMD_EXTRA_ARGUMENT, argument);
            if (CommandProblem p = set(kWords[words++], argument, false)) return p;
            continue;
        }
        const SwitchParts parts = splitSwitch(argument);
        const std::wstring& name = parts.name;
        const bool hasValue = parts.hasValue;
        const std::wstring& value = parts.value;
        if (name == L"?" && !hasValue) {
            help_ = true;
            continue;
        }
        if (name == L"job") {
            if (value.empty()) return problem(IDS_CMD_NEEDS_VALUE, L"/job", L"/job:");
            if (!jobFile_.empty()) return problem(IDS_CMD_SWITCH_TWICE, L"/job");
            jobFile_ = value;
            continue;
        }
        const KeyInfo* key = keyInfo(name);
        if (!key || key->kind == KeyKind::Word) return problem(IDS_CMD_UNKNOWN_SWITCH, argument, kProgramName);
        std::wstring stored;
        if (key->kind == KeyKind::Flag) {
            if (!flagValue(value, stored) || (hasValue && value.empty())) {
                return problem(IDS_CMD_FLAG_VALUE, switchName(name), value.empty() ? argument : value);
            }
        } else {
            if (value.empty()) return problem(IDS_CMD_NEEDS_VALUE, switchName(name), switchName(name) + L":");
            stored = value;
        }
        if (CommandProblem p = set(name, stored, false)) return p;
    }
    return {};
}

CommandProblem CommandKeys::readJobText(const std::string& utf8, const std::wstring& name)
{
    std::string bytes = utf8;
    if (bytes.compare(0, 3, "\xEF\xBB\xBF") == 0) bytes.erase(0, 3);
    std::wstring text;
    if (!bytes.empty()) {
        if (bytes.size() > 0x7FFFFFFF) return problem(IDS_CMD_JOB_NOT_UTF8, name);
        const int length = static_cast<int>(bytes.size());
        const int needed = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, nullptr, 0);
        if (needed <= 0) return problem(IDS_CMD_JOB_NOT_UTF8, name);
        text.resize(static_cast<size_t>(needed));
        ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), length, &text[0], needed);
    }
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos) end = text.size();
        const std::wstring line = trimmed(text.substr(start, end - start));
        start = end + 1;
        if (line.empty() || line[0] == L'#' || line[0] == L';') continue;
        const size_t equals = line.find(L'=');
        if (equals == std::wstring::npos) return problem(IDS_CMD_JOB_BAD_LINE, line);
        const std::wstring key = lowered(trimmed(line.substr(0, equals)));
        const std::wstring value = trimmed(line.substr(equals + 1));
        const KeyInfo* info = keyInfo(key);
        if (!info) return problem(IDS_CMD_JOB_UNKNOWN_KEY, key.empty() ? line : key, kProgramName);
        std::wstring stored = value;
        if (info->kind == KeyKind::Flag && !flagValue(value, stored)) {
            return problem(IDS_CMD_FLAG_VALUE, key, value);
        }
        if (info->kind != KeyKind::Flag && value.empty()) return problem(IDS_CMD_NEEDS_VALUE, key, key + L"=");
        if (CommandProblem p = set(key, stored, true)) return p;
    }
    return {};
}

void CommandKeys::overrideWith(const CommandKeys& over)
{
    for (const auto& entry : over.values_) values_[entry.first] = entry.second;
    help_ = help_ || over.help_;
}

const std::wstring* CommandKeys::find(const std::wstring& key) const
{
    const auto found = values_.find(key);
    return found == values_.end() ? nullptr : &found->second;
}

CommandProblem applyCommandKeys(const CommandKeys& keys, FILE_TREE_SETTING& settings, ConsoleOptions& options)
{
    options = ConsoleOptions();
    options.help = keys.helpAsked();

    const std::wstring* operation = keys.find(L"operation");
    if (!operation) return problem(IDS_CMD_NO_OPERATION, kProgramName);
    const Word* kind = findWord(kOperations, *operation);
    if (!kind) return problem(IDS_CMD_UNKNOWN_OPERATION, *operation);
    settings.operation = kind->value;
    const std::wstring operationName = kind->text;

    // Every key given must belong to the operation.
    for (const KeyInfo& key : kKeys) {
        if (key.kind == KeyKind::Word || !keys.find(key.name)) continue;
        if ((key.operations & (1u << kind->value)) == 0) {
            return problem(IDS_CMD_NOT_FOR_OPERATION, switchName(key.name), operationName);
        }
    }
    const auto flag = [&](const wchar_t* name, bool fallback) {
        const std::wstring* value = keys.find(name);
        return value ? *value == L"yes" : fallback;
    };

    const std::wstring* source = keys.find(L"source");
    if (!source || trimmed(*source).empty()) return problem(IDS_CMD_NO_SOURCE);
    if (source->find(L'"') != std::wstring::npos) return problem(IDS_CMD_QUOTE_INSIDE, L"source", *source);
    if (source->size() >= kRunPathCapacity) return problem(IDS_CMD_TOO_LONG, L"source");
    settings.setSources(source->c_str());

    const std::wstring* target = keys.find(L"target");
    if (kind->value == kOperationDelete) {
        if (target) return problem(IDS_CMD_TARGET_FOR_DELETE, *target);
        settings.setTarget(L"");
    } else {
        if (!target || trimmed(*target).empty()) return problem(IDS_CMD_NO_TARGET, operationName);
        if (target->find(L'"') != std::wstring::npos) return problem(IDS_CMD_QUOTE_INSIDE, L"target", *target);
        if (target->size() + 1 >= kRunPathCapacity) return problem(IDS_CMD_TOO_LONG, L"target");
        settings.setTarget(target->c_str());
    }

    const std::wstring* names = keys.find(L"names");
    const std::wstring patterns = names ? trimmed(*names) : kDefaultNames;
    if (patterns.empty()) return problem(IDS_CMD_NEEDS_VALUE, L"/names", L"/names:");
    if (patterns.size() >= kPatternCapacity) return problem(IDS_CMD_TOO_LONG, L"/names");
    settings.setPatterns(patterns.c_str());
    settings.excludePatterns = flag(L"exclude", false) ? 1 : 0;
    settings.includeSubfolders = flag(L"nosub", false) ? 0 : 1;

    // The time range: a compress run keeps local times, the others UTC.
    const bool localRange = kind->value == kOperationCompress;
    const std::wstring* after = keys.find(L"after");
    const std::wstring* before = keys.find(L"before");
    settings.timeMode = (after || before) ? 1 : 0;
    settings.timeFrom = fileTimeOfValue(console::kOpenStart);
    settings.timeTo = fileTimeOfValue(console::kOpenEnd);
    if (after && !console::parseLocalTime(*after, localRange, settings.timeFrom)) {
        return problem(IDS_CMD_BAD_TIME, L"/after", *after);
    }
    if (before && !console::parseLocalTime(*before, localRange, settings.timeTo)) {
        return problem(IDS_CMD_BAD_TIME, L"/before", *before);
    }
    if (after && before && fileTimeValue(settings.timeFrom) >= fileTimeValue(settings.timeTo)) {
        return problem(IDS_CMD_TIME_ORDER, *after, *before);
    }

    SizeFilter size;
    if (const std::wstring* text = keys.find(L"size")) {
        const std::wstring value = lowered(*text);
        if (const Word* sizeClass = findWord(kSizeClasses, value)) {
            size.sizeClass = static_cast<SizeClass>(sizeClass->value);
        } else if (value.compare(0, 4, L"min:") == 0 || value.compare(0, 4, L"max:") == 0) {
            size.sizeClass = kSizeSpecified;
            size.limitIsMaximum = value[1] == L'a';
            const std::wstring digits = value.substr(4);
            unsigned long long limit = 0;
            bool valid = !digits.empty() && digits.size() <= 10;
            for (wchar_t c : digits) {
                if (c < L'0' || c > L'9') valid = false;
                else limit = limit * 10 + static_cast<unsigned>(c - L'0');
            }
            if (!valid || limit > 0xFFFFFFFFull) return problem(IDS_CMD_BAD_VALUE, L"/size", *text);
            size.limitKB = static_cast<uint32_t>(limit);
        } else {
            return problem(IDS_CMD_BAD_VALUE, L"/size", *text);
        }
    }

    settings.protectReadOnly = flag(L"protect", false) ? 1 : 0;
    settings.testOnly = 0;
    settings.cloneTree = 0;
    settings.verifyCopies = 0;
    switch (kind->value) {
    case kOperationCopy:
    case kOperationMove: {
        OverwritePolicy policy = OverwritePolicy::IfNewer;
        if (const std::wstring* text = keys.find(L"overwrite")) {
            const Word* word = findWord(kPolicies, *text);
            if (!word) return problem(IDS_CMD_BAD_VALUE, L"/overwrite", *text);
            policy = static_cast<OverwritePolicy>(word->value);
        }
        settings.setOverwritePolicy(policy);
        settings.cloneTree = flag(L"clone", false) ? 1 : 0;
        // As the dialog proposes: a move verifies its copies, a copy not.
        settings.verifyCopies = flag(L"verify", kind->value == kOperationMove) ? 1 : 0;
        settings.setSizeFilter(size);
        break;
    }
    case kOperationDelete:
        settings.setDeleteToRecycleBin(flag(L"recycle", false));
        settings.testOnly = flag(L"test", false) ? 1 : 0;
        settings.setSizeFilter(size);
        break;
    case kOperationCompress: {
        ArchiveMode mode = ArchiveMode::AddNewer;
        if (const std::wstring* text = keys.find(L"archive")) {
            const Word* word = findWord(kArchiveModes, *text);
            if (!word) return problem(IDS_CMD_BAD_VALUE, L"/archive", *text);
            mode = static_cast<ArchiveMode>(word->value);
        }
        settings.setArchiveMode(mode);
        SelfExtractor extractor;
        extractor.make = flag(L"sfx", false);
        settings.setSelfExtractor(extractor);
        break;
    }
    default: break;
    }

    if (const std::wstring* log = keys.find(L"log")) options.logPath = *log;
    if (const std::wstring* csv = keys.find(L"csv")) options.csvPath = *csv;
    if (const std::wstring* sums = keys.find(L"sums")) {
        // Only a verified copy has a hash: the one its read-back computed.
        if (!settings.verifyCopies) return problem(IDS_CMD_SUMS_NEEDS_VERIFY);
        options.sumsPath = *sums;
    }
    options.quiet = flag(L"quiet", false);
    options.plan = flag(L"plan", false);
    return {};
}

bool isCheckCommand(const std::vector<std::wstring>& arguments)
{
    return !arguments.empty() && lowered(arguments[0]) == L"check";
}

CommandProblem readCheckArguments(const std::vector<std::wstring>& arguments, CheckOptions& options)
{
    options = CheckOptions();
    bool quietGiven = false;
    for (size_t i = 1; i < arguments.size(); ++i) {
        const std::wstring& argument = arguments[i];
        if (argument.empty() || argument[0] != L'/') {
            if (!options.sumsPath.empty()) return problem(IDS_CMD_EXTRA_ARGUMENT, argument);
            options.sumsPath = argument;
            continue;
        }
        const SwitchParts parts = splitSwitch(argument);
        const std::wstring& name = parts.name;
        const bool hasValue = parts.hasValue;
        const std::wstring& value = parts.value;
        if (name == L"?" && !hasValue) {
            options.help = true;
        } else if (name == L"log" || name == L"csv") {
            std::wstring& path = name == L"log" ? options.logPath : options.csvPath;
            if (value.empty()) return problem(IDS_CMD_NEEDS_VALUE, switchName(name), switchName(name) + L":");
            if (!path.empty()) return problem(IDS_CMD_SWITCH_TWICE, switchName(name));
            path = value;
        } else if (name == L"quiet") {
            std::wstring flag;
            if (!flagValue(value, flag) || (hasValue && value.empty())) {
                return problem(IDS_CMD_FLAG_VALUE, switchName(name), value.empty() ? argument : value);
            }
            if (quietGiven) return problem(IDS_CMD_SWITCH_TWICE, switchName(name));
            quietGiven = true;
            options.quiet = flag == L"yes";
        } else {
            return problem(IDS_CMD_UNKNOWN_SWITCH, argument, kProgramName);
        }
    }
    if (options.help) return {};
    if (trimmed(options.sumsPath).empty()) return problem(IDS_CMD_CHECK_NO_FILE, kProgramName);
    if (options.sumsPath.find(L'"') != std::wstring::npos) {
        return problem(IDS_CMD_QUOTE_INSIDE, L"check", options.sumsPath);
    }
    return {};
}

std::vector<std::wstring> consoleArguments(const FILE_TREE_SETTING& settings)
{
    std::vector<std::wstring> arguments;
    const uint32_t kind = settings.kind();
    arguments.push_back(wordFor(kOperations, kind));
    // Paths as a user types them, without the long-path prefix.
    const std::wstring sources = ordinaryFormOf(settings.sources ? settings.sources : L"");
    // A lone folder loses its last backslash; a list keeps its form.
    arguments.push_back(sources.find(L';') == std::wstring::npos ? withoutTrailingSeparator(sources) : sources);
    if (kind != kOperationDelete) {
        arguments.push_back(withoutTrailingSeparator(ordinaryFormOf(settings.target ? settings.target : L"")));
    }

    arguments.push_back(std::wstring(L"/names:") + settings.patterns);
    if (settings.excludePatterns) arguments.push_back(L"/exclude");
    if (!settings.includeSubfolders) arguments.push_back(L"/nosub");
    if (settings.timeMode == 1) {
        const bool local = kind == kOperationCompress;
        if (fileTimeValue(settings.timeFrom) != console::kOpenStart) {
            arguments.push_back(L"/after:" + console::formatLocalTime(settings.timeFrom, local));
        }
        if (fileTimeValue(settings.timeTo) != console::kOpenEnd) {
            arguments.push_back(L"/before:" + console::formatLocalTime(settings.timeTo, local));
        }
    }
    if (kind != kOperationCompress) {
        const SizeFilter size = settings.sizeFilter();
        if (size.sizeClass == kSizeSpecified) {
            arguments.push_back(std::wstring(size.limitIsMaximum ? L"/size:max:" : L"/size:min:") +
                                std::to_wstring(size.limitKB));
        } else if (size.sizeClass != kSizeAny) {
            arguments.push_back(std::wstring(L"/size:") + wordFor(kSizeClasses, size.sizeClass));
        }
        if (settings.protectReadOnly) arguments.push_back(L"/protect");
    }
    switch (kind) {
    case kOperationCopy:
    case kOperationMove:
        arguments.push_back(std::wstring(L"/overwrite:") +
                            wordFor(kPolicies, static_cast<uint32_t>(settings.overwritePolicy())));
        if (settings.cloneTree) arguments.push_back(L"/clone");
        if (kind == kOperationMove && !settings.verifyCopies) arguments.push_back(L"/verify:no");
        if (kind == kOperationCopy && settings.verifyCopies) arguments.push_back(L"/verify");
        break;
    case kOperationDelete:
        if (settings.deleteToRecycleBin()) arguments.push_back(L"/recycle");
        if (settings.testOnly) arguments.push_back(L"/test");
        break;
    case kOperationCompress:
        arguments.push_back(std::wstring(L"/archive:") +
                            wordFor(kArchiveModes, static_cast<uint32_t>(settings.archiveMode())));
        if (settings.selfExtractor().make) arguments.push_back(L"/sfx");
        break;
    default: break;
    }
    return arguments;
}

std::wstring quoteArgument(const std::wstring& argument)
{
    if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring::npos) return argument;
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        // Backslashes before a quote are doubled and the quote escaped;
        // elsewhere they stand as they are.
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\'); // before the closing quote
    quoted += L'"';
    return quoted;
}

std::wstring consoleCommandLine(const FILE_TREE_SETTING& settings)
{
    std::wstring line = kProgramName;
    for (const std::wstring& argument : consoleArguments(settings)) {
        line += L' ';
        line += quoteArgument(argument);
    }
    return line;
}

namespace console {

bool parseLocalTime(const std::wstring& text, bool local, FILETIME& out)
{
    SYSTEMTIME shown = {};
    unsigned year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    size_t at = 0;
    if (!readDigits(text, at, 4, year) || !expect(text, at, L'-') || !readDigits(text, at, 2, month) ||
        !expect(text, at, L'-') || !readDigits(text, at, 2, day)) {
        return false;
    }
    uint64_t ticks = 0;
    if (at < text.size()) {
        if (!expect(text, at, L'T') || !readDigits(text, at, 2, hour) || !expect(text, at, L':') ||
            !readDigits(text, at, 2, minute)) {
            return false;
        }
        if (at < text.size()) {
            if (!expect(text, at, L':') || !readDigits(text, at, 2, second)) return false;
            if (at < text.size()) {
                if (!expect(text, at, L'.')) return false;
                const size_t digits = text.size() - at;
                if (digits == 0 || digits > 7) return false;
                unsigned fraction = 0;
                if (!readDigits(text, at, digits, fraction)) return false;
                ticks = fraction;
                for (size_t i = digits; i < 7; ++i) ticks *= 10;
            }
        }
    }
    static const unsigned kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1601 || month < 1 || month > 12 || hour > 23 || minute > 59 || second > 59) return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    if (day < 1 || day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
    shown.wYear = static_cast<WORD>(year);
    shown.wMonth = static_cast<WORD>(month);
    shown.wDay = static_cast<WORD>(day);
    shown.wHour = static_cast<WORD>(hour);
    shown.wMinute = static_cast<WORD>(minute);
    shown.wSecond = static_cast<WORD>(second);
    SYSTEMTIME universal = shown;
    if (!local && !::TzSpecificLocalTimeToSystemTime(nullptr, &shown, &universal)) return false;
    FILETIME whole = {};
    if (!::SystemTimeToFileTime(&universal, &whole)) return false;
    out = fileTimeOfValue(fileTimeValue(whole) + ticks);
    return true;
}

std::wstring formatLocalTime(const FILETIME& time, bool local)
{
    SYSTEMTIME shown = {};
    uint64_t ticks = 0;
    if (!splitLocal(time, local, shown, ticks)) return {};
    wchar_t text[48];
    if (shown.wHour == 0 && shown.wMinute == 0 && shown.wSecond == 0 && ticks == 0) {
        std::swprintf(text, 48, L"%04u-%02u-%02u", shown.wYear, shown.wMonth, shown.wDay);
    } else if (shown.wSecond == 0 && ticks == 0) {
        std::swprintf(text, 48, L"%04u-%02u-%02uT%02u:%02u", shown.wYear, shown.wMonth, shown.wDay, shown.wHour,
                      shown.wMinute);
    } else {
        std::swprintf(text, 48, L"%04u-%02u-%02uT%02u:%02u:%02u", shown.wYear, shown.wMonth, shown.wDay, shown.wHour,
                      shown.wMinute, shown.wSecond);
    }
    return text + fractionText(ticks);
}

std::wstring formatUtcTime(const FILETIME& time)
{
    SYSTEMTIME shown = {};
    uint64_t ticks = 0;
    if (!splitLocal(time, true, shown, ticks)) return {};
    wchar_t text[48];
    std::swprintf(text, 48, L"%04u-%02u-%02uT%02u:%02u:%02u", shown.wYear, shown.wMonth, shown.wDay, shown.wHour,
                  shown.wMinute, shown.wSecond);
    return text + fractionText(ticks) + L"Z";
}

} // namespace console

} // namespace sorvane
