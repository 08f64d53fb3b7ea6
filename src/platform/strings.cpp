#include "platform/strings.h"

#include <QFile>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <unordered_map>

namespace {

struct Tables
{
    std::unordered_map<UINT, std::string> english;
    std::unordered_map<UINT, std::string> local; // empty for English
    std::string language;
};

std::mutex g_mutex;
std::string g_languageOverride;
std::unique_ptr<Tables> g_tables;

std::unordered_map<UINT, std::string> loadTable(const std::string& language)
{
    std::unordered_map<UINT, std::string> table;
    QFile f(QString::fromStdString(":/strings/" + language + ".tsv"));
    if (!f.open(QIODevice::ReadOnly))
        return table;
    const QByteArray data = f.readAll();
    stringtable::parse(std::string_view(data.constData(), data.size()),
                       [&](UINT id, std::string text) { table[id] = std::move(text); });
    return table;
}

std::string languageFromLocale()
{
    for (const char* var : {"KOLVO_LANG", "LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(var);
        if (!v || !*v)
            continue;
        const std::string s(v);
        if (s.rfind("ja", 0) == 0)
            return "ja";
        if (s.rfind("ko", 0) == 0)
            return "ko";
        // KOLVO_LANG names a table; an unknown one means English. For the locale variables
        // the first one set decides, as the C library does.
        return "en";
    }
    return "en";
}

Tables& tables()
{
    // Caller holds g_mutex.
    const std::string language =
        g_languageOverride.empty() ? languageFromLocale() : g_languageOverride;
    if (!g_tables || g_tables->language != language) {
        auto t = std::make_unique<Tables>();
        t->language = language;
        t->english = loadTable("en");
        if (language != "en")
            t->local = loadTable(language);
        g_tables = std::move(t);
    }
    return *g_tables;
}

} // namespace

namespace stringtable {

bool parseLine(std::string_view line, UINT& id, std::string& text)
{
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    if (line.empty() || line.front() == '#')
        return false;
    const size_t tab = line.find('\t');
    if (tab == 0 || tab == std::string_view::npos || tab > 10)
        return false;
    unsigned long value = 0;
    for (size_t i = 0; i < tab; ++i) {
        if (line[i] < '0' || line[i] > '9')
            return false;
        value = value * 10 + static_cast<unsigned long>(line[i] - '0');
    }
    if (value > 0xFFFFFFFFul)
        return false;
    id = static_cast<UINT>(value);
    text.clear();
    for (size_t i = tab + 1; i < line.size(); ++i) {
        const char c = line[i];
        if (c != '\\' || i + 1 == line.size()) {
            text += c;
            continue;
        }
        switch (line[++i]) {
        case 'n':
            text += '\n';
            break;
        case 'r':
            text += '\r';
            break;
        case 't':
            text += '\t';
            break;
        case '\\':
            text += '\\';
            break;
        default:
            text += '\\';
            text += line[i];
        }
    }
    return true;
}

} // namespace stringtable

std::string interfaceLanguage()
{
    std::lock_guard lock(g_mutex);
    return g_languageOverride.empty() ? languageFromLocale() : g_languageOverride;
}

void setInterfaceLanguage(const std::string& language)
{
    std::lock_guard lock(g_mutex);
    g_languageOverride = language;
}

std::string LoadString(UINT id)
{
    std::lock_guard lock(g_mutex);
    Tables& t = tables();
    if (auto it = t.local.find(id); it != t.local.end())
        return it->second;
    if (auto it = t.english.find(id); it != t.english.end())
        return it->second;
    return {};
}

QString LoadQString(UINT id)
{
    return QString::fromStdString(LoadString(id));
}

std::string formatString(UINT id, const std::string& text)
{
    const std::string f = LoadString(id);
    const int size = std::snprintf(nullptr, 0, f.c_str(), text.c_str());
    std::string out(static_cast<size_t>(std::max(size, 0)), '\0');
    std::snprintf(out.data(), out.size() + 1, f.c_str(), text.c_str());
    return out;
}
