#include "db_create.h"

#include <cstring>

#include "catalog.h"
#include "catalog_write.h"
#include "data_page_write.h"
#include "error.h"
#include "header.h"
#include "io_error.h"
#include "page_alloc.h"
#include "page_file.h"
#include "table_create.h"
#include "table_writer.h"

namespace vantrel::jet {

namespace {

NewColumn col(const char* name, uint8_t type, uint16_t length = 0) {
    NewColumn c;
    c.name = name;
    c.type = type;
    c.length = length;
    return c;
}

NewIndex index(const char* name, std::vector<size_t> cols, bool unique, bool primary = false, bool ignoreNulls = false,
               bool required = false) {
    NewIndex x;
    x.name = name;
    for (size_t c : cols) x.columns.push_back({c, true});
    x.unique = unique;
    x.primary = primary;
    x.ignoreNulls = ignoreNulls;
    x.required = required;
    return x;
}

NewTable objectsTable() {
    NewTable t;
    t.system = true;
    t.columns = {col("Id", kLong), col("ParentId", kLong), col("Name", kText, 510), col("Type", kInt),
                 col("DateCreate", kDateTime), col("DateUpdate", kDateTime), col("Owner", kBinary, 510),
                 col("Flags", kLong), col("Database", kMemo), col("Connect", kMemo), col("ForeignName", kText, 510),
                 col("RmtInfoShort", kBinary, 510), col("RmtInfoLong", kOle), col("Lv", kOle), col("LvProp", kOle),
                 col("LvModule", kOle), col("LvExtra", kOle)};
    t.indexes = {index("ParentIdName", {1, 2}, true), index("Id", {0}, true, true)};
    t.indexes[1].required = false;
    return t;
}

NewTable acesTable() {
    NewTable t;
    t.system = true;
    t.columns = {col("ObjectId", kLong), col("SID", kBinary, 510), col("ACM", kLong), col("FInheritable", kBool)};
    t.indexes = {index("ObjectId", {0}, false, false, false, true)};
    return t;
}

NewTable queriesTable() {
    NewTable t;
    t.system = true;
    t.columns = {col("ObjectId", kLong), col("Attribute", kByte), col("Order", kBinary, 510), col("Name1", kText, 510),
                 col("Name2", kText, 510), col("Expression", kMemo), col("Flag", kInt), col("LvExtra", kLong)};
    t.indexes = {index("ObjectIdAttribute", {0, 1, 2}, true, true)};
    return t;
}

NewTable relationshipsTable() {
    NewTable t;
    t.system = true;
    t.columns = {col("szRelationship", kText, 510), col("grbit", kLong), col("ccolumn", kLong), col("icolumn", kLong),
                 col("szObject", kText, 510), col("szColumn", kText, 510), col("szReferencedObject", kText, 510),
                 col("szReferencedColumn", kText, 510)};
    t.indexes = {index("szRelationship", {0}, false, false, true), index("szObject", {4}, false, false, true),
                 index("szReferencedObject", {6}, false, false, true)};
    return t;
}

// The access entries of a new database: who may do what with the containers
// and the system tables.
struct Ace {
    int32_t object;
    std::vector<uint8_t> sid;
    int32_t acm;
    bool inheritable;
};

std::vector<Ace> initialAces() {
    const std::vector<uint8_t> admins = {0x07, 0xE8}, users = {0x06, 0xED}, creator = {0x06, 0xE8};
    return {
        {2, admins, 393216, false},
        {3, admins, 393216, false},
        {4, admins, 393216, false},
        {5, admins, 917504, false},
        {kContainerTables, users, 983294, true},
        {kContainerTables, admins, 393217, false},
        {kContainerRelationships, users, 983294, true},
        {kContainerRelationships, admins, 393217, false},
        {kContainerDatabases, admins, 393216, false},
        {kDatabaseObject, admins, 393230, false},
        {kDatabaseObject, creator, 14, false},
        {4, creator, 20, false},
        {5, creator, 20, false},
        {2, creator, 20, false},
        {kContainerTables, creator, 1048319, true},
        {kContainerRelationships, creator, 1048575, true},
    };
}

void build(platform::Env& env, const std::string& path, const CreateOptions& opt) {
    const Layout l = Layout::forFormat(false);
    {
        // Page 0 and the free-page map (page 1, row 0: a window of bits, set = free).
        std::unique_ptr<platform::File> f;
        try {
            f = env.open(path, platform::Open::createNew);
        } catch (const platform::IoError& e) {
            if (e.reason == platform::Reason::exists) throw err::databaseExists();
            throw err::invalidPath(path);
        }
        try {
            PageBuf map(l.pageSize, 0);
            initDataPage(map, l, 1);
            std::vector<uint8_t> global(69, 0);
            std::fill(global.begin() + 5, global.end(), 0xFF);
            global[5] = 0xFC;  // pages 0 and 1 are in use
            // Rows from the end of the page down: the map, then an empty row Jet keeps beside it.
            const size_t first = l.pageSize - 69, second = first - 69;
            std::copy(global.begin(), global.end(), map.begin() + long(first));
            map[l.dataRowCountAt] = 2;
            map[l.dataSlotsAt] = uint8_t(first);
            map[l.dataSlotsAt + 1] = uint8_t(first >> 8);
            map[l.dataSlotsAt + 2] = uint8_t(second);
            map[l.dataSlotsAt + 3] = uint8_t(second >> 8);
            const uint16_t free = uint16_t(second - (l.dataSlotsAt + 4));
            map[2] = uint8_t(free);
            map[3] = uint8_t(free >> 8);
            const std::vector<uint8_t> head = buildJet4Header(opt.now, opt.password);
            f->writeAt(0, head.data(), head.size());
            f->writeAt(l.pageSize, map.data(), map.size());
            f->sync();
        } catch (const platform::IoError& e) {
            throw ioFailure(e);
        }
    }

    PageFile::Options po;
    po.writable = true;
    po.beforeWrite = opt.beforeWrite;
    po.env = &env;
    PageFile file(path, po);
    // The system tables' definitions take pages 2 to 5, MSysObjects first.
    uint32_t pages[4];
    for (auto& p : pages) p = allocatePage(file, l);
    createTable(file, l, objectsTable(), pages[0]);
    createTable(file, l, acesTable(), pages[1]);
    createTable(file, l, queriesTable(), pages[2]);
    createTable(file, l, relationshipsTable(), pages[3]);

    auto add = [&](int32_t id, int32_t parent, const char* name, int16_t type, bool systemOwner = true) {
        CatalogObject o;
        o.id = id;
        o.parentId = parent;
        o.name = name;
        o.type = type;
        o.flags = kSystemObjectFlags;
        o.created = opt.now;
        o.systemOwner = systemOwner;
        addCatalogObject(file, o);
    };
    add(kContainerTables, kContainerRoot, "Tables", 3);
    add(kContainerDatabases, kContainerRoot, "Databases", 3);
    add(kContainerRelationships, kContainerRoot, "Relationships", 3);
    add(kDatabaseObject, kContainerDatabases, "MSysDb", 2, false);
    add(int32_t(pages[0]), kContainerTables, "MSysObjects", 1);
    add(int32_t(pages[1]), kContainerTables, "MSysACEs", 1);
    add(int32_t(pages[2]), kContainerTables, "MSysQueries", 1);
    add(int32_t(pages[3]), kContainerTables, "MSysRelationships", 1);

    TableWriter aces(file, pages[1]);
    const size_t n = aces.table().columns.size();
    for (const Ace& a : initialAces()) {
        std::vector<Variant> v(n);
        v[0] = Variant::longInt(a.object);
        v[1] = Variant::binary(a.sid);
        v[2] = Variant::longInt(a.acm);
        v[3] = Variant::boolean(a.inheritable);
        if (!aces.insert(std::move(v), std::vector<bool>(n, true)).empty()) throw err::internal("access entry refused");
    }
    aces.flush();
    file.commit();
}

}  // namespace

void createDatabaseFile(const std::string& path, const CreateOptions& opt) {
    // The file is made under a temporary name beside the target and given
    // its name only when whole (never replacing a file that appeared
    // meanwhile): a crash leaves no half-made database under that name.
    platform::Env& env = opt.env ? *opt.env : platform::Env::system();
    if (env.info(path).kind != platform::Kind::missing) throw err::databaseExists();
    const std::string temp = path + ".creating-" + std::to_string(env.processId());
    auto drop = [&] {
        try {
            env.remove(temp);
        } catch (const platform::IoError&) {
        }
    };
    if (env.info(temp).kind == platform::Kind::regular) drop();
    try {
        build(env, temp, opt);
        env.renameNoReplace(temp, path);
    } catch (const platform::IoError& e) {
        drop();
        if (e.reason == platform::Reason::exists) throw err::databaseExists();
        if (e.reason == platform::Reason::noSpace) throw ioFailure(e);
        throw err::invalidPath(path);
    } catch (...) {
        drop();
        throw;
    }
    try {
        env.syncFolder(env.folderOf(path));
    } catch (const platform::IoError& e) {
        // The name may not survive a power loss: the file is not reported made, so it goes.
        try {
            env.remove(path);
        } catch (const platform::IoError&) {
        }
        throw ioFailure(e);
    }
}

}  // namespace vantrel::jet
