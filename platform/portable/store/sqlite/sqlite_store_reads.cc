// The SQLite store's reads: from the image of earlier reads when the scope
// reads through it (what misses is read from the file and kept), else from
// the file.
#include <sqlite3.h>

#include <utility>

#include <quorvane/platform/portable/store/sqlite/sqlite_store.h>
#include <quorvane/platform/portable/store/sqlite/sqlite_store_internal.h>

namespace quorvane::platform::portable {

namespace {

std::string YoungerParent(KeyId key) {
  return "key " + std::to_string(key) + " is listed below a younger key";
}

}  // namespace

ReadImage::KeyRow SqliteStore::QueryRow(KeyId key) {
  Statement find(*this, Sql::kKeyRow);
  find.Bind(1, key);
  ReadImage::KeyRow row;
  if (!find.Step()) return row;
  row.exists = true;
  row.parent = find.Integer(0);
  row.name = find.Name(1);
  row.granted = static_cast<REGSAM>(find.Integer(2));
  // A parent is always older than its child (see QuerySubkey).
  if (row.parent >= key) Damaged(YoungerParent(key));
  return row;
}

std::optional<KeyId> SqliteStore::QuerySubkey(KeyId parent, const std::u16string& folded) {
  Statement find(*this, Sql::kFindSubkey);
  find.Bind(1, parent).Bind(2, folded);
  if (!find.Step()) return std::nullopt;
  const KeyId child = find.Integer(0);
  // Keys are never moved, so a subkey is always younger than its parent; a
  // link that breaks this could close a cycle.
  if (child <= parent) Damaged(YoungerParent(child));
  return child;
}

void SqliteStore::QueryAllSubkeys(KeyId key, std::vector<SubkeyName>* names,
                                  std::vector<KeyId>* ids) {
  Statement rows(*this, Sql::kAllSubkeys);
  rows.Bind(1, key);
  while (rows.Step()) {
    const KeyId id = rows.Integer(2);
    if (id <= key) Damaged(YoungerParent(id));
    names->push_back(SubkeyName{rows.Name(0), rows.Name(1)});
    if (ids != nullptr) ids->push_back(id);
  }
}

ValueList SqliteStore::QueryAllValues(KeyId key) {
  auto all = std::make_shared<std::vector<std::pair<std::u16string, StoredValue>>>();
  Statement rows(*this, Sql::kAllValues);
  rows.Bind(1, key);
  while (rows.Step()) {
    all->emplace_back(rows.Name(3),
                      StoredValue{rows.Name(0), static_cast<DWORD>(rows.Integer(1)), rows.Blob(2)});
  }
  return all;
}

const ReadImage::KeyRow& SqliteStore::RowOf(KeyId key) {
  if (image_scope_) {
    const ReadImage::Key& entry = image_.Of(key);
    if (entry.row) {
      MarkServed();
      return *entry.row;
    }
    TakeSnapshot();
  }
  read_row_ = QueryRow(key);
  if (!image_scope_) return read_row_;
  ReadImage::Key& entry = image_.Of(key);
  image_.Charge(ReadImage::CostOf(read_row_.name));
  entry.row = read_row_;
  return *entry.row;
}

KeyId SqliteStore::Root(const std::u16string& machine, HKEY root) {
  if (image_scope_) {
    if (const std::optional<KeyId>* known = image_.FindRoot(machine, root); known && *known) {
      MarkServed();
      return **known;
    }
    TakeSnapshot();
  }
  {
    Statement find(*this, Sql::kFindRoot);
    find.Bind(1, machine).Bind(2, static_cast<std::int64_t>(root));
    if (find.Step()) {
      const KeyId id = find.Integer(0);
      if (image_scope_) image_.RememberRoot(machine, root, id);
      return id;
    }
  }
  // A machine's roots are made on first use.
  LeaveImage();
  {
    Statement create(*this, Sql::kInsertKey);
    create.Bind(1, std::int64_t{0})
        .Bind(2, std::string())
        .Bind(3, Bytes(machine) + std::to_string(root));
    create.Bind(4, std::int64_t{0xFFFFFFFFll});
    create.Step();
  }
  const KeyId id = sqlite3_last_insert_rowid(db_);
  ForgetInImage(id);
  Statement remember(*this, Sql::kRememberRoot);
  remember.Bind(1, machine).Bind(2, static_cast<std::int64_t>(root)).Bind(3, id);
  remember.Step();
  ++own_changes_;
  return id;
}

bool SqliteStore::Exists(KeyId key) {
  if (image_scope_) return RowOf(key).exists;
  Statement find(*this, Sql::kKeyExists);
  find.Bind(1, key);
  return find.Step();
}

std::optional<KeyId> SqliteStore::Parent(KeyId key) {
  const ReadImage::KeyRow& row = RowOf(key);
  if (!row.exists) return std::nullopt;
  return row.parent;
}

std::u16string SqliteStore::Name(KeyId key) { return RowOf(key).name; }

REGSAM SqliteStore::GrantedRights(KeyId key) {
  const ReadImage::KeyRow& row = RowOf(key);
  return row.exists ? row.granted : 0;
}

std::optional<KeyId> SqliteStore::FindSubkey(KeyId parent, const std::u16string& folded) {
  if (image_scope_) {
    const ReadImage::Key& entry = image_.Of(parent);
    if (entry.has_all_subkeys) {
      MarkServed();
      const std::optional<std::size_t> at = ReadImage::Position(*entry.subkeys, folded);
      return at ? std::optional<KeyId>(entry.subkey_ids[*at]) : std::nullopt;
    }
    if (const std::optional<KeyId>* known = entry.children.Find(folded)) {
      MarkServed();
      return *known;
    }
    TakeSnapshot();
  }
  const std::optional<KeyId> child = QuerySubkey(parent, folded);
  if (image_scope_) {
    image_.Of(parent).children.Add(folded, child);
    image_.Charge(ReadImage::CostOf(folded));
  }
  return child;
}

bool SqliteStore::HasSubkeys(KeyId key) {
  if (image_scope_) {
    const ReadImage::Key& entry = image_.Of(key);
    if (entry.has_all_subkeys || entry.has_subkeys) {
      MarkServed();
      return entry.has_all_subkeys ? !entry.subkeys->empty() : *entry.has_subkeys;
    }
    TakeSnapshot();
  }
  Statement find(*this, Sql::kHasSubkeys);
  find.Bind(1, key);
  const bool has = find.Step();
  if (image_scope_) image_.Of(key).has_subkeys = has;
  return has;
}

const ReadImage::Key* SqliteStore::AllSubkeysOf(KeyId key) {
  if (!image_scope_) return nullptr;
  if (const ReadImage::Key& entry = image_.Of(key); entry.has_all_subkeys) {
    MarkServed();
    return &entry;
  }
  TakeSnapshot();
  if (!image_scope_) return nullptr;
  ReadImage::Key& entry = image_.Of(key);
  auto all = std::make_shared<std::vector<SubkeyName>>();
  QueryAllSubkeys(key, all.get(), &entry.subkey_ids);
  for (const SubkeyName& subkey : *all) image_.Charge(2 * ReadImage::CostOf(subkey.name));
  entry.subkeys = std::move(all);
  entry.has_all_subkeys = true;
  return &entry;
}

std::optional<SubkeyName> SqliteStore::NextSubkey(KeyId key, const std::u16string* after) {
  if (const ReadImage::Key* entry = AllSubkeysOf(key)) {
    const std::size_t at = ReadImage::FirstAfter(*entry->subkeys, after);
    if (at == entry->subkeys->size()) return std::nullopt;
    return (*entry->subkeys)[at];
  }
  Statement next(*this, after == nullptr ? Sql::kFirstSubkey : Sql::kNextSubkey);
  next.Bind(1, key);
  if (after != nullptr) next.Bind(2, *after);
  if (!next.Step()) return std::nullopt;
  if (next.Integer(2) <= key) Damaged(YoungerParent(next.Integer(2)));
  return SubkeyName{next.Name(0), next.Name(1)};
}

SubkeyList SqliteStore::Subkeys(KeyId key) {
  if (const ReadImage::Key* entry = AllSubkeysOf(key)) return entry->subkeys;
  auto all = std::make_shared<std::vector<SubkeyName>>();
  QueryAllSubkeys(key, all.get(), nullptr);
  return all;
}

const ReadImage::Key* SqliteStore::AllValuesOf(KeyId key) {
  if (!image_scope_) return nullptr;
  if (const ReadImage::Key& entry = image_.Of(key); entry.has_all_values) {
    MarkServed();
    return &entry;
  }
  TakeSnapshot();
  if (!image_scope_) return nullptr;
  ValueList all = QueryAllValues(key);
  for (const auto& [folded, value] : *all) image_.Charge(ReadImage::CostOf(folded, value));
  ReadImage::Key& entry = image_.Of(key);
  entry.all_values = std::move(all);
  entry.has_all_values = true;
  // The lookups by name are answered from the whole list from now on.
  entry.values.Clear();
  return &entry;
}

ValueList SqliteStore::Values(KeyId key) {
  if (const ReadImage::Key* entry = AllValuesOf(key)) return entry->all_values;
  return QueryAllValues(key);
}

std::optional<StoredValue> SqliteStore::NextValue(KeyId key, const std::u16string* after,
                                                  std::u16string* folded) {
  if (const ReadImage::Key* entry = AllValuesOf(key)) {
    const std::size_t at = ReadImage::FirstAfter(*entry->all_values, after);
    if (at == entry->all_values->size()) return std::nullopt;
    *folded = (*entry->all_values)[at].first;
    return (*entry->all_values)[at].second;
  }
  Statement next(*this, after == nullptr ? Sql::kFirstValue : Sql::kNextValue);
  next.Bind(1, key);
  if (after != nullptr) next.Bind(2, *after);
  if (!next.Step()) return std::nullopt;
  *folded = next.Name(3);
  return StoredValue{next.Name(0), static_cast<DWORD>(next.Integer(1)), next.Blob(2)};
}

const StoredValue* SqliteStore::GetValue(KeyId key, const std::u16string& folded) {
  if (image_scope_) {
    const ReadImage::Key& entry = image_.Of(key);
    if (entry.has_all_values) {
      MarkServed();
      const std::optional<std::size_t> at = ReadImage::Position(*entry.all_values, folded);
      return at ? &(*entry.all_values)[*at].second : nullptr;
    }
    if (const std::optional<StoredValue>* known = entry.values.Find(folded)) {
      MarkServed();
      return *known ? &**known : nullptr;
    }
    TakeSnapshot();
  }
  Statement find(*this, Sql::kGetValue);
  find.Bind(1, key).Bind(2, folded);
  std::optional<StoredValue> found;
  if (find.Step()) {
    found = StoredValue{find.Name(0), static_cast<DWORD>(find.Integer(1)), find.Blob(2)};
  }
  if (!image_scope_) {
    if (!found) return nullptr;
    read_value_ = std::move(*found);
    return &read_value_;
  }
  image_.Charge(found ? ReadImage::CostOf(folded, *found) : ReadImage::CostOf(folded));
  const std::optional<StoredValue>* kept =
      image_.Of(key).values.Add(folded, std::move(found)).first;
  return *kept ? &**kept : nullptr;
}

}  // namespace quorvane::platform::portable
