// The directory trees: the children of a storage form a red-black tree ordered by
// compareNames(). Lookups descend it; inserts and removals keep it red-black with the textbook
// fix-ups, and a tree that turns out not to be red-black (another writer's) is laid out anew.
#include "platform/compoundfile_internal.h"

#include <algorithm>

namespace cfb {
namespace {

// Walks a red-black tree of directory entries with a parent map filled on the way down, so
// that the insert and delete fix-ups can climb without parent links in the file.
class Tree
{
public:
    // The fix-ups come in mirrored pairs; each is written once for a side and its other.
    enum Side { Left, Right };
    static Side other(Side s) { return s == Left ? Right : Left; }

    Tree(CompoundFile::Impl& cf, EntryId storage)
        : m_cf(cf)
        , m_storage(storage)
    {}
    bool bad() const { return m_bad; }
    EntryId root()
    {
        DirEntry* s = m_cf.entry(m_storage);
        if (!s) {
            m_bad = true;
            return kNoStream;
        }
        return note(s->child, kHead);
    }
    void setRoot(EntryId x)
    {
        m_cf.entry(m_storage)->child = x;
        m_cf.dirty(m_storage);
        if (x != kNoStream)
            m_parent[x] = kHead;
    }
    EntryId child(EntryId x, Side s)
    {
        DirEntry* e = get(x);
        return e ? note(s == Left ? e->left : e->right, x) : kNoStream;
    }
    EntryId left(EntryId x) { return child(x, Left); }
    EntryId right(EntryId x) { return child(x, Right); }
    EntryId parent(EntryId x)
    {
        const auto it = m_parent.find(x);
        if (it == m_parent.end()) {
            m_bad = true;
            return kHead;
        }
        return it->second;
    }
    void setChild(EntryId x, Side s, EntryId c)
    {
        DirEntry* e = get(x);
        (s == Left ? e->left : e->right) = c;
        m_cf.dirty(x);
        if (c != kNoStream)
            m_parent[c] = x;
    }
    void setLeft(EntryId x, EntryId c) { setChild(x, Left, c); }
    void setRight(EntryId x, EntryId c) { setChild(x, Right, c); }
    uint8_t color(EntryId x)
    {
        if (x == kNoStream)
            return kBlack;
        DirEntry* e = get(x);
        return e ? e->color : kBlack;
    }
    void setColor(EntryId x, uint8_t c)
    {
        if (x == kNoStream)
            return;
        DirEntry* e = get(x);
        if (e && e->color != c) {
            e->color = c;
            m_cf.dirty(x);
        }
    }
    void replaceChild(EntryId p, EntryId oldChild, EntryId newChild)
    {
        if (p == kHead)
            setRoot(newChild);
        else if (left(p) == oldChild)
            setLeft(p, newChild);
        else
            setRight(p, newChild);
        if (newChild != kNoStream)
            m_parent[newChild] = p;
    }
    // Rotates x down to side s; its child on the other side takes its place.
    void rotate(EntryId x, Side s)
    {
        const EntryId y = child(x, other(s));
        if (y == kNoStream) {
            m_bad = true;
            return;
        }
        const EntryId p = parent(x);
        setChild(x, other(s), child(y, s));
        replaceChild(p, x, y);
        setChild(y, s, x);
    }
    // Descends to the entry of that name; records parents. kNoStream when absent; *last and
    // *lastCmp tell where it would hang.
    EntryId search(std::u16string_view name, EntryId* last, int* lastCmp)
    {
        EntryId y = kHead;
        int c = 0;
        EntryId x = root();
        uint32_t steps = 0;
        while (x != kNoStream) {
            if (++steps > m_cf.entryCount()) {
                m_bad = true;
                return kNoStream;
            }
            DirEntry* e = get(x);
            if (!e)
                return kNoStream;
            c = compareNames(name, e->name);
            if (c == 0)
                break;
            y = x;
            x = c < 0 ? left(x) : right(x);
        }
        if (last)
            *last = y;
        if (lastCmp)
            *lastCmp = c;
        return x;
    }

private:
    DirEntry* get(EntryId x)
    {
        DirEntry* e = (x == kNoStream) ? nullptr : m_cf.entry(x);
        if (!e)
            m_bad = true;
        return e;
    }
    EntryId note(EntryId child, EntryId parent)
    {
        if (child == kNoStream)
            return child;
        if (child >= m_cf.entryCount()) {
            m_bad = true;
            return kNoStream;
        }
        m_parent[child] = parent;
        return child;
    }

    CompoundFile::Impl& m_cf;
    EntryId m_storage;
    std::unordered_map<EntryId, EntryId> m_parent;
    bool m_bad = false;
};

} // namespace

// ---------------------------------------------------------------------------------------------
// Lookup and enumeration

Error CompoundFile::Impl::findChild(EntryId storage, std::u16string_view name, EntryId* found)
{
    Tree tree(*this, storage);
    const EntryId x = tree.search(name, nullptr, nullptr);
    if (tree.bad())
        return Error::Corrupt;
    if (x == kNoStream)
        return Error::NotFound;
    *found = x;
    return Error::None;
}

Error CompoundFile::Impl::inOrder(EntryId storage, std::vector<EntryId>& out, size_t* stray)
{
    out.clear();
    const DirEntry* s = entry(storage);
    if (!s || !isStorage(*s))
        return Error::WrongType;
    std::vector<bool> seen(entryCount(), false);
    std::vector<EntryId> stack;
    EntryId x = s->child;
    while (x != kNoStream || !stack.empty()) {
        while (x != kNoStream) {
            if (x >= entryCount() || seen[x])
                return Error::Corrupt;
            seen[x] = true;
            const DirEntry* e = entry(x);
            if (!e)
                return Error::Corrupt;
            stack.push_back(x);
            x = e->left;
        }
        x = stack.back();
        stack.pop_back();
        const DirEntry* e = entry(x);
        if (e->type != ElementType::Unused && e->type != ElementType::Root)
            out.push_back(x);
        else if (stray)
            ++*stray;
        x = e->right;
    }
    return Error::None;
}

// ---------------------------------------------------------------------------------------------
// Red-black trees of siblings

Error CompoundFile::Impl::insertEntry(EntryId storage, EntryId z)
{
    Tree t(*this, storage);
    EntryId y = kHead;
    int c = 0;
    const std::u16string name = entry(z)->name;
    const EntryId found = t.search(name, &y, &c);
    if (t.bad())
        return Error::Corrupt;
    if (found != kNoStream)
        return Error::InvalidName; // callers destroy a same-named element first
    DirEntry* ze = entry(z);
    ze->left = ze->right = kNoStream;
    ze->color = kRed;
    dirty(z);
    if (y == kHead)
        t.setRoot(z);
    else if (c < 0)
        t.setLeft(y, z);
    else
        t.setRight(y, z);

    EntryId x = z;
    uint32_t guard = 0;
    while (x != t.root() && t.color(t.parent(x)) == kRed && !t.bad()) {
        if (++guard > 64) {
            t.setColor(t.root(), kBlack);
            return rebuildTree(storage);
        }
        EntryId p = t.parent(x);
        const EntryId g = t.parent(p);
        if (g == kHead) // a red root: not a red-black tree to begin with
            break;
        // s: the side of g that p hangs on; the uncle u hangs on the other.
        const Tree::Side s = p == t.left(g) ? Tree::Left : Tree::Right;
        const EntryId u = t.child(g, Tree::other(s));
        if (t.color(u) == kRed) {
            t.setColor(p, kBlack);
            t.setColor(u, kBlack);
            t.setColor(g, kRed);
            x = g;
        } else {
            if (x == t.child(p, Tree::other(s))) {
                x = p;
                t.rotate(x, s);
                p = t.parent(x);
            }
            t.setColor(p, kBlack);
            t.setColor(g, kRed);
            t.rotate(g, Tree::other(s));
        }
    }
    if (t.bad())
        return rebuildTree(storage);
    t.setColor(t.root(), kBlack);
    return Error::None;
}

Error CompoundFile::Impl::removeEntry(EntryId storage, EntryId z)
{
    Tree t(*this, storage);
    const std::u16string name = entry(z)->name;
    if (t.search(name, nullptr, nullptr) != z || t.bad())
        return Error::Corrupt;
    EntryId x, xParent;
    uint8_t removedColor = t.color(z);
    if (t.left(z) == kNoStream) {
        x = t.right(z);
        xParent = t.parent(z);
        t.replaceChild(xParent, z, x);
    } else if (t.right(z) == kNoStream) {
        x = t.left(z);
        xParent = t.parent(z);
        t.replaceChild(xParent, z, x);
    } else {
        EntryId y = t.right(z);
        uint32_t steps = 0;
        while (t.left(y) != kNoStream && !t.bad()) {
            y = t.left(y);
            if (++steps > entryCount())
                return Error::Corrupt;
        }
        removedColor = t.color(y);
        x = t.right(y);
        if (t.parent(y) == z) {
            xParent = y;
        } else {
            xParent = t.parent(y);
            t.replaceChild(xParent, y, x);
            t.setRight(y, t.right(z));
        }
        t.replaceChild(t.parent(z), z, y);
        t.setLeft(y, t.left(z));
        t.setColor(y, t.color(z));
    }
    if (t.bad())
        return rebuildTree(storage);

    if (removedColor == kBlack) {
        uint32_t guard = 0;
        while (x != t.root() && t.color(x) == kBlack && xParent != kHead) {
            if (++guard > 128 || t.bad())
                return rebuildTree(storage);
            // s: the side of xParent that x hangs on; the sibling w hangs on the other.
            const Tree::Side s = x == t.left(xParent) ? Tree::Left : Tree::Right;
            const Tree::Side o = Tree::other(s);
            EntryId w = t.child(xParent, o);
            if (w == kNoStream)
                return rebuildTree(storage);
            if (t.color(w) == kRed) {
                t.setColor(w, kBlack);
                t.setColor(xParent, kRed);
                t.rotate(xParent, s);
                w = t.child(xParent, o);
                if (w == kNoStream)
                    return rebuildTree(storage);
            }
            if (t.color(t.child(w, s)) == kBlack && t.color(t.child(w, o)) == kBlack) {
                t.setColor(w, kRed);
                x = xParent;
                xParent = t.parent(x);
            } else {
                if (t.color(t.child(w, o)) == kBlack) {
                    t.setColor(t.child(w, s), kBlack);
                    t.setColor(w, kRed);
                    t.rotate(w, o);
                    w = t.child(xParent, o);
                }
                t.setColor(w, t.color(xParent));
                t.setColor(xParent, kBlack);
                t.setColor(t.child(w, o), kBlack);
                t.rotate(xParent, s);
                x = t.root();
                break;
            }
        }
        t.setColor(x, kBlack);
    }
    if (t.bad())
        return rebuildTree(storage);
    t.setColor(t.root(), kBlack);
    return Error::None;
}

// Lays a storage's children out as a balanced tree: the deepest level red, the rest black.
// Used when a tree read from another writer is not red-black enough to fix up in place.
Error CompoundFile::Impl::rebuildTree(EntryId storage)
{
    std::vector<EntryId> ids;
    const Error err = inOrder(storage, ids);
    if (err != Error::None) {
        broken = true;
        return err;
    }
    std::sort(ids.begin(), ids.end(), [this](EntryId a, EntryId b) {
        return compareNames(entry(a)->name, entry(b)->name) < 0;
    });
    int depth = 0;
    while ((size_t{1} << (depth + 1)) - 1 < ids.size())
        ++depth;
    const bool perfect = ids.size() == (size_t{1} << (depth + 1)) - 1;
    struct Builder
    {
        Impl& cf;
        const std::vector<EntryId>& ids;
        int deepest;
        bool colorDeepest;
        EntryId build(size_t lo, size_t hi, int level)
        {
            if (lo >= hi)
                return kNoStream;
            const size_t mid = lo + (hi - lo) / 2;
            const EntryId id = ids[mid];
            DirEntry* e = cf.entry(id);
            e->left = build(lo, mid, level + 1);
            e->right = build(mid + 1, hi, level + 1);
            e->color = (colorDeepest && level == deepest && level > 0) ? kRed : kBlack;
            cf.dirty(id);
            return id;
        }
    } builder{*this, ids, depth, !perfect};
    DirEntry* s = entry(storage);
    s->child = builder.build(0, ids.size(), 0);
    dirty(storage);
    return Error::None;
}

Error CompoundFile::Impl::destroyEntry(EntryId parent, EntryId id)
{
    Error err = removeEntry(parent, id);
    if (err != Error::None)
        return err;
    // Everything below a storage goes too.
    std::vector<EntryId> pending{id};
    std::unordered_set<EntryId> seen{id};
    while (!pending.empty()) {
        const EntryId cur = pending.back();
        pending.pop_back();
        DirEntry* e = entry(cur);
        if (!e)
            return Error::Corrupt;
        if (isStorage(*e)) {
            std::vector<EntryId> kids;
            err = inOrder(cur, kids);
            if (err != Error::None)
                return err;
            for (EntryId k : kids) {
                if (seen.insert(k).second)
                    pending.push_back(k);
            }
        } else if (e->type == ElementType::Stream) {
            err = freeStreamData(*e);
            if (err != Error::None)
                return err;
        }
        releaseEntry(cur);
    }
    return Error::None;
}

} // namespace cfb
