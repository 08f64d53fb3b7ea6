// Compound files from disk: opening, walking, reading and changing must not crash, and a file
// that passes the structural check stays sound through a change and reads back as changed.
#include "fuzzcheck.h"
#include "platform/compoundfile.h"

#include <map>
#include <set>

using namespace cfb;

// Every stream below the root by path, storages with an empty value; bounded.
static void collect(CompoundFile& cf, EntryId storage, const std::string& prefix,
                    std::map<std::string, std::string>& out, std::set<EntryId>& seen)
{
    if (!seen.insert(storage).second || seen.size() > 500)
        return;
    for (const Element& e : cf.children(storage)) {
        const std::string path = prefix + "/" + e.name;
        if (e.type == ElementType::Storage) {
            out[path + "/"];
            collect(cf, e.id, path, out, seen);
        } else if (cf.readStream(e.id, &out[path]) != Error::None) {
            out[path] = "<unreadable>";
        }
    }
}

FUZZ_TARGET
{
    Error err;
    auto cf = CompoundFile::openMemory(bytes, CompoundFile::Mode::ReadWrite, &err);
    if (!cf)
        return;
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
    if (const auto first = before.begin(); first != before.end())
        e4 = cf->destroy(kRootEntry, first->first.substr(1, first->first.find('/', 1) - 1));
    const Error committed = cf->commit();
    if (!sound)
        return;
    // A sound file takes every change.
    FUZZ_CHECK(e1 == Error::None && e2 == Error::None && e3 == Error::None &&
               committed == Error::None);
    FUZZ_CHECK(e4 == Error::None || e4 == Error::NotFound);
    FUZZ_CHECK(cf->verify().empty());
    auto again = CompoundFile::openMemory(cf->bytes(), CompoundFile::Mode::Read, &err);
    FUZZ_CHECK(again != nullptr);
    std::string got;
    FUZZ_CHECK(again->readStream(kRootEntry, "fuzz big", &got) == Error::None && got == big);
    FUZZ_CHECK(again->readStream(kRootEntry, "fuzz small", &got) == Error::None &&
               got == bytes.substr(0, 100));
}
