#include "framework/core/Collection.h"

#include <algorithm>

namespace framework {

const ClassInfo& TCollectionItem::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TCollectionItem, TPersistent>("TCollectionItem").Build();
  return info;
}

TCollectionItem::TCollectionItem(TCollection* collection) {
  SetCollection(collection);
}

TCollectionItem::~TCollectionItem() {
  SetCollection(nullptr);
}

void TCollectionItem::SetCollection(TCollection* collection) {
  if (collection == collection_) return;
  if (collection_) collection_->RemoveItem(this);
  if (collection) collection->InsertItem(this);
}

int TCollectionItem::Index() const {
  if (!collection_) return -1;
  auto& items = collection_->items_;
  return static_cast<int>(std::find(items.begin(), items.end(), this) - items.begin());
}

void TCollectionItem::SetIndex(int index) {
  if (!collection_) return;
  auto& items = collection_->items_;
  const int current = Index();
  index = std::clamp(index, 0, static_cast<int>(items.size()) - 1);
  if (index == current) return;
  items.erase(items.begin() + current);
  items.insert(items.begin() + index, this);
  Changed(true);
}

void TCollectionItem::Changed(bool allItems) {
  if (collection_ && collection_->updateCount_ == 0) collection_->Update(allItems ? nullptr : this);
}

const ClassInfo& TCollection::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TCollection, TPersistent>("TCollection").Build();
  return info;
}

TCollection::TCollection(const ClassInfo& itemClass, TPersistent* owner)
    : itemClass_(&itemClass), owner_(owner) {}

TCollection::~TCollection() {
  // Descendants' hooks are gone by now; items leave without telling them.
  updateCount_ = 1;
  Clear();
}

TCollectionItem* TCollection::Add() {
  if (!itemClass_->createItem) throw EPropertyError("Cannot create items of class " + itemClass_->name);
  TCollectionItem* item = itemClass_->createItem(this);
  if (item->Collection() != this) item->SetCollection(this);
  return item;
}

void TCollection::Delete(int index) {
  delete Items(index);
}

void TCollection::Clear() {
  if (items_.empty()) return;
  BeginUpdate();
  while (!items_.empty()) delete items_.back();
  EndUpdate();
}

void TCollection::EndUpdate() {
  if (updateCount_ > 0 && --updateCount_ == 0) Changed();
}

void TCollection::InsertItem(TCollectionItem* item) {
  items_.push_back(item);
  item->collection_ = this;
  Notify(item, true);
  Changed();
}

void TCollection::RemoveItem(TCollectionItem* item) {
  Notify(item, false);
  items_.erase(std::remove(items_.begin(), items_.end(), item), items_.end());
  item->collection_ = nullptr;
  Changed();
}

void TCollection::Changed() {
  if (updateCount_ == 0) Update(nullptr);
}

}  // namespace framework
