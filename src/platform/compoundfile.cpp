// The public interface of the compound-file engine: opening, creating and releasing files, and
// elements and streams by name. The work is done by CompoundFile::Impl, whose parts are listed
// in compoundfile_internal.h.
#include "platform/compoundfile_internal.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace cfb {

const char* errorText(Error error)
{
    switch (error) {
    case Error::None:
        return "no error";
    case Error::NotFound:
        return "not found";
    case Error::Locked:
        return "in use by another program";
    case Error::AccessDenied:
        return "access denied";
    case Error::NotCompoundFile:
        return "not a compound file";
    case Error::Corrupt:
        return "the compound file is damaged";
    case Error::InvalidName:
        return "not a valid element name";
    case Error::WrongType:
        return "a stream where a storage was expected, or the other way round";
    case Error::ReadOnly:
        return "opened for reading only";
    case Error::TooLarge:
        return "too large for the compound file format";
    case Error::IoError:
        return "the file could not be written";
    }
    return "unknown error";
}

namespace {

bool envDurable()
{
    const char* v = std::getenv("KOLVO_DURABLE_WRITES");
    return v && *v && std::strcmp(v, "0") != 0;
}

Error openError(int err)
{
    switch (err) {
    case ENOENT:
    case ENOTDIR:
        return Error::NotFound;
    case EWOULDBLOCK:
        return Error::Locked;
    default:
        return Error::AccessDenied;
    }
}

// Opens and locks; -1 with *error set on failure.
int openLocked(const std::string& path, int flags, Error* error)
{
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, 0644);
    if (fd < 0) {
        *error = openError(errno);
        return -1;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        ::close(fd);
        *error = Error::AccessDenied;
        return -1;
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd);
        *error = S_ISDIR(st.st_mode) ? Error::AccessDenied : Error::NotCompoundFile;
        return -1;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        *error = e == EWOULDBLOCK ? Error::Locked : Error::AccessDenied;
        return -1;
    }
    return fd;
}

std::unique_ptr<CompoundFile::Impl> newEmpty(std::unique_ptr<Backing> io)
{
    auto d = std::make_unique<CompoundFile::Impl>();
    d->io = std::move(io);
    d->writable = true;
    d->durable = envDurable();
    d->sizeC = 0;
    d->freeEntriesKnown = true;
    d->appendDirSector();
    const EntryId root = kRootEntry;
    DirEntry* r = d->entry(root);
    static const char16_t kRootName[] = u"Root Entry";
    r->name = kRootName;
    r->type = ElementType::Root;
    r->color = kBlack;
    r->start = kEndOfChain;
    d->dirty(root);
    d->miniLoaded = true;
    return d;
}

} // namespace

CompoundFile::CompoundFile(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{}

CompoundFile::~CompoundFile()
{
    if (!d)
        return;
    if (d->writable)
        d->commit();
    // A clean state of a file on disk is kept for the next open, unless its I/O says that the
    // disk may not hold what was written; the lock is still ours here.
    const int fd = d->io ? d->io->fd() : -1;
    Identity id;
    if (fd >= 0 && d->io->mayKeepState() && !d->changed && !d->broken && identify(fd, id)) {
        d->parkedMap = static_cast<FileBacking*>(d->io.get())->takeMapping();
        d->io.reset();
        putCached(id, std::move(d));
    }
}

std::unique_ptr<CompoundFile> CompoundFile::open(const std::string& path, Mode mode, Error* error,
                                                 std::shared_ptr<FileIo> io)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    err = Error::None;
    const int fd = openLocked(path, mode == Mode::Read ? O_RDONLY : O_RDWR, &err);
    if (fd < 0)
        return nullptr;
    struct stat st;
    fstat(fd, &st);
    Identity id;
    std::unique_ptr<Impl> d = identify(fd, id) ? takeCached(id) : nullptr;
    const bool cached = d != nullptr;
    if (!cached)
        d = std::make_unique<Impl>();
    d->io =
        std::make_unique<FileBacking>(fd, static_cast<uint64_t>(st.st_size),
                                      io ? std::move(io) : posixFileIo(), std::move(d->parkedMap));
    d->writable = mode == Mode::ReadWrite;
    d->durable = envDurable();
    d->written = 0;
    if (cached)
        return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
    err = d->loadHeader();
    if (err != Error::None)
        return nullptr;
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::unique_ptr<CompoundFile> CompoundFile::create(const std::string& path, Error* error,
                                                   std::shared_ptr<FileIo> io)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    err = Error::None;
    const int fd = openLocked(path, O_RDWR | O_CREAT, &err);
    if (fd < 0)
        return nullptr;
    if (!io)
        io = posixFileIo();
    if (!io->truncate(fd, 0)) {
        ::close(fd);
        err = Error::IoError;
        return nullptr;
    }
    auto d = newEmpty(std::make_unique<FileBacking>(fd, 0, std::move(io)));
    err = d->commit();
    if (err != Error::None)
        return nullptr;
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::unique_ptr<CompoundFile> CompoundFile::openMemory(std::string bytes, Mode mode, Error* error)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    auto d = std::make_unique<Impl>();
    d->io = std::make_unique<MemoryBacking>(std::move(bytes));
    d->writable = mode == Mode::ReadWrite;
    err = d->loadHeader();
    if (err != Error::None)
        return nullptr;
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::unique_ptr<CompoundFile> CompoundFile::createMemory()
{
    auto d = newEmpty(std::make_unique<MemoryBacking>(std::string()));
    d->durable = false;
    d->commit();
    return std::unique_ptr<CompoundFile>(new CompoundFile(std::move(d)));
}

std::vector<Element> CompoundFile::children(EntryId storage, Error* error)
{
    std::vector<EntryId> ids;
    const Error err = d->inOrder(storage, ids);
    if (error)
        *error = err;
    std::vector<Element> out;
    if (err != Error::None)
        return out;
    out.reserve(ids.size());
    for (EntryId id : ids) {
        const DirEntry* e = d->entry(id);
        out.push_back(Element{id, utf16ToUtf8(e->name), e->type,
                              e->type == ElementType::Stream ? e->size : 0});
    }
    return out;
}

std::optional<Element> CompoundFile::find(EntryId storage, std::string_view name, Error* error)
{
    Error dummy;
    Error& err = error ? *error : dummy;
    const auto wide = utf8ToUtf16(name);
    if (!wide) {
        err = Error::InvalidName;
        return std::nullopt;
    }
    const DirEntry* s = d->entry(storage);
    if (!s || !isStorage(*s)) {
        err = Error::WrongType;
        return std::nullopt;
    }
    EntryId id;
    err = d->findChild(storage, *wide, &id);
    if (err != Error::None)
        return std::nullopt;
    const DirEntry* e = d->entry(id);
    return Element{id, utf16ToUtf8(e->name), e->type, e->type == ElementType::Stream ? e->size : 0};
}

Error CompoundFile::openStorage(EntryId parent, std::string_view name, EntryId* storage)
{
    Error err;
    const auto e = find(parent, name, &err);
    if (!e)
        return err;
    if (e->type != ElementType::Storage)
        return Error::WrongType;
    *storage = e->id;
    return Error::None;
}

Error CompoundFile::openOrCreateStorage(EntryId parent, std::string_view name, EntryId* storage)
{
    const Error err = openStorage(parent, name, storage);
    if (err != Error::NotFound)
        return err;
    return createStorage(parent, name, storage);
}

Error CompoundFile::createStorage(EntryId parent, std::string_view name, EntryId* storage)
{
    if (!d->writable)
        return Error::ReadOnly;
    if (d->broken)
        return Error::Corrupt;
    Error err = checkName(name);
    if (err != Error::None)
        return err;
    err = destroy(parent, name);
    if (err != Error::None && err != Error::NotFound)
        return err;
    EntryId id;
    err = d->allocEntry(&id);
    if (err != Error::None)
        return err;
    DirEntry* e = d->entry(id);
    e->name = *utf8ToUtf16(name);
    e->type = ElementType::Storage;
    e->start = 0;
    err = d->insertEntry(parent, id);
    if (err != Error::None) {
        d->broken = true;
        return err;
    }
    *storage = id;
    return Error::None;
}

Error CompoundFile::readStream(EntryId parent, std::string_view name, std::string* data)
{
    Error err;
    const auto e = find(parent, name, &err);
    if (!e)
        return err;
    return readStream(e->id, data);
}

Error CompoundFile::readStream(EntryId stream, std::string* data)
{
    const DirEntry* e = d->entry(stream);
    if (!e)
        return Error::NotFound;
    const DirEntry copy = *e;
    return d->readData(copy, data);
}

Error CompoundFile::writeStream(EntryId parent, std::string_view name, std::string_view data)
{
    if (!d->writable)
        return Error::ReadOnly;
    if (d->broken)
        return Error::Corrupt;
    Error err = checkName(name);
    if (err != Error::None)
        return err;
    const DirEntry* p = d->entry(parent);
    if (!p || !isStorage(*p))
        return Error::WrongType;
    const auto existing = find(parent, name, &err);
    if (!existing && err != Error::NotFound)
        return err;
    EntryId id;
    if (existing && existing->type == ElementType::Stream) {
        // Replacing a stream keeps its directory entry (and so its place in the tree).
        id = existing->id;
        DirEntry copy = *d->entry(id);
        err = d->freeStreamData(copy);
        if (err != Error::None) {
            d->broken = true;
            return err;
        }
        *d->entry(id) = copy;
    } else {
        if (existing) {
            err = d->destroyEntry(parent, existing->id);
            if (err != Error::None) {
                d->broken = true;
                return err;
            }
        }
        err = d->allocEntry(&id);
        if (err != Error::None)
            return err;
        DirEntry* e = d->entry(id);
        e->name = *utf8ToUtf16(name);
        e->type = ElementType::Stream;
        err = d->insertEntry(parent, id);
        if (err != Error::None) {
            d->broken = true;
            return err;
        }
    }
    DirEntry copy = *d->entry(id);
    err = d->writeData(copy, data);
    if (err != Error::None) {
        d->broken = true;
        return err;
    }
    *d->entry(id) = copy;
    d->dirty(id);
    return Error::None;
}

Error CompoundFile::destroy(EntryId parent, std::string_view name)
{
    if (!d->writable)
        return Error::ReadOnly;
    if (d->broken)
        return Error::Corrupt;
    Error err;
    const auto e = find(parent, name, &err);
    if (!e)
        return err;
    err = d->destroyEntry(parent, e->id);
    if (err != Error::None)
        d->broken = true;
    return err;
}

Error CompoundFile::commit()
{
    const Error err = d->commit();
    if (err != Error::None) {
        // What was written went to free sectors only; the committed state stands.
        d->rollback();
    }
    return err;
}

void CompoundFile::rollback()
{
    d->rollback();
}

std::vector<std::string> CompoundFile::verify()
{
    return d->verify();
}

uint64_t CompoundFile::bytesWritten() const
{
    return d->written;
}

uint64_t CompoundFile::fileSize() const
{
    return d->io->size();
}

std::string CompoundFile::bytes() const
{
    return d->io->image();
}

void CompoundFile::setDurable(bool durable)
{
    d->durable = durable;
}

} // namespace cfb
