// Thousands of random Add, RemoveAt, Save and Load rounds on two lists that
// share one profile file, each checked against a plain model of the list.
#include <gtest/gtest.h>

#include "dialogs/ItemMngr.h"
#include "TestSupport.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

using namespace sorvane;

namespace {

// The model: a vector of texts with the rules written out plainly.
class Model {
public:
    std::vector<std::wstring> items;

    void add(std::wstring text, bool toFront)
    {
        if (text.size() > 519) text.resize(519);
        const Parts added = split(text);
        for (size_t i = 0; i < items.size(); ++i) {
            const Parts stored = split(items[i]);
            const bool sameLabel = folded(added.label) == folded(stored.label);
            const bool sameValue = folded(added.value) == folded(stored.value);
            const bool bothLabelled = !added.label.empty() && !stored.label.empty();
            if (!sameValue && !(bothLabelled && sameLabel)) continue;
            if (!(sameLabel && sameValue))
                items[i] = (!added.label.empty() || stored.label.empty()) ? text : stored.label + L"|" + added.value;
            if (toFront) std::rotate(items.begin(), items.begin() + static_cast<long>(i), items.begin() + static_cast<long>(i) + 1);
            return;
        }
        if (toFront) {
            items.insert(items.begin(), text);
            if (items.size() > 32) items.pop_back();
        } else if (items.size() < 32) {
            items.push_back(text);
        }
    }

    bool removeAt(int index)
    {
        if (index < 0 || index >= static_cast<int>(items.size())) return false;
        items.erase(items.begin() + index);
        return true;
    }

private:
    struct Parts {
        std::wstring label;
        std::wstring value;
    };
    static std::wstring trimmed(const std::wstring& s)
    {
        const size_t first = s.find_first_not_of(L' ');
        if (first == std::wstring::npos) return {};
        return s.substr(first, s.find_last_not_of(L' ') - first + 1);
    }
    static Parts split(const std::wstring& text)
    {
        const size_t bar = text.find(L'|');
        if (bar == std::wstring::npos) return {L"", trimmed(text)};
        return {trimmed(text.substr(0, bar)), trimmed(text.substr(bar + 1))};
    }
    // The texts below vary case in ASCII letters only.
    static std::wstring folded(std::wstring s)
    {
        for (wchar_t& c : s)
            if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
        return s;
    }
};

std::vector<std::wstring> entries(const CItemMngr& list)
{
    std::vector<std::wstring> result;
    for (int i = 0; i < list.Count(); ++i) result.push_back(list.At(i));
    return result;
}

TEST(ItemMngrProperty, RandomRoundsMatchTheModel)
{
    test::TempFolder folder;
    const std::wstring path = folder / L"Sorvane.ini";
    const wchar_t* sections[2] = {L"Destines", L"Types"};
    CItemMngr lists[2];
    Model models[2];
    std::vector<std::wstring> saved[2]; // what each section holds on disk

    // Few labels and values, in several spellings, so that same entries and
    // full lists come up often; a serial number makes fresh texts.
    const std::vector<std::wstring> labels = {L"", L"", L"Docs", L"docs", L" Music ", L"A", L"Caf\u00e9"};
    const std::vector<std::wstring> values = {L"C:\\Data", L"c:\\DATA", L" D:\\Out ", L"D:\\Out\\a.lzh", L"E:\\x;y",
                                              L"*.txt;*.log", L"[Not a header]", L"k=v", L"", L"  "};
    std::mt19937 random(20240607u);
    auto pick = [&](size_t n) { return static_cast<size_t>(random() % n); };
    int serial = 0;
    auto makeText = [&]() -> std::wstring {
        std::wstring value = pick(2) == 0 ? L"F:\\n" + std::to_wstring(serial++) : values[pick(values.size())];
        const std::wstring& label = labels[pick(labels.size())];
        if (label.empty() && pick(2) == 0) return value;
        return label + L"|" + value;
    };

    int saves = 0, loads = 0, fulls = 0;
    int firstSaved = -1;
    for (int round = 0; round < 6000; ++round) {
        const size_t which = pick(2);
        CItemMngr& list = lists[which];
        Model& model = models[which];
        const size_t action = pick(100);
        if (action < 40) {
            const std::wstring text = makeText();
            list.Add(text.c_str(), true);
            model.add(text, true);
        } else if (action < 70) {
            const std::wstring text = makeText();
            list.Add(text.c_str(), false);
            model.add(text, false);
        } else if (action < 78) {
            const int index = static_cast<int>(pick(36)) - 2;
            ASSERT_EQ(list.RemoveAt(index), model.removeAt(index)) << "round " << round;
        } else if (action < 89) {
            ASSERT_TRUE(list.Save(sections[which], path.c_str())) << "round " << round;
            saved[which] = model.items;
            if (firstSaved < 0) firstSaved = static_cast<int>(which);
            ++saves;
        } else {
            ASSERT_TRUE(list.Load(sections[which], path.c_str())) << "round " << round;
            // Empty texts are not read back.
            model.items.clear();
            for (const auto& text : saved[which])
                if (!text.empty()) model.items.push_back(text);
            ++loads;
        }
        if (model.items.size() == 32) ++fulls;
        ASSERT_EQ(entries(list), model.items) << "round " << round << ", section " << which;
    }
    // The run did reach the cases it is meant to reach.
    EXPECT_GT(saves, 500);
    EXPECT_GT(loads, 500);
    EXPECT_GT(fulls, 100);

    // The two sections stay in the order they were first written, each
    // starting with its count.
    const std::string bytes = test::readBytes(path);
    const size_t first = bytes.find("[Destines]\r\n  Num=");
    const size_t second = bytes.find("[Types]\r\n  Num=");
    ASSERT_NE(first, std::string::npos);
    ASSERT_NE(second, std::string::npos);
    EXPECT_EQ(first < second, firstSaved == 0);
    EXPECT_EQ(bytes.find("[Destines]", first + 1), std::string::npos) << "one header per section";
    EXPECT_EQ(bytes.find("[Types]", second + 1), std::string::npos);
}

} // namespace
