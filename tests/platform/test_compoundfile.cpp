// The compound-file engine: round trips, the tree order, in-place atomic commits, locking,
// damaged input, and agreement with two independent implementations (python3-olefile and
// libgsf) in both directions.

// GLib names a struct field "signals", which Qt's keywords would turn into "public": libgsf
// comes first.
#include <gsf/gsf.h>

#include "platform/compoundfile.h"
#include "platform/compoundfile_io.h"
#include "support/clirun.h"

#include <gtest/gtest.h>

#include <QByteArray>

#include <map>
#include <random>
#include <set>
#include <sstream>
#include <thread>
#include <tuple>

using namespace cfb;

namespace {

using Lines = std::set<std::string>;                // a file's elements, one line each
using Streams = std::map<std::string, std::string>; // content by path
const std::vector<std::string> kSound;              // what verify() finds in a sound file

std::string pattern(size_t size, unsigned seed)
{
    std::string s(size, '\0');
    std::mt19937 rng(seed);
    for (char& c : s)
        c = static_cast<char>(rng());
    return s;
}

// An element as olefile_peer.py prints it: kind TAB path TAB size TAB content in hex.
std::string streamLine(const std::string& path, const std::string& data)
{
    return "stream\t" + path + "\t" + std::to_string(data.size()) + "\t" +
           QByteArray::fromStdString(data).toHex().toStdString();
}

std::string storageLine(const std::string& path)
{
    return "storage\t" + path + "\t0\t";
}

Lines linesOf(const Streams& streams)
{
    Lines out;
    for (const auto& [path, data] : streams) {
        out.insert(streamLine(path, data));
        for (size_t at = path.find('/'); at != std::string::npos; at = path.find('/', at + 1))
            out.insert(storageLine(path.substr(0, at)));
    }
    return out;
}

// A tree of storages and streams of every size class.
Streams sample()
{
    const std::pair<const char*, size_t> sizes[] = {
        {"Header.INF", 264}, {"empty", 0},          {"a", 1},
        {"mini/edge", 4095}, {"mini/cutoff", 4096}, {"big/one", 70000},
        {"big/deep/x", 100}, {"big/deep/y", 513},   {"Zed", 64}};
    Streams s{{"zee/abcdefghijklmnopqrstuvwxyz12345", pattern(65, 10)}}; // the longest name
    unsigned seed = 1;
    for (const auto& [path, size] : sizes)
        s[path] = pattern(size, seed++);
    return s;
}

// Writes the streams through our engine, storages made on the way.
void write(CompoundFile& cf, const Streams& streams)
{
    for (const auto& [path, data] : streams) {
        EntryId dir = kRootEntry;
        size_t from = 0;
        for (size_t at; (at = path.find('/', from)) != std::string::npos; from = at + 1)
            ASSERT_EQ(cf.openOrCreateStorage(dir, path.substr(from, at - from), &dir), Error::None);
        ASSERT_EQ(cf.writeStream(dir, path.substr(from), data), Error::None) << path;
    }
}

Lines ourView(CompoundFile& cf, EntryId storage = kRootEntry, const std::string& prefix = "")
{
    Lines out;
    for (const Element& e : cf.children(storage)) {
        const std::string path = prefix.empty() ? e.name : prefix + "/" + e.name;
        std::string data;
        if (e.type == ElementType::Storage) {
            out.insert(storageLine(path));
            out.merge(ourView(cf, e.id, path));
        } else {
            EXPECT_EQ(cf.readStream(e.id, &data), Error::None) << path;
            out.insert(streamLine(path, data));
        }
    }
    return out;
}

Lines olefileView(const std::string& path)
{
    const ProcessResult r =
        runProgram(QStringLiteral("/usr/bin/python3"),
                   {QStringLiteral(KOLVO_SOURCE_DIR "/tests/platform/olefile_peer.py"),
                    QString::fromStdString(path)},
                   120000);
    EXPECT_EQ(r.code, 0) << "olefile refused " << path << ": " << r.err;
    Lines out;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);)
        out.insert(line);
    return out;
}

void gsfCollect(GsfInfile* dir, const std::string& prefix, Lines& out)
{
    for (int i = 0; i < gsf_infile_num_children(dir); ++i) {
        GsfInput* kid = gsf_infile_child_by_index(dir, i);
        const std::string path =
            (prefix.empty() ? "" : prefix + "/") + gsf_infile_name_by_index(dir, i);
        if (GSF_IS_INFILE(kid) && gsf_infile_num_children(GSF_INFILE(kid)) >= 0) {
            out.insert(storageLine(path));
            gsfCollect(GSF_INFILE(kid), path, out);
        } else {
            std::string data(static_cast<size_t>(gsf_input_size(kid)), '\0');
            if (!data.empty())
                gsf_input_read(kid, data.size(), reinterpret_cast<guint8*>(data.data()));
            out.insert(streamLine(path, data));
        }
        g_object_unref(kid);
    }
}

Lines gsfView(const std::string& path)
{
    Lines out;
    GError* err = nullptr;
    GsfInput* input = gsf_input_stdio_new(path.c_str(), &err);
    GsfInfile* ole = input ? gsf_infile_msole_new(input, &err) : nullptr;
    EXPECT_NE(ole, nullptr) << (err ? err->message : "");
    if (ole) {
        gsfCollect(ole, "", out);
        g_object_unref(ole);
    }
    if (err)
        g_error_free(err);
    if (input)
        g_object_unref(input);
    return out;
}

// Writes the streams (storages one level deep) through libgsf, with sectors of that size.
void gsfWrite(const std::string& path, const Streams& streams, int sectorSize = 512)
{
    GsfOutput* out = gsf_output_stdio_new(path.c_str(), nullptr);
    ASSERT_NE(out, nullptr);
    GsfOutfile* ole = gsf_outfile_msole_new_full(out, sectorSize, 64);
    std::map<std::string, GsfOutfile*> storages;
    for (const auto& [name, data] : streams) {
        const size_t slash = name.find('/');
        GsfOutfile* dir = ole;
        if (slash != std::string::npos) {
            GsfOutfile*& storage = storages[name.substr(0, slash)];
            if (!storage)
                storage =
                    GSF_OUTFILE(gsf_outfile_new_child(ole, name.substr(0, slash).c_str(), TRUE));
            dir = storage;
        }
        GsfOutput* s = gsf_outfile_new_child(dir, name.substr(slash + 1).c_str(), FALSE);
        gsf_output_write(s, data.size(), reinterpret_cast<const guint8*>(data.data()));
        gsf_output_close(s);
        g_object_unref(s);
    }
    for (const auto& [name, storage] : storages) {
        gsf_output_close(GSF_OUTPUT(storage));
        g_object_unref(storage);
    }
    gsf_output_close(GSF_OUTPUT(ole));
    g_object_unref(ole);
    g_object_unref(out);
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
    bool spend() { return m_left < 0 || (m_left > 0 && --m_left >= 0); }
    std::shared_ptr<FileIo> m_real = posixFileIo();
    long m_left = -1;
};

class CompoundFileTest : public KolvoHomeTest
{
protected:
    std::unique_ptr<CompoundFile> open(const std::string& name,
                                       CompoundFile::Mode mode = CompoundFile::Mode::ReadWrite)
    {
        return CompoundFile::open(homePath(name), mode, &err);
    }
    std::unique_ptr<CompoundFile> create(const std::string& name)
    {
        return CompoundFile::create(homePath(name), &err);
    }
    Error err = Error::None;
};

} // namespace

TEST(CompoundFileNames, TreeOrderIsLengthThenCaseInsensitive)
{
    EXPECT_LT(compareNames(u"zz", u"aaa"), 0);
    EXPECT_EQ(compareNames(u"Header.INF", u"header.inf"), 0);
    EXPECT_LT(compareNames(u"abc", u"ABD"), 0);
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

TEST(CompoundFileMemory, RoundTripDestroyAndReplaceOfEverySizeClass)
{
    auto cf = CompoundFile::createMemory();
    write(*cf, sample());
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_EQ(cf->verify(), kSound);
    const uint64_t full = cf->fileSize();
    {
        Error err;
        auto again = CompoundFile::openMemory(cf->bytes(), CompoundFile::Mode::Read, &err);
        ASSERT_NE(again, nullptr) << errorText(err);
        EXPECT_EQ(ourView(*again), linesOf(sample()));
        EXPECT_EQ(again->writeStream(kRootEntry, "x", "y"), Error::ReadOnly);
        EXPECT_EQ(again->destroy(kRootEntry, "a"), Error::ReadOnly);
        std::string data;
        EntryId id;
        EXPECT_EQ(again->readStream(kRootEntry, "missing", &data), Error::NotFound);
        EXPECT_EQ(again->openStorage(kRootEntry, "a", &id), Error::WrongType);
        EXPECT_EQ(again->readStream(kRootEntry, "mini", &data), Error::WrongType);
    }
    // Destroying a storage takes everything below it and frees its space.
    ASSERT_EQ(cf->destroy(kRootEntry, "big"), Error::None);
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_EQ(cf->verify(), kSound);
    EXPECT_FALSE(cf->find(kRootEntry, "big").has_value());
    EXPECT_EQ(cf->destroy(kRootEntry, "big"), Error::NotFound);
    // Its sectors are free again: a stream of nearly that size fits in them (the file only
    // holds a few more sectors for the copies of the directory and FAT sectors a commit makes).
    ASSERT_EQ(cf->writeStream(kRootEntry, "again", pattern(60000, 4)), Error::None);
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_LT(cf->fileSize(), full + 8 * 512);
    // Replacing a storage by a stream and the other way round.
    EntryId st;
    ASSERT_EQ(cf->writeStream(kRootEntry, "mini", "now a stream"), Error::None);
    ASSERT_EQ(cf->createStorage(kRootEntry, "a", &st), Error::None);
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_EQ(cf->verify(), kSound);
    EXPECT_EQ(cf->find(kRootEntry, "mini")->type, ElementType::Stream);
    EXPECT_EQ(cf->find(kRootEntry, "a")->type, ElementType::Storage);
}

// Random operations against a model, committing and reopening now and then: the trees stay
// ordered and red-black, no sector is lost or shared, and the content is always the model's.
TEST(CompoundFileMemory, RandomOperationsKeepTheStructureSound)
{
    const size_t sizes[] = {0, 1, 63, 64, 65, 600, 4095, 4096, 4097, 9000};
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        std::mt19937 rng(seed);
        auto cf = CompoundFile::createMemory();
        Streams model;
        for (int op = 0; op < 400; ++op) {
            const std::string name = std::string("s") + std::to_string(rng() % 60);
            const unsigned what = rng() % 10;
            if (what < 6) {
                model[name] = pattern(sizes[rng() % std::size(sizes)], rng());
                ASSERT_EQ(cf->writeStream(kRootEntry, name, model[name]), Error::None);
            } else if (what < 9) {
                ASSERT_EQ(cf->destroy(kRootEntry, name),
                          model.erase(name) ? Error::None : Error::NotFound);
            } else {
                ASSERT_EQ(cf->commit(), Error::None);
                ASSERT_EQ(cf->verify(), kSound);
                Error err;
                cf = CompoundFile::openMemory(cf->bytes(), CompoundFile::Mode::ReadWrite, &err);
                ASSERT_NE(cf, nullptr) << errorText(err);
            }
        }
        ASSERT_EQ(cf->commit(), Error::None);
        ASSERT_EQ(cf->verify(), kSound);
        EXPECT_EQ(ourView(*cf), linesOf(model));
        std::vector<std::string> names, sorted;
        for (const Element& e : cf->children(kRootEntry))
            names.push_back(e.name);
        sorted = names;
        std::sort(sorted.begin(), sorted.end(), [](const std::string& a, const std::string& b) {
            return compareNames(*utf8ToUtf16(a), *utf8ToUtf16(b)) < 0;
        });
        EXPECT_EQ(names, sorted);
    }
}

TEST(CompoundFileMemory, ManyStoragesInOneTree)
{
    auto cf = CompoundFile::createMemory();
    std::vector<std::string> keys;
    Streams kept;
    for (int i = 0; i < 3000; ++i) {
        std::ostringstream key;
        key << std::hex << i * 7919;
        keys.push_back(key.str());
        const Streams album{{key.str() + "/AlbumInfo.inf", "t\x0c" + key.str()}};
        write(*cf, album);
        if (i % 3)
            kept.insert(album.begin(), album.end());
    }
    ASSERT_EQ(cf->commit(), Error::None);
    for (int i = 0; i < 3000; i += 3)
        ASSERT_EQ(cf->destroy(kRootEntry, keys[i]), Error::None);
    ASSERT_EQ(cf->commit(), Error::None);
    ASSERT_EQ(cf->verify(), kSound);
    EXPECT_EQ(ourView(*cf), linesOf(kept));
    std::string data;
    EXPECT_EQ(cf->readStream(cf->find(kRootEntry, "3dde")->id, &data), Error::WrongType);
}

TEST_F(CompoundFileTest, SecondOpenerFailsWhileTheFirstHoldsTheFile)
{
    auto first = create("db.sdb");
    ASSERT_NE(first, nullptr) << errorText(err);
    EXPECT_EQ(open("db.sdb", CompoundFile::Mode::Read), nullptr);
    EXPECT_EQ(err, Error::Locked);
    EXPECT_EQ(create("db.sdb"), nullptr);
    EXPECT_EQ(err, Error::Locked);
    ASSERT_EQ(first->writeStream(kRootEntry, "kept", "yes"), Error::None);
    first.reset();
    auto second = open("db.sdb");
    ASSERT_NE(second, nullptr) << errorText(err);
    EXPECT_EQ(ourView(*second), Lines{streamLine("kept", "yes")}) << "closing commits";

    EXPECT_EQ(open("none.sdb", CompoundFile::Mode::Read), nullptr);
    EXPECT_EQ(err, Error::NotFound);
    EXPECT_EQ(open("", CompoundFile::Mode::Read), nullptr) << "the home folder itself";
    EXPECT_EQ(err, Error::AccessDenied);
    writeFile("text.sdb", std::string(2000, 'x'));
    EXPECT_EQ(open("text.sdb", CompoundFile::Mode::Read), nullptr);
    EXPECT_EQ(err, Error::NotCompoundFile);
}

// A small change rewrites a few sectors, leaves the others byte for byte, and the file does
// not grow when the same streams are saved again and again.
TEST_F(CompoundFileTest, UpdatesInPlace)
{
    {
        auto cf = create("db.sdb");
        ASSERT_NE(cf, nullptr);
        for (int i = 0; i < 400; ++i)
            write(*cf,
                  {{std::string("album") + std::to_string(i) + "/AlbumInfo.inf", pattern(120, i)},
                   {std::string("album") + std::to_string(i) + "/TrackInfo.inf",
                    pattern(700, i + 1000)}});
    }
    const std::string before = readFile(homePath("db.sdb"));
    auto cf = open("db.sdb");
    ASSERT_NE(cf, nullptr);
    write(*cf,
          {{"album77/AlbumInfo.inf", pattern(130, 5)}, {"album77/TrackInfo.inf", pattern(650, 6)}});
    ASSERT_EQ(cf->commit(), Error::None);
    EXPECT_LT(cf->bytesWritten(), 16u * 512) << "a save of two small streams writes a few sectors";
    EXPECT_EQ(cf->verify(), kSound);
    const std::string after = readFile(homePath("db.sdb"));
    size_t changedSectors = 0;
    for (size_t off = 0; off < std::min(before.size(), after.size()); off += 512)
        changedSectors += before.compare(off, 512, after, off, 512) != 0;
    EXPECT_LE(changedSectors, 16u);
    EXPECT_GT(before.size(), 300u * 512);

    // Saving over and over reuses freed sectors.
    for (int round = 0; round < 500; ++round) {
        write(*cf, {{std::string("album") + std::to_string(round % 400) + "/TrackInfo.inf",
                     pattern(600 + round % 200, round)}});
        ASSERT_EQ(cf->commit(), Error::None);
    }
    EXPECT_EQ(cf->verify(), kSound);
    EXPECT_LT(cf->fileSize(), before.size() * 11 / 10);
}

// Between operations the state of a file is kept in memory; a file changed since, whether by a
// whole new header or by bytes changed in place under the same header, is read afresh.
TEST_F(CompoundFileTest, AFileChangedBetweenOpensIsReadAfresh)
{
    write(*create("db.sdb"), {{"album", "first"}});
    EXPECT_EQ(ourView(*open("db.sdb", CompoundFile::Mode::Read)), linesOf({{"album", "first"}}));
    // Another writer makes a new file in its place.
    auto other = CompoundFile::createMemory();
    ASSERT_EQ(other->writeStream(kRootEntry, "other", "second"), Error::None);
    ASSERT_EQ(other->commit(), Error::None);
    writeFile("db.sdb", other->bytes());
    {
        auto cf = open("db.sdb");
        ASSERT_NE(cf, nullptr);
        EXPECT_EQ(ourView(*cf), linesOf({{"other", "second"}}));
        ASSERT_EQ(cf->writeStream(kRootEntry, "third", "3"), Error::None);
    }
    // A writer that changes a directory entry in place, header untouched: the file's times
    // tell.
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    std::string bytes = readFile(homePath("db.sdb"));
    const size_t at = bytes.find(std::string("o\0t\0h\0e\0r\0", 10));
    ASSERT_NE(at, std::string::npos);
    bytes[at] = 'a'; // "ather" still sorts before "third"
    writeFile("db.sdb", bytes);
    auto cf = open("db.sdb", CompoundFile::Mode::Read);
    ASSERT_NE(cf, nullptr);
    EXPECT_EQ(ourView(*cf), linesOf({{"ather", "second"}, {"third", "3"}}));
}

// Every write of a commit may be the last one that reaches the file: whatever prefix of them
// landed, the file opens and holds the old state or the new one, and is sound.
TEST_F(CompoundFileTest, ACommitCutShortLeavesTheOldOrTheNewState)
{
    write(*create("base.sdb"), sample());
    const std::string base = readFile(homePath("base.sdb"));
    Streams changes{{"mini/edge", pattern(300, 99)}, {"mini/new", pattern(5000, 98)}};
    for (int i = 0; i < 40; ++i)
        changes[std::string("k") + std::to_string(i) + "/s"] = "";
    Streams changed = changes;
    changed.merge(sample());
    changed.erase("a");
    int sawOld = 0;
    for (long budget = 0;; ++budget) {
        SCOPED_TRACE("after " + std::to_string(budget) + " writes");
        writeFile("db.sdb", base);
        const auto io = std::make_shared<CuttingIo>();
        auto cf = CompoundFile::open(homePath("db.sdb"), CompoundFile::Mode::ReadWrite, &err, io);
        ASSERT_NE(cf, nullptr);
        ASSERT_EQ(cf->destroy(kRootEntry, "a"), Error::None);
        write(*cf, changes);
        io->cutAfter(budget);
        cf->commit();
        cf.reset();
        auto check = open("db.sdb", CompoundFile::Mode::Read);
        ASSERT_NE(check, nullptr) << errorText(err);
        ASSERT_EQ(check->verify(), kSound);
        const Lines seen = ourView(*check);
        if (seen == linesOf(changed))
            break;
        ASSERT_EQ(seen, linesOf(sample()));
        ++sawOld;
    }
    EXPECT_GT(sawOld, 5) << "the commit is made of several writes";
}

TEST_F(CompoundFileTest, LargeFilesUseTheDifat)
{
    // 110 FAT sectors address 110 * 128 sectors: more than the header's 109 slots hold.
    Streams streams{{"huge", pattern(110 * 128 * 512, 7)}, {"small", "after the huge one"}};
    {
        auto cf = create("big.sdb");
        ASSERT_NE(cf, nullptr);
        write(*cf, streams);
        ASSERT_EQ(cf->commit(), Error::None);
        EXPECT_EQ(cf->verify(), kSound);
    }
    EXPECT_EQ(olefileView(homePath("big.sdb")), linesOf(streams));
    EXPECT_EQ(gsfView(homePath("big.sdb")), linesOf(streams));
    // Shrinking it back again.
    streams["huge"] = "tiny now";
    {
        auto cf = open("big.sdb");
        ASSERT_NE(cf, nullptr);
        write(*cf, streams);
        ASSERT_EQ(cf->commit(), Error::None);
        EXPECT_EQ(cf->verify(), kSound);
    }
    EXPECT_EQ(olefileView(homePath("big.sdb")), linesOf(streams));
}

TEST_F(CompoundFileTest, OurFilesReadInOlefileAndLibgsf)
{
    Streams streams = sample();
    for (int i = 0; i < 200; ++i)
        streams[std::to_string(i * 31) + "/AlbumInfo.inf"] = pattern(i, i);
    {
        auto cf = create("ours.sdb");
        ASSERT_NE(cf, nullptr);
        write(*cf, streams);
        // Updates in place must read as well as fresh files.
        for (int i = 0; i < 200; i += 7) {
            ASSERT_EQ(cf->commit(), Error::None);
            ASSERT_EQ(cf->destroy(kRootEntry, std::to_string(i * 31)), Error::None);
            streams.erase(std::to_string(i * 31) + "/AlbumInfo.inf");
        }
    }
    EXPECT_EQ(olefileView(homePath("ours.sdb")), linesOf(streams));
    EXPECT_EQ(gsfView(homePath("ours.sdb")), linesOf(streams));
}

// Files libgsf writes, with 512-byte sectors and with 4096-byte ones (version 4), read and
// change in ours, and read as changed in libgsf and olefile.
TEST_F(CompoundFileTest, LibgsfFilesReadAndChangeInOurs)
{
    for (const int sectorSize : {512, 4096}) {
        SCOPED_TRACE(sectorSize);
        Streams streams{{"Header.INF", pattern(264, 1)}, {"big", pattern(9000, 2)}};
        for (int i = 0; i < 30; ++i) {
            const std::string album = std::string("album") + std::to_string(i);
            streams[album + "/AlbumInfo.inf"] = pattern(20 + i, 3 + i);
            streams[album + "/TrackInfo.inf"] = pattern(4000 + i * 10, 50 + i);
        }
        const std::string name = std::to_string(sectorSize) + ".ole";
        gsfWrite(homePath(name), streams, sectorSize);
        {
            auto cf = open(name, CompoundFile::Mode::Read);
            ASSERT_NE(cf, nullptr) << errorText(err);
            EXPECT_EQ(ourView(*cf), linesOf(streams));
            // libgsf hangs siblings in one ordered chain; lookups still find every one.
            std::string data;
            EntryId st;
            EXPECT_EQ(cf->readStream(kRootEntry, "Header.INF", &data), Error::None);
            EXPECT_EQ(data, streams["Header.INF"]);
            EXPECT_EQ(cf->openStorage(kRootEntry, "album17", &st), Error::None);
        }
        // And we can change it: its trees become red-black on the way.
        const Streams changes{{"big", "short now"}, {"added/s", pattern(7000, 3)}};
        {
            auto cf = open(name);
            ASSERT_NE(cf, nullptr);
            ASSERT_EQ(cf->destroy(kRootEntry, "album3"), Error::None);
            write(*cf, changes);
            ASSERT_EQ(cf->commit(), Error::None);
        }
        std::erase_if(streams, [](const auto& s) { return s.first.rfind("album3/", 0) == 0; });
        for (const auto& [path, data] : changes)
            streams[path] = data;
        EXPECT_EQ(gsfView(homePath(name)), linesOf(streams));
        EXPECT_EQ(olefileView(homePath(name)), linesOf(streams));
    }
}

// Damaged files: every truncation and many single-byte changes of a real file open or fail
// with an error, and whatever opens can be walked without a crash.
TEST(CompoundFileDamage, TruncatedAndAlteredFilesFailCleanly)
{
    auto cf = CompoundFile::createMemory();
    write(*cf, sample());
    ASSERT_EQ(cf->commit(), Error::None);
    const std::string good = cf->bytes();
    const auto walk = [](const std::string& bytes) {
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
        for (int hits = 1 + static_cast<int>(rng() % 4); hits > 0; --hits)
            bad[rng() % std::min<size_t>(bad.size(), 4096)] = static_cast<char>(rng());
        walk(bad);
    }
    // The header's own checks: the signature, the sector size, more FAT sectors than the file has.
    const std::tuple<int, int, Error> headers[] = {{0, 0, Error::NotCompoundFile},
                                                   {30, 10, Error::NotCompoundFile},
                                                   {44, 0xff, Error::Corrupt}};
    for (const auto& [at, value, error] : headers) {
        std::string bad = good;
        bad[at] = static_cast<char>(value);
        EXPECT_EQ(walk(bad), error) << at;
    }
}

// A destroy that meets a damaged tree (a child index past the directory) fails, and the file
// then takes no more changes: nothing half-removed can be committed.
TEST(CompoundFileDamage, ADestroyMeetingADamagedTreeStopsAllChanges)
{
    // Each case: the streams (four entries at most: one directory sector), the entries' bytes
    // changed (entry, offset, value: 0x43 colour, 0x44 left child), what is destroyed.
    using Patch = std::tuple<const char*, int, uint32_t>;
    const std::tuple<Streams, std::vector<Patch>, const char*> cases[] = {
        // The root's tree b(a, c) made all black: removing a rebalances at c, whose bad child
        // sends the tree to be laid out anew, which fails.
        {{{"a", "1"}, {"b", "2"}, {"c", "3"}},
         {{"a", 0x43, 1}, {"c", 0x43, 1}, {"c", 0x44, 999}},
         "a"},
        // A storage whose own tree is bad: its children cannot be walked to be freed.
        {{{"s/x", "4"}}, {{"x", 0x44, 999}}, "s"},
    };
    for (const auto& [streams, patches, destroyed] : cases) {
        auto cf = CompoundFile::createMemory();
        write(*cf, streams);
        ASSERT_EQ(cf->commit(), Error::None);
        std::string bytes = cf->bytes();
        for (const auto& [name, field, value] : patches) {
            const std::string utf16{name[0], '\0', '\0', '\0'}; // one-letter names
            size_t e = 512;
            while (e < bytes.size() && bytes.compare(e, 4, utf16) != 0)
                e += 128;
            ASSERT_LT(e, bytes.size()) << name;
            for (int i = 0; i < (field == 0x43 ? 1 : 4); ++i)
                bytes[e + field + i] = static_cast<char>(value >> (8 * i));
        }
        Error err;
        auto f = CompoundFile::openMemory(bytes, CompoundFile::Mode::ReadWrite, &err);
        ASSERT_NE(f, nullptr);
        EXPECT_EQ(f->destroy(kRootEntry, destroyed), Error::Corrupt) << destroyed;
        EXPECT_EQ(f->writeStream(kRootEntry, "d", "5"), Error::Corrupt) << destroyed;
        EXPECT_EQ(f->commit(), Error::Corrupt) << destroyed;
    }
}
