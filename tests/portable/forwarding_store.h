// A registry store that passes every call to another store (an in-memory one
// unless given one): tests derive from it to count or change the calls they
// are interested in. A key's whole lists are read through NextSubkey and
// NextValue, so that counting those counts every step.
#pragma once

#include <memory>
#include <string>
#include <utility>

#include <quorvane/platform/portable/store/memory_store.h>
#include <quorvane/platform/portable/store/registry_store.h>

namespace quorvane::testing_support {

class ForwardingStore : public platform::portable::RegistryStore {
 public:
  using KeyId = platform::portable::KeyId;
  using StoredValue = platform::portable::StoredValue;
  using SubkeyName = platform::portable::SubkeyName;

  ForwardingStore() : inner_(std::make_unique<platform::portable::MemoryStore>()) {}
  explicit ForwardingStore(std::unique_ptr<platform::portable::RegistryStore> inner)
      : inner_(std::move(inner)) {}

  void Begin(bool writing) override { inner_->Begin(writing); }
  void Commit() override { inner_->Commit(); }
  void Rollback() override { inner_->Rollback(); }
  bool HasTransactions() const override { return inner_->HasTransactions(); }
  void BeginBatch(bool writing) override { inner_->BeginBatch(writing); }
  void BeginScan() override { inner_->BeginScan(); }
  void EndBatch(bool commit) override { inner_->EndBatch(commit); }
  KeyId Root(const std::u16string& machine, platform::HKEY root) override {
    return inner_->Root(machine, root);
  }
  bool Exists(KeyId key) override { return inner_->Exists(key); }
  std::optional<KeyId> Parent(KeyId key) override { return inner_->Parent(key); }
  std::u16string Name(KeyId key) override { return inner_->Name(key); }
  std::optional<KeyId> FindSubkey(KeyId parent, const std::u16string& folded) override {
    return inner_->FindSubkey(parent, folded);
  }
  KeyId CreateSubkey(KeyId parent, const std::u16string& name,
                     const std::u16string& folded) override {
    return inner_->CreateSubkey(parent, name, folded);
  }
  bool HasSubkeys(KeyId key) override { return inner_->HasSubkeys(key); }
  void DeleteKey(KeyId key) override { inner_->DeleteKey(key); }
  bool IsVolatile(KeyId key) override { return inner_->IsVolatile(key); }
  void MarkVolatile(KeyId key) override { inner_->MarkVolatile(key); }
  std::optional<SubkeyName> NextSubkey(KeyId key, const std::u16string* after) override {
    return inner_->NextSubkey(key, after);
  }
  const StoredValue* GetValue(KeyId key, const std::u16string& folded) override {
    return inner_->GetValue(key, folded);
  }
  void SetValue(KeyId key, const std::u16string& folded, const StoredValue& value) override {
    inner_->SetValue(key, folded, value);
  }
  bool DeleteValue(KeyId key, const std::u16string& folded) override {
    return inner_->DeleteValue(key, folded);
  }
  std::optional<StoredValue> NextValue(KeyId key, const std::u16string* after,
                                       std::u16string* folded) override {
    return inner_->NextValue(key, after, folded);
  }
  platform::REGSAM GrantedRights(KeyId key) override { return inner_->GrantedRights(key); }
  void SetGrantedRights(KeyId key, platform::REGSAM rights) override {
    inner_->SetGrantedRights(key, rights);
  }
  std::uint64_t Generation() override { return inner_->Generation(); }

 private:
  std::unique_ptr<platform::portable::RegistryStore> inner_;
};

}  // namespace quorvane::testing_support
