// Compound files come from disk, where anything may have happened to them. Whatever the bytes,
// opening, walking, reading and changing must not crash; and a file that passes the structural
// check must stay sound through a change and read back exactly as changed.
#include "platform/compoundfile.h"

#include <cstdlib>
#include <map>
#include <set>
#include <string>

using namespace cfb;

namespace {

// Every stream below the root by path, storages with an empty value; bounded.
void collect(CompoundFile& cf, EntryId storage, const std::string& prefix,
             std::map<std::string, std::string>& out, std::set<EntryId>& seen)
{
    if (!seen.insert(storage).second || seen.size() > 500)
        return;
    for (const Element& e : cf.children(storage)) {
        const std::string path = prefix + "/" + e.name;
        if (e.type == ElementType::Storage) {
            out[path + "/"];
            collect(cf, e.id, path, out, seen);
        } else {
            std::string data;
            if (cf.readStream(e.id, &data) == Error::None)
                out[path] = data;
            else
                out[path] = "<unreadable>";
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    Error err;
    auto cf = CompoundFile::openMemory(bytes, CompoundFile::Mode::ReadWrite, &err);
    if (!cf)
        return 0;
    const bool sound = cf->verify().empty();
    std::map<std::string, std::string> before;
    std::set<EntryId> seen;
    collect(*cf, kRootEntry, "", before, seen);

    // A change of every kind: a mini stream, a big one, a storage, a destruction.
    const std::string big(5000 + size % 3000, static_cast<char>(size));
    const Error e1 = cf->writeStream(kRootEntry, "fuzz small", bytes.substr(0, 100));
    const Error e2 = cf->writeStream(kRootEntry, "fuzz big", big);
    EntryId st = 0;
    const Error e3 = cf->createStorage(kRootEntry, "fuzz dir", &st);
    Error e4 = Error::None;
    if (!before.empty())
        e4 = cf->destroy(kRootEntry,
                         before.begin()->first.substr(1, before.begin()->first.find('/', 1) - 1));
    const Error committed = cf->commit();
    if (!sound)
        return 0;
    // A sound file takes every change.
    if (e1 != Error::None || e2 != Error::None || e3 != Error::None || committed != Error::None)
        std::abort();
    if (e4 != Error::None && e4 != Error::NotFound)
        std::abort();
    if (!cf->verify().empty())
        std::abort();
    auto again = CompoundFile::openMemory(cf->bytes(), CompoundFile::Mode::Read, &err);
    if (!again)
        std::abort();
    std::string got;
    if (again->readStream(kRootEntry, "fuzz big", &got) != Error::None || got != big)
        std::abort();
    if (again->readStream(kRootEntry, "fuzz small", &got) != Error::None ||
        got != bytes.substr(0, 100))
        std::abort();
    return 0;
}
