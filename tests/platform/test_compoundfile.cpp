// The compound-file engine: round trips, the tree order, in-place atomic commits, locking,
// damaged input, and agreement with two independent implementations (python3-olefile and
// libgsf) in both directions.

// GLib names a struct field "signals", which Qt's keywords would turn into "public": libgsf
// comes first.
#include <gsf/gsf.h>

#include "platform/compoundfile.h"
#include "platform/compoundfile_io.h"
#include "support/testhome.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>

using namespace cfb;

namespace {

std::string pattern(size_t size, unsigned seed)
{
    std::string s(size, '\0');
    std::mt19937 rng(seed);
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// The file's real I/O, except that once cutAfter(n) has been called only n more writes and
// size changes reach the file: the rest are dropped as if the process had died before them.
class CuttingIo final : public FileIo
{
public:
    void cutAfter(long writes) { m_left = writes; }
    bool readAt(int fd, uint64_t offset, void* out, size_t length) override
    {
        return m_real->readAt(fd, offset, out, length);
    }
    bool writeAt(int fd, uint64_t offset, const void* data, size_t length) override
    {
        return !spend() || m_real->writeAt(fd, offset, data, length);
    }
    bool truncate(int fd, uint64_t size) override { return !spend() || m_real->truncate(fd, size); }
    bool sync(int fd) override { return m_real->sync(fd); }
    // What the engine holds is not what the file holds once writes are dropped.
    bool mayKeepState() const override { return false; }

private:
    // False when the write is to be dropped.
    bool spend()
    {
        if (m_left < 0)
            return true;
        if (m_left == 0)
            return false;
        --m_left;
        return true;
    }
    std::shared_ptr<FileIo> m_real = posixFileIo();
    long m_left = -1;
};

std::string hex(const std::string& bytes)
{
    static const char* digits = "0123456789abcdef";
    std::string out;
    for (unsigned char c : bytes) {
        out += digits[c >> 4];
        out += digits[c & 15];
    }
    return out;
}

// Every element below a storage as "kind TAB path TAB size TAB hex", sorted.
void collect(CompoundFile& cf, EntryId storage, const std::string& prefix,
             std::set<std::string>& out)
{
    for (const Element& e : cf.children(storage)) {
        const std::string path = prefix.empty() ? e.name : prefix + "/" + e.name;
        if (e.type == ElementType::Storage) {
            out.insert("storage\t" + path + "\t0\t");
            collect(cf, e.id, path, out);
        } else {
            std::string data;
            EXPECT_EQ(cf.readStream(e.id, &data), Error::None) << path;
            out.insert("stream\t" + path + "\t" + std::to_string(data.size()) + "\t" + hex(data));
        }
    }
}

std::set<std::string> lines(const std::string& text)
{
    std::set<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        out.insert(line);
    return out;
}

std::string run(const std::string& command, int* status)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        *status = -1;
        return out;
    }
    char buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0)
        out.append(buf, n);
    const int rc = pclose(p);
    *status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    return out;
}

std::set<std::string> olefileView(const std::string& path)
{
    int status = 0;
    const std::string out =
        run("/usr/bin/python3 " KOLVO_SOURCE_DIR "/tests/platform/olefile_peer.py '" + path + "'",
            &status);
    EXPECT_EQ(status, 0) << "olefile refused " << path;
    return lines(out);
}

// libgsf's view of a file, in the same form.
void gsfCollect(GsfInfile* dir, const std::string& prefix, std::set<std::string>& out)
{
    const int n = gsf_infile_num_children(dir);
    for (int i = 0; i < n; ++i) {
        GsfInput* kid = gsf_infile_child_by_index(dir, i);
        const std::string path =
            (prefix.empty() ? "" : prefix + "/") + gsf_infile_name_by_index(dir, i);
        if (GSF_IS_INFILE(kid) && gsf_infile_num_children(GSF_INFILE(kid)) >= 0) {
            out.insert("storage\t" + path + "\t0\t");
            gsfCollect(GSF_INFILE(kid), path, out);
        } else {
            const auto size = static_cast<size_t>(gsf_input_size(kid));
            std::string data(size, '\0');
            if (size > 0)
                gsf_input_read(kid, size, reinterpret_cast<guint8*>(data.data()));
            out.insert("stream\t" + path + "\t" + std::to_string(size) + "\t" + hex(data));
        }
        g_object_unref(kid);
    }
}

std::set<std::string> gsfView(const std::string& path)
{
    std::set<std::string> out;
    GError* err = nullptr;
    GsfInput* input = gsf_input_stdio_new(path.c_str(), &err);
    EXPECT_NE(input, nullptr);
    if (!input)
        return out;
    GsfInfile* ole = gsf_infile_msole_new(input, &err);
    EXPECT_NE(ole, nullptr) << (err ? err->message : "");
    if (ole) {
        gsfCollect(ole, "", out);
        g_object_unref(ole);
    }
    if (err)
        g_error_free(err);
    g_object_unref(input);
    return out;
}

// A tree of storages and streams of every size class, written through our engine.
void fillSample(CompoundFile& cf, std::set<std::string>* expected)
{
    struct Stream
    {
        const char* path;
        size_t size;
    } streams[] = {
        {"Header.INF", 264},
        {"empty", 0},
        {"a", 1},
        {"mini/edge", 4095},
        {"mini/cutoff", 4096},
        {"big/one", 70000},
        {"big/deep/x", 100},
        {"big/deep/y", 513},
        {"Zed", 64},
        {"zee/abcdefghijklmnopqrstuvwxyz12345", 65},
    };
    unsigned seed = 1;
    for (const Stream& s : streams) {
        std::string path = s.path;
        EntryId dir = kRootEntry;
        size_t slash;
        std::string done;
        while ((slash = path.find('/')) != std::string::npos) {
            const std::string part = path.substr(0, slash);
            ASSERT_EQ(cf.openOrCreateStorage(dir, part, &dir), Error::None) << part;
            done += (done.empty() ? "" : "/") + part;
            if (expected)
                expected->insert("storage\t" + done + "\t0\t");
            path = path.substr(slash + 1);
        }
        const std::string data = pattern(s.size, seed++);
        ASSERT_EQ(cf.writeStream(dir, path, data), Error::None) << s.path;
        if (expected)
            expected->insert("stream\t" + std::string(s.path) + "\t" + std::to_string(s.size) +
                             "\t" + hex(data));
    }
}

class CompoundFileTest : public KolvoHomeTest
{
protected:
    std::string path(const std::string& name) const { return homePath(name); }
};

} // namespace

TEST(CompoundFileNames, TreeOrderIsLengthThenCaseInsensitive)
{
    EXPECT_LT(compareNames(u"zz", u"aaa"), 0);
    EXPECT_EQ(compareNames(u"Header.INF", u"header.inf"), 0);
    EXPECT_LT(compareNames(u"abc", u"ABD"), 0);
    EXPECT_GT(compareNames(u"\u00e9a", u"\u00c9A") + 1, 0);
    EXPECT_EQ(compareNames(u"\u00e9", u"\u00c9"), 0) << "upper-casing goes beyond ASCII";

    auto cf = CompoundFile::createMemory();
    for (const char* name : {"bbb", "a", "AAA", "cc", "Ab", "aaaa", "B"})
        ASSERT_EQ(cf->writeStream(kRootEntry, name, "x"), Error::None);
    std::vector<std::string> names;
    for (const Element& e : cf->children(kRootEntry))
        names.push_back(e.name);
    EXPECT_EQ(names, (std::vector<std::string>{"a", "B", "Ab", "cc", "AAA", "bbb", "aaaa"}));
    // The same name in another case is the same element.
    ASSERT_EQ(cf->writeStream(kRootEntry, "CC", "y"), Error::None);
    EXPECT_EQ(cf->children(kRootEntry).size(), 7u);
    std::string data;
    EXPECT_EQ(cf->readStream(kRootEntry, "cc", &data), Error::None);
    EXPECT_EQ(data, "y");
}

TEST(CompoundFileNames, RefusedNames)
{
    auto cf = CompoundFile::createMemory();
    EXPECT_EQ(checkName("Kolvo"), Error::None);
    EXPECT_EQ(checkName(std::string(31, 'x')), Error::None);
    EXPECT_EQ(checkName(std::string(32, 'x')), Error::InvalidName);
    // 31 code units, some of them two bytes of UTF-8 each; a character outside the BMP
    // counts twice.
    EXPECT_EQ(checkName("\xc3\xa9" + std::string(30, 'x')), Error::None);
    EXPECT_EQ(checkName("\xf0\x9f\x8e\xb5" + std::string(30, 'x')), Error::InvalidName);
    for (const char* bad : {"", "a!b", "a:b", "a/b", "a\\b", "caf\xe9"})
        EXPECT_EQ(cf->writeStream(kRootEntry, bad, "x"), Error::InvalidName) << bad;
    EXPECT_TRUE(cf->children(kRootEntry).empty());
}

TEST(CompoundFileMemory, RoundTripOfEverySizeClass)
{
    auto cf = CompoundFile::createMemory();
    std::set<std::string> expected;
    fillSample(*cf, &expected);
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_TRUE(cf->verify().empty()) << cf->verify()[0];

    Error err;
    auto again = CompoundFile::openMemory(cf->bytes(), CompoundFile::Mode::Read, &err);
    ASSERT_NE(again, nullptr) << errorText(err);
    std::set<std::string> seen;
    collect(*again, kRootEntry, "", seen);
    EXPECT_EQ(seen, expected);
    EXPECT_EQ(again->writeStream(kRootEntry, "x", "y"), Error::ReadOnly);
    EXPECT_EQ(again->destroy(kRootEntry, "a"), Error::ReadOnly);

    std::string data;
    EXPECT_EQ(again->readStream(kRootEntry, "missing", &data), Error::NotFound);
    EntryId id;
    EXPECT_EQ(again->openStorage(kRootEntry, "a", &id), Error::WrongType);
    EXPECT_EQ(again->readStream(kRootEntry, "mini", &data), Error::WrongType);
}

TEST(CompoundFileMemory, DestroyTakesEverythingBelowAndFreesItsSpace)
{
    auto cf = CompoundFile::createMemory();
    fillSample(*cf, nullptr);
    ASSERT_EQ(cf->commit(), Error::None);
    const uint64_t full = cf->fileSize();
    ASSERT_EQ(cf->destroy(kRootEntry, "big"), Error::None);
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_TRUE(cf->verify().empty()) << cf->verify()[0];
    EXPECT_FALSE(cf->find(kRootEntry, "big").has_value());
    EXPECT_EQ(cf->destroy(kRootEntry, "big"), Error::NotFound);
    // Its sectors are free again: a stream of nearly that size fits in them (the file only
    // holds a few more sectors for the copies of the directory and FAT sectors a commit makes).
    ASSERT_EQ(cf->writeStream(kRootEntry, "again", pattern(60000, 4)), Error::None);
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_LT(cf->fileSize(), full + 8 * 512);
    // Replacing a storage by a stream and the other way round.
    ASSERT_EQ(cf->writeStream(kRootEntry, "mini", "now a stream"), Error::None);
    EntryId st;
    ASSERT_EQ(cf->createStorage(kRootEntry, "a", &st), Error::None);
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_TRUE(cf->verify().empty()) << cf->verify()[0];
    EXPECT_EQ(cf->find(kRootEntry, "mini")->type, ElementType::Stream);
    EXPECT_EQ(cf->find(kRootEntry, "a")->type, ElementType::Storage);
}

// Random operations against a model, committing and reopening now and then: the trees stay
// ordered and red-black, no sector is lost or shared, and the content is always the model's.
TEST(CompoundFileMemory, RandomOperationsKeepTheStructureSound)
{
    for (unsigned seed = 1; seed <= 6; ++seed) {
        std::mt19937 rng(seed);
        auto cf = CompoundFile::createMemory();
        std::map<std::string, std::string> model; // lower-cased name -> content
        std::map<std::string, std::string> spelled;
        const std::vector<size_t> sizes = {0, 1, 63, 64, 65, 600, 4095, 4096, 4097, 9000};
        for (int op = 0; op < 400; ++op) {
            const std::string name = std::string("s") + std::to_string(rng() % 60);
            const int what = static_cast<int>(rng() % 10);
            if (what < 6) {
                const std::string data = pattern(sizes[rng() % sizes.size()], rng());
                ASSERT_EQ(cf->writeStream(kRootEntry, name, data), Error::None);
                model[name] = data;
            } else if (what < 9) {
                const Error err = cf->destroy(kRootEntry, name);
                ASSERT_EQ(err, model.erase(name) ? Error::None : Error::NotFound);
            } else {
                ASSERT_EQ(cf->commit(), Error::None);
                const auto problems = cf->verify();
                ASSERT_TRUE(problems.empty()) << "seed " << seed << ": " << problems[0];
                Error err;
                cf = CompoundFile::openMemory(cf->bytes(), CompoundFile::Mode::ReadWrite, &err);
                ASSERT_NE(cf, nullptr) << errorText(err);
            }
        }
        ASSERT_EQ(cf->commit(), Error::None);
        const auto problems = cf->verify();
        ASSERT_TRUE(problems.empty()) << problems[0];
        std::vector<std::string> names;
        for (const Element& e : cf->children(kRootEntry)) {
            names.push_back(e.name);
            std::string data;
            ASSERT_EQ(cf->readStream(e.id, &data), Error::None);
            EXPECT_EQ(data, model[e.name]) << e.name;
        }
        EXPECT_EQ(names.size(), model.size());
        std::vector<std::string> sorted = names;
        std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
            return compareNames(*utf8ToUtf16(a), *utf8ToUtf16(b)) < 0;
        });
        EXPECT_EQ(names, sorted);
    }
}

TEST(CompoundFileMemory, ManyStoragesInOneTree)
{
    auto cf = CompoundFile::createMemory();
    for (int i = 0; i < 3000; ++i) {
        EntryId st;
        char key[16];
        std::snprintf(key, sizeof key, "%x", i * 7919);
        ASSERT_EQ(cf->createStorage(kRootEntry, key, &st), Error::None);
        ASSERT_EQ(cf->writeStream(st, "AlbumInfo.inf", std::string("t\x0c") + key), Error::None);
    }
    ASSERT_EQ(cf->commit(), Error::None);
    for (int i = 0; i < 3000; i += 3) {
        char key[16];
        std::snprintf(key, sizeof key, "%x", i * 7919);
        ASSERT_EQ(cf->destroy(kRootEntry, key), Error::None);
    }
    ASSERT_EQ(cf->commit(), Error::None);
    const auto problems = cf->verify();
    ASSERT_TRUE(problems.empty()) << problems[0];
    EXPECT_EQ(cf->children(kRootEntry).size(), 2000u);
    std::string data;
    EXPECT_EQ(cf->readStream(cf->find(kRootEntry, "1eef")->id, &data), Error::WrongType);
    EntryId st;
    ASSERT_EQ(cf->openStorage(kRootEntry, "3dde", &st), Error::None); // 2 * 7919
    EXPECT_EQ(cf->readStream(st, "AlbumInfo.inf", &data), Error::None);
    EXPECT_EQ(data, "t\x0c"
                    "3dde");
}

TEST_F(CompoundFileTest, SecondOpenerFailsWhileTheFirstHoldsTheFile)
{
    Error err;
    auto first = CompoundFile::create(path("db.sdb"), &err);
    ASSERT_NE(first, nullptr) << errorText(err);
    EXPECT_EQ(CompoundFile::open(path("db.sdb"), CompoundFile::Mode::Read, &err), nullptr);
    EXPECT_EQ(err, Error::Locked);
    EXPECT_EQ(CompoundFile::create(path("db.sdb"), &err), nullptr);
    EXPECT_EQ(err, Error::Locked);
    ASSERT_EQ(first->writeStream(kRootEntry, "kept", "yes"), Error::None);
    first.reset();
    auto second = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::ReadWrite, &err);
    ASSERT_NE(second, nullptr) << errorText(err);
    std::string data;
    EXPECT_EQ(second->readStream(kRootEntry, "kept", &data), Error::None);
    EXPECT_EQ(data, "yes") << "closing commits what was written";

    EXPECT_EQ(CompoundFile::open(path("none.sdb"), CompoundFile::Mode::Read, &err), nullptr);
    EXPECT_EQ(err, Error::NotFound);
    EXPECT_EQ(CompoundFile::open(home(), CompoundFile::Mode::Read, &err), nullptr);
    EXPECT_EQ(err, Error::AccessDenied);
    writeFile("text.sdb", std::string(2000, 'x'));
    EXPECT_EQ(CompoundFile::open(path("text.sdb"), CompoundFile::Mode::Read, &err), nullptr);
    EXPECT_EQ(err, Error::NotCompoundFile);
}

// A small change rewrites a few sectors, leaves the others byte for byte, and the file does
// not grow when the same streams are saved again and again.
TEST_F(CompoundFileTest, UpdatesInPlace)
{
    Error err;
    {
        auto cf = CompoundFile::create(path("db.sdb"), &err);
        ASSERT_NE(cf, nullptr);
        for (int i = 0; i < 400; ++i) {
            EntryId st;
            ASSERT_EQ(cf->createStorage(kRootEntry, "album" + std::to_string(i), &st), Error::None);
            ASSERT_EQ(cf->writeStream(st, "AlbumInfo.inf", pattern(120, i)), Error::None);
            ASSERT_EQ(cf->writeStream(st, "TrackInfo.inf", pattern(700, i + 1000)), Error::None);
        }
    }
    const std::string before = readFile(path("db.sdb"));
    uint64_t written = 0;
    {
        auto cf = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::ReadWrite, &err);
        ASSERT_NE(cf, nullptr);
        EntryId st;
        ASSERT_EQ(cf->openStorage(kRootEntry, "album77", &st), Error::None);
        ASSERT_EQ(cf->writeStream(st, "AlbumInfo.inf", pattern(130, 5)), Error::None);
        ASSERT_EQ(cf->writeStream(st, "TrackInfo.inf", pattern(650, 6)), Error::None);
        ASSERT_EQ(cf->commit(), Error::None);
        written = cf->bytesWritten();
        EXPECT_TRUE(cf->verify().empty()) << cf->verify()[0];
    }
    const std::string after = readFile(path("db.sdb"));
    EXPECT_LT(written, 16u * 512) << "a save of two small streams writes a few sectors";
    size_t changedSectors = 0;
    for (size_t off = 0; off < std::min(before.size(), after.size()); off += 512)
        changedSectors += before.compare(off, 512, after, off, 512) != 0;
    EXPECT_LE(changedSectors, 16u);
    EXPECT_GT(before.size(), 300u * 512);

    // Saving over and over reuses freed sectors.
    auto cf = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::ReadWrite, &err);
    ASSERT_NE(cf, nullptr);
    for (int round = 0; round < 500; ++round) {
        EntryId st;
        ASSERT_EQ(cf->openStorage(kRootEntry, "album" + std::to_string(round % 400), &st),
                  Error::None);
        ASSERT_EQ(cf->writeStream(st, "TrackInfo.inf", pattern(600 + round % 200, round)),
                  Error::None);
        ASSERT_EQ(cf->commit(), Error::None);
    }
    EXPECT_TRUE(cf->verify().empty()) << cf->verify()[0];
    EXPECT_LT(cf->fileSize(), before.size() * 11 / 10);
}

// Between operations the state of a file is kept in memory; a file changed since, whether by a
// whole new header or by bytes changed in place under the same header, is read afresh.
TEST_F(CompoundFileTest, AFileChangedBetweenOpensIsReadAfresh)
{
    Error err;
    {
        auto cf = CompoundFile::create(path("db.sdb"), &err);
        ASSERT_EQ(cf->writeStream(kRootEntry, "album", "first"), Error::None);
    }
    std::string data;
    {
        auto cf = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::Read, &err);
        ASSERT_EQ(cf->readStream(kRootEntry, "album", &data), Error::None);
        EXPECT_EQ(data, "first");
    }
    // Another writer makes a new file in its place.
    auto other = CompoundFile::createMemory();
    ASSERT_EQ(other->writeStream(kRootEntry, "other", "second"), Error::None);
    ASSERT_EQ(other->commit(), Error::None);
    writeFile("db.sdb", other->bytes());
    {
        auto cf = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::ReadWrite, &err);
        ASSERT_NE(cf, nullptr);
        EXPECT_FALSE(cf->find(kRootEntry, "album"));
        ASSERT_EQ(cf->readStream(kRootEntry, "other", &data), Error::None);
        EXPECT_EQ(data, "second");
        ASSERT_EQ(cf->writeStream(kRootEntry, "third", "3"), Error::None);
    }
    // A writer that changes a directory entry in place, header untouched: the file's times
    // tell.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string bytes = readFile(path("db.sdb"));
    const size_t at = bytes.find(std::string("o\0t\0h\0e\0r\0", 10));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'a'; // "ather" still sorts before "third"
    writeFile("db.sdb", bytes);
    auto cf = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::Read, &err);
    ASSERT_NE(cf, nullptr);
    EXPECT_TRUE(cf->find(kRootEntry, "ather"));
    EXPECT_TRUE(cf->find(kRootEntry, "third"));
}

// Every write of a commit may be the last one that reaches the file: whatever prefix of them
// landed, the file opens and holds the old state or the new one, and is sound.
TEST_F(CompoundFileTest, ACommitCutShortLeavesTheOldOrTheNewState)
{
    Error err;
    {
        auto cf = CompoundFile::create(path("base.sdb"), &err);
        ASSERT_NE(cf, nullptr);
        fillSample(*cf, nullptr);
    }
    const std::string base = readFile(path("base.sdb"));
    std::set<std::string> oldState, newState;
    {
        auto cf = CompoundFile::openMemory(base, CompoundFile::Mode::ReadWrite, &err);
        collect(*cf, kRootEntry, "", oldState);
    }
    auto change = [](CompoundFile& cf) {
        EntryId st;
        ASSERT_EQ(cf.openOrCreateStorage(kRootEntry, "mini", &st), Error::None);
        ASSERT_EQ(cf.writeStream(st, "edge", pattern(300, 99)), Error::None);
        ASSERT_EQ(cf.writeStream(st, "new", pattern(5000, 98)), Error::None);
        ASSERT_EQ(cf.destroy(kRootEntry, "a"), Error::None);
        for (int i = 0; i < 40; ++i) {
            EntryId s;
            ASSERT_EQ(cf.createStorage(kRootEntry, std::string("k") + std::to_string(i), &s),
                      Error::None);
        }
    };
    {
        auto cf = CompoundFile::openMemory(base, CompoundFile::Mode::ReadWrite, &err);
        change(*cf);
        ASSERT_EQ(cf->commit(), Error::None);
        collect(*cf, kRootEntry, "", newState);
    }
    ASSERT_NE(oldState, newState);
    int sawOld = 0, sawNew = 0;
    for (long budget = 0;; ++budget) {
        writeFile("db.sdb", base);
        const auto io = std::make_shared<CuttingIo>();
        auto cf = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::ReadWrite, &err, io);
        ASSERT_NE(cf, nullptr);
        change(*cf);
        io->cutAfter(budget);
        cf->commit();
        cf.reset();
        auto check = CompoundFile::open(path("db.sdb"), CompoundFile::Mode::Read, &err);
        ASSERT_NE(check, nullptr) << "after " << budget << " writes: " << errorText(err);
        const auto problems = check->verify();
        ASSERT_TRUE(problems.empty()) << "after " << budget << " writes: " << problems[0];
        std::set<std::string> seen;
        collect(*check, kRootEntry, "", seen);
        if (seen == newState) {
            ++sawNew;
            break;
        }
        ASSERT_EQ(seen, oldState) << "after " << budget << " writes";
        ++sawOld;
    }
    EXPECT_GT(sawOld, 5) << "the commit is made of several writes";
    EXPECT_EQ(sawNew, 1);
}

TEST_F(CompoundFileTest, LargeFilesUseTheDifat)
{
    Error err;
    std::set<std::string> expected;
    {
        auto cf = CompoundFile::create(path("big.sdb"), &err);
        ASSERT_NE(cf, nullptr);
        // 110 FAT sectors address 110 * 128 sectors: more than the header's 109 slots hold.
        const std::string data = pattern(110 * 128 * 512, 7);
        ASSERT_EQ(cf->writeStream(kRootEntry, "huge", data), Error::None);
        ASSERT_EQ(cf->writeStream(kRootEntry, "small", "after the huge one"), Error::None);
        expected.insert("stream\thuge\t" + std::to_string(data.size()) + "\t" + hex(data));
        expected.insert("stream\tsmall\t18\t" + hex("after the huge one"));
        ASSERT_EQ(cf->commit(), Error::None);
        EXPECT_TRUE(cf->verify().empty()) << cf->verify()[0];
    }
    EXPECT_EQ(olefileView(path("big.sdb")), expected);
    EXPECT_EQ(gsfView(path("big.sdb")), expected);
    {
        // Shrinking it back again.
        auto cf = CompoundFile::open(path("big.sdb"), CompoundFile::Mode::ReadWrite, &err);
        ASSERT_NE(cf, nullptr);
        ASSERT_EQ(cf->writeStream(kRootEntry, "huge", "tiny now"), Error::None);
        ASSERT_EQ(cf->commit(), Error::None);
        EXPECT_TRUE(cf->verify().empty()) << cf->verify()[0];
    }
    expected.clear();
    expected.insert("stream\thuge\t8\t" + hex("tiny now"));
    expected.insert("stream\tsmall\t18\t" + hex("after the huge one"));
    EXPECT_EQ(olefileView(path("big.sdb")), expected);
}

TEST_F(CompoundFileTest, OurFilesReadInOlefileAndLibgsf)
{
    Error err;
    std::set<std::string> expected;
    {
        auto cf = CompoundFile::create(path("ours.sdb"), &err);
        ASSERT_NE(cf, nullptr);
        fillSample(*cf, &expected);
        for (int i = 0; i < 200; ++i) {
            EntryId st;
            const std::string key = std::to_string(i * 31);
            ASSERT_EQ(cf->createStorage(kRootEntry, key, &st), Error::None);
            ASSERT_EQ(cf->writeStream(st, "AlbumInfo.inf", pattern(i, i)), Error::None);
            expected.insert("storage\t" + key + "\t0\t");
            expected.insert("stream\t" + key + "/AlbumInfo.inf\t" + std::to_string(i) + "\t" +
                            hex(pattern(i, i)));
        }
        // Updates in place must read as well as fresh files.
        for (int i = 0; i < 200; i += 7) {
            ASSERT_EQ(cf->commit(), Error::None);
            const std::string key = std::to_string(i * 31);
            ASSERT_EQ(cf->destroy(kRootEntry, key), Error::None);
            expected.erase("storage\t" + key + "\t0\t");
            expected.erase("stream\t" + key + "/AlbumInfo.inf\t" + std::to_string(i) + "\t" +
                           hex(pattern(i, i)));
        }
    }
    EXPECT_EQ(olefileView(path("ours.sdb")), expected);
    EXPECT_EQ(gsfView(path("ours.sdb")), expected);
}

TEST_F(CompoundFileTest, LibgsfFilesReadInOurs)
{
    GError* gerr = nullptr;
    GsfOutput* out = gsf_output_stdio_new(path("gsf.ole").c_str(), &gerr);
    ASSERT_NE(out, nullptr);
    GsfOutfile* ole = gsf_outfile_msole_new(out);
    std::set<std::string> expected;
    auto put = [&](GsfOutfile* dir, const std::string& prefix, const std::string& name,
                   const std::string& data) {
        GsfOutput* s = gsf_outfile_new_child(dir, name.c_str(), FALSE);
        gsf_output_write(s, data.size(), reinterpret_cast<const guint8*>(data.data()));
        gsf_output_close(s);
        g_object_unref(s);
        const std::string full = prefix.empty() ? name : prefix + "/" + name;
        expected.insert("stream\t" + full + "\t" + std::to_string(data.size()) + "\t" + hex(data));
    };
    put(ole, "", "Header.INF", pattern(264, 1));
    put(ole, "", "big", pattern(9000, 2));
    for (int i = 0; i < 30; ++i) {
        const std::string key = "album" + std::to_string(i);
        GsfOutfile* st = GSF_OUTFILE(gsf_outfile_new_child(ole, key.c_str(), TRUE));
        expected.insert("storage\t" + key + "\t0\t");
        put(st, key, "AlbumInfo.inf", pattern(20 + i, 3 + i));
        put(st, key, "TrackInfo.inf", pattern(4000 + i * 10, 50 + i));
        gsf_output_close(GSF_OUTPUT(st));
        g_object_unref(st);
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    g_object_unref(out);

    Error err;
    {
        auto cf = CompoundFile::open(path("gsf.ole"), CompoundFile::Mode::Read, &err);
        ASSERT_NE(cf, nullptr) << errorText(err);
        std::set<std::string> seen;
        collect(*cf, kRootEntry, "", seen);
        EXPECT_EQ(seen, expected);
        // libgsf hangs siblings in one ordered chain; lookups still find every one.
        std::string data;
        EXPECT_EQ(cf->readStream(kRootEntry, "Header.INF", &data), Error::None);
        EXPECT_EQ(data, pattern(264, 1));
        EntryId st;
        EXPECT_EQ(cf->openStorage(kRootEntry, "album17", &st), Error::None);
    }
    {
        // And we can change it: its trees become red-black on the way.
        auto cf = CompoundFile::open(path("gsf.ole"), CompoundFile::Mode::ReadWrite, &err);
        ASSERT_NE(cf, nullptr);
        ASSERT_EQ(cf->destroy(kRootEntry, "album3"), Error::None);
        EntryId st;
        ASSERT_EQ(cf->createStorage(kRootEntry, "added", &st), Error::None);
        ASSERT_EQ(cf->writeStream(st, "s", "new"), Error::None);
        ASSERT_EQ(cf->commit(), Error::None);
    }
    std::erase_if(expected, [](const std::string& line) {
        return line.find("\talbum3\t") != std::string::npos ||
               line.find("\talbum3/") != std::string::npos;
    });
    expected.insert("storage\tadded\t0\t");
    expected.insert("stream\tadded/s\t3\t" + hex("new"));
    EXPECT_EQ(gsfView(path("gsf.ole")), expected);
    EXPECT_EQ(olefileView(path("gsf.ole")), expected);
}

// Files with 4096-byte sectors (version 4), as libgsf can write them, read and change as well.
TEST_F(CompoundFileTest, LargeSectorFilesReadAndChange)
{
    GError* gerr = nullptr;
    GsfOutput* out = gsf_output_stdio_new(path("v4.ole").c_str(), &gerr);
    ASSERT_NE(out, nullptr);
    GsfOutfile* ole = gsf_outfile_msole_new_full(out, 4096, 64);
    std::set<std::string> expected;
    for (int i = 0; i < 12; ++i) {
        std::string name = "s";
        name += std::to_string(i);
        const std::string data = pattern(i % 2 ? 100 * i : 5000 + i, 90 + i);
        GsfOutput* child = gsf_outfile_new_child(ole, name.c_str(), FALSE);
        gsf_output_write(child, data.size(), reinterpret_cast<const guint8*>(data.data()));
        gsf_output_close(child);
        g_object_unref(child);
        expected.insert("stream\t" + name + "\t" + std::to_string(data.size()) + "\t" + hex(data));
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    g_object_unref(out);

    Error err;
    {
        auto cf = CompoundFile::open(path("v4.ole"), CompoundFile::Mode::ReadWrite, &err);
        ASSERT_NE(cf, nullptr) << errorText(err);
        std::set<std::string> seen;
        collect(*cf, kRootEntry, "", seen);
        EXPECT_EQ(seen, expected);
        ASSERT_EQ(cf->writeStream(kRootEntry, "added", pattern(7000, 1)), Error::None);
        ASSERT_EQ(cf->writeStream(kRootEntry, "s1", "short now"), Error::None);
        ASSERT_EQ(cf->commit(), Error::None);
    }
    std::erase_if(expected,
                  [](const std::string& line) { return line.rfind("stream\ts1\t", 0) == 0; });
    expected.insert("stream\ts1\t9\t" + hex("short now"));
    expected.insert("stream\tadded\t7000\t" + hex(pattern(7000, 1)));
    EXPECT_EQ(gsfView(path("v4.ole")), expected);
    EXPECT_EQ(olefileView(path("v4.ole")), expected);
}

// Damaged files: every truncation and many single-byte changes of a real file open or fail
// with an error, and whatever opens can be walked without a crash.
TEST(CompoundFileDamage, TruncatedAndAlteredFilesFailCleanly)
{
    auto cf = CompoundFile::createMemory();
    fillSample(*cf, nullptr);
    ASSERT_EQ(cf->commit(), Error::None);
    const std::string good = cf->bytes();
    auto walk = [](const std::string& bytes) {
        Error err;
        auto f = CompoundFile::openMemory(bytes, CompoundFile::Mode::ReadWrite, &err);
        if (!f)
            return err;
        std::vector<EntryId> pending{kRootEntry};
        std::set<EntryId> seen;
        while (!pending.empty() && seen.size() < 1000) {
            const EntryId st = pending.back();
            pending.pop_back();
            if (!seen.insert(st).second)
                continue;
            for (const Element& e : f->children(st)) {
                std::string data;
                if (e.type == ElementType::Stream)
                    f->readStream(e.id, &data);
                else
                    pending.push_back(e.id);
            }
        }
        f->writeStream(kRootEntry, "more", std::string(5000, 'm'));
        f->destroy(kRootEntry, "a");
        f->commit();
        return Error::None;
    };
    int refused = 0;
    for (size_t size = 0; size < good.size(); size += 97)
        refused += walk(good.substr(0, size)) != Error::None;
    EXPECT_GT(refused, 0);
    std::mt19937 rng(3);
    for (int i = 0; i < 3000; ++i) {
        std::string bad = good;
        const int hits = 1 + static_cast<int>(rng() % 4);
        for (int k = 0; k < hits; ++k)
            bad[rng() % std::min<size_t>(bad.size(), 4096)] = static_cast<char>(rng());
        walk(bad);
    }
    // The header's own checks.
    std::string noSig = good;
    noSig[0] = 0;
    EXPECT_EQ(walk(noSig), Error::NotCompoundFile);
    std::string badShift = good;
    badShift[30] = 10;
    EXPECT_EQ(walk(badShift), Error::NotCompoundFile);
    std::string fatLoop = good;
    fatLoop[44] = static_cast<char>(0xff); // more FAT sectors than the file has
    EXPECT_EQ(walk(fatLoop), Error::Corrupt);
}
