#pragma once

#include <string>
#include <vector>

#include "framework/core/Persistent.h"

namespace framework {

class TCollection;

// An item of an owned collection. Creating one with a collection adds it at
// the end; deleting it removes it.
class TCollectionItem : public TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCollectionItem(TCollection* collection);
  ~TCollectionItem() override;
  TCollectionItem(const TCollectionItem&) = delete;
  TCollectionItem& operator=(const TCollectionItem&) = delete;

  TCollection* Collection() const { return collection_; }
  // Moves the item into another collection (or out of any, with null).
  void SetCollection(TCollection* collection);
  int Index() const;
  // Moves the item within its collection; out-of-range targets are clamped.
  virtual void SetIndex(int index);
  // The class name unless a descendant says otherwise.
  virtual std::string DisplayName() const { return ClassName(); }
  virtual void SetDisplayName(const std::string& /*name*/) { Changed(false); }

 protected:
  // Reports a change of this item (or, with allItems, of the whole
  // collection) to the collection's Update.
  void Changed(bool allItems);

 private:
  friend class TCollection;
  TCollection* collection_ = nullptr;
};

// A list of items of one item class, owning them.
class TCollection : public TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  TCollection(const ClassInfo& itemClass, TPersistent* owner = nullptr);
  ~TCollection() override;
  TCollection(const TCollection&) = delete;
  TCollection& operator=(const TCollection&) = delete;

  const ClassInfo& ItemClass() const { return *itemClass_; }
  TPersistent* Owner() const { return owner_; }
  int Count() const { return static_cast<int>(items_.size()); }
  TCollectionItem* Items(int index) const { return items_.at(static_cast<std::size_t>(index)); }
  // Creates an item of the item class at the end.
  TCollectionItem* Add();
  void Delete(int index);
  void Clear();

  // Changes between BeginUpdate and EndUpdate are reported once, at the end.
  void BeginUpdate() { ++updateCount_; }
  void EndUpdate();

 protected:
  // A changed item, or null for "everything changed".
  virtual void Update(TCollectionItem* /*item*/) {}
  virtual void Notify(TCollectionItem* /*item*/, bool /*added*/) {}

 private:
  friend class TCollectionItem;
  void InsertItem(TCollectionItem* item);
  void RemoveItem(TCollectionItem* item);
  void Changed();

  const ClassInfo* itemClass_;
  TPersistent* owner_;
  std::vector<TCollectionItem*> items_;
  int updateCount_ = 0;
};

}  // namespace framework
