#include "platform/strings.h"

#include <gtest/gtest.h>

#include <QFile>

#include <map>
#include <regex>

namespace {

std::map<UINT, std::string> table(const char* language)
{
    std::map<UINT, std::string> t;
    QFile f(QStringLiteral(":/strings/%1.tsv").arg(QLatin1String(language)));
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << language;
    const QByteArray data = f.readAll();
    stringtable::parse(std::string_view(data.constData(), data.size()),
                       [&](UINT id, std::string text) {
                           EXPECT_TRUE(t.emplace(id, std::move(text)).second)
                               << language << " has id " << id << " twice";
                       });
    return t;
}

std::vector<std::string> formatSpecifiers(const std::string& s)
{
    static const std::regex spec(R"(%[-+ #0]*[0-9]*(\.[0-9]+)?(l|ll|h)?[diouxXeEfgGcsp%])");
    std::vector<std::string> out;
    for (auto it = std::sregex_iterator(s.begin(), s.end(), spec); it != std::sregex_iterator();
         ++it)
        out.push_back(it->str());
    return out;
}

struct LanguageGuard
{
    explicit LanguageGuard(const char* language) { setInterfaceLanguage(language); }
    ~LanguageGuard() { setInterfaceLanguage(""); }
};

} // namespace

TEST(StringTable, LinesDecodeWithTheirEscapes)
{
    UINT id = 0;
    std::string text;
    ASSERT_TRUE(stringtable::parseLine("2042\tKolvo ", id, text));
    EXPECT_EQ(id, 2042u);
    EXPECT_EQ(text, "Kolvo ") << "trailing blanks are part of the text";
    ASSERT_TRUE(stringtable::parseLine("1152\tnot entered.\\n(You can)\\tx\\\\n\r", id, text));
    EXPECT_EQ(text, "not entered.\n(You can)\tx\\n");
    ASSERT_TRUE(stringtable::parseLine("5\ttrailing backslash\\", id, text));
    EXPECT_EQ(text, "trailing backslash\\");
    for (const char* line : {"# comment\twith tab", "", "12a\ttext", "\ttext", "99999999999\ttext"})
        EXPECT_FALSE(stringtable::parseLine(line, id, text)) << line;
}

TEST(StringTable, EveryLanguageHasEveryIdWithTheSameFormat)
{
    const auto en = table("en");
    ASSERT_GT(en.size(), 200u);
    for (const char* language : {"ja", "ko"}) {
        const auto other = table(language);
        for (const auto& [id, text] : en) {
            auto it = other.find(id);
            ASSERT_NE(it, other.end()) << language << " lacks id " << id;
            EXPECT_EQ(formatSpecifiers(it->second), formatSpecifiers(text))
                << language << " id " << id << ": a printf format that differs would crash";
            EXPECT_FALSE(it->second.empty()) << language << " id " << id;
        }
        EXPECT_EQ(other.size(), en.size()) << language << " has ids English lacks";
    }
}

TEST(StringTable, TheNamesThatPlaceThingsAreFixed)
{
    LanguageGuard guard("en");
    const std::pair<UINT, const char*> texts[] = {
        {2042, "Kolvo "},     {1016, "Quorvane System, Inc."},
        {57344, "Kolvo"},     {1000, "GoldEn.uib"},
        {1061, "Arial"},      {3000, "[Original Color]"},
        {5171, "Exit Kolvo"}, {4000000000u, ""}}; // an unknown id has no text
    for (const auto& [id, text] : texts)
        EXPECT_EQ(LoadString(id), text) << id;
}

TEST(StringTable, TheInterfaceLanguagePicksTheTable)
{
    {
        LanguageGuard guard("ko");
        EXPECT_EQ(LoadString(1000), "GoldKr.uib");
        EXPECT_EQ(LoadString(1016), "Quorvane System, Inc.") << "the settings stay where they are";
        EXPECT_NE(LoadString(5171), "Exit Kolvo");
    }
    {
        LanguageGuard guard("ja");
        EXPECT_EQ(LoadString(1000), "GoldEn.uib");
        EXPECT_NE(LoadString(5802), LoadString(0)); // has a text
        EXPECT_NE(LoadString(5802), "CD Player");
    }
    unsetenv("LC_ALL");
    unsetenv("LC_MESSAGES");
    setenv("LANG", "ko_KR.UTF-8", 1);
    setenv("KOLVO_LANG", "en", 1);
    EXPECT_EQ(interfaceLanguage(), "en") << "KOLVO_LANG overrides the locale";
    unsetenv("KOLVO_LANG");
    EXPECT_EQ(interfaceLanguage(), "ko");
    setenv("LC_ALL", "ja_JP.UTF-8", 1);
    EXPECT_EQ(interfaceLanguage(), "ja") << "LC_ALL comes before LANG";
    setenv("LC_ALL", "C", 1);
    EXPECT_EQ(interfaceLanguage(), "en");
    unsetenv("LC_ALL");
    unsetenv("LANG");
}
