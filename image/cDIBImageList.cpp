#include "image/cDIBImageList.h"

#include <algorithm>

namespace image {

namespace {

bool IsSeparator(char c) {
  return c == '/' || c == '\\';
}

}  // namespace

// --- class descriptions -------------------------------------------------------

const framework::ClassInfo& TDIBImagesItem::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TDIBImagesItem, framework::TCollectionItem>("TDIBImagesItem")
          .Enum(
              "ImageRetrieval", {"irInternal", "irLoadOnStart", "irLoadOnDemand"},
              [](TDIBImagesItem& i) { return static_cast<int>(i.ImageRetrieval()); },
              [](TDIBImagesItem& i, int v) { i.SetImageRetrieval(static_cast<TImageRetrieval>(v)); })
          .Default(framework::Value(framework::Ident{"irInternal"}))
          // The form reads and writes the buffer as stored: no loading from files.
          .Object("DIB", [](TDIBImagesItem& i) -> framework::TPersistent* { return &i.StoredDIB(); })
          .String(
              "DisplayName", [](TDIBImagesItem& i) { return i.DisplayName(); },
              [](TDIBImagesItem& i, const std::string& v) { i.SetDisplayName(v); })
          .Event("OnTranslateImagePath",
                 [](TDIBImagesItem& i) -> TTranslateImagePathEvent& { return i.OnTranslateImagePath; })
          .String(
              "TemplateFilename", [](TDIBImagesItem& i) { return i.TemplateFilename(); },
              [](TDIBImagesItem& i, const std::string& v) { i.SetTemplateFilename(v); })
          .Defined()
          .Stored([](TDIBImagesItem& i) { return !i.TemplateFilename().empty(); })
          .Build();
  return info;
}

const framework::ClassInfo& TCustomDIBImageList::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TCustomDIBImageList, framework::TComponent>("TCustomDIBImageList").Build();
  return info;
}

const framework::ClassInfo& TDIBImageList::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TDIBImageList, TCustomDIBImageList>("TDIBImageList")
          .Collection("DIBImages", [](TDIBImageList& l) -> framework::TCollection* { return &l.DIBImages(); })
          .Build();
  return info;
}

const framework::ClassInfo& TDIBImageLink::StaticClassInfo() {
  static const framework::ClassInfo& info =
      framework::ClassBuilder<TDIBImageLink, framework::TPersistent>("TDIBImageLink")
          .Reference<TCustomDIBImageList>(
              "DIBImageList", [](TDIBImageLink& l) { return l.DIBImageList(); },
              [](TDIBImageLink& l, TCustomDIBImageList* list) { l.SetDIBImageList(list); })
          .Integer(
              "DIBIndex", [](TDIBImageLink& l) { return l.DIBIndex(); },
              [](TDIBImageLink& l, std::int32_t v) { l.SetDIBIndex(v); })
          .Default(-1)
          .Build();
  return info;
}

void RegisterImageListClasses() {
  framework::RegisterClasses<TDIBImagesItem, TDIBImageList>();
}

// --- items --------------------------------------------------------------------

TDIBImagesItem::TDIBImagesItem(framework::TCollection* collection)
    : framework::TCollectionItem(nullptr), dib_(TDIBImagesItem::CreateDIB()), displayName_("TDIBImagesItem") {
  dib_->SetOnChange([this](TAbstractSuperDIB&) { DIBChanged(); });
  // Joined only once whole, so the collection's hooks see a finished item.
  SetCollection(collection);
}

TDIBImagesItem::~TDIBImagesItem() {
  framework::TCollection* collection = Collection();
  const int index = Index();
  dib_.reset();
  SetCollection(nullptr);
  if (auto* images = dynamic_cast<TDIBImages*>(collection); images && images->ImageList())
    images->ImageList()->NotifyLinks(index, kImageDeleted);
}

std::unique_ptr<TMemoryDIB> TDIBImagesItem::CreateDIB() const {
  return std::make_unique<TMemoryDIB>();
}

TCustomDIBImageList* TDIBImagesItem::List() const {
  auto* images = dynamic_cast<TDIBImages*>(Collection());
  return images ? images->ImageList() : nullptr;
}

TMemoryDIB& TDIBImagesItem::DIB() {
  if (!imageLoaded_) LoadImage();
  return *dib_;
}

void TDIBImagesItem::SetDIB(const TAbstractSuperDIB& source) {
  dib_->Assign(source);
}

void TDIBImagesItem::SetDisplayName(const std::string& name) {
  displayName_ = name;
  framework::TCollectionItem::SetDisplayName(name);
}

void TDIBImagesItem::SetImageRetrieval(TImageRetrieval value) {
  if (value > irLoadOnDemand)
    throw framework::EPropertyError("Invalid ImageRetrieval value " + std::to_string(value));
  imageRetrieval_ = value;
  dib_->SetStoreData(value == irInternal);
}

void TDIBImagesItem::SetIndex(int index) {
  const int old = Index();
  framework::TCollectionItem::SetIndex(index);
  const int now = Index();
  if (old != now)
    if (TCustomDIBImageList* list = List()) list->MoveLinks(old, now);
}

void TDIBImagesItem::DIBChanged() {
  if (Collection())
    if (TCustomDIBImageList* list = List()) list->NotifyLinks(Index(), kImageChanged);
}

void TDIBImagesItem::LoadImage() {
  if (imageLoaded_) return;
  if (imageRetrieval_ == irInternal) {
    imageLoaded_ = true;
    return;
  }
  if (dib_->ImageFilename().empty()) return;
  dib_->BeginUpdate();
  try {
    const std::string mask = dib_->MaskFilename();
    dib_->ImportPicture(TranslatePath(dib_->ImageFilename()));
    if (!mask.empty()) dib_->ImportMask(TranslatePath(mask));
    imageLoaded_ = true;
  } catch (...) {
    dib_->EndUpdate();
    throw;
  }
  dib_->EndUpdate();
}

std::string TDIBImagesItem::TranslatePath(const std::string& fileName) {
  if (fileName.empty() || !OnTranslateImagePath) return fileName;
  std::size_t cut = fileName.size();
  while (cut > 0 && !IsSeparator(fileName[cut - 1])) --cut;
  std::string dir = fileName.substr(0, cut);
  const std::string name = fileName.substr(cut);
  OnTranslateImagePath(this, dir);
  if (dir.empty()) return name;
  if (!IsSeparator(dir.back())) {
    // A backslash for paths written that way, the native separator otherwise.
    const bool backslashes = dir.find('\\') != std::string::npos && dir.find('/') == std::string::npos;
    dir += backslashes ? '\\' : '/';
  }
  return dir + name;
}

// --- the collection -----------------------------------------------------------

TDIBImages::TDIBImages(TCustomDIBImageList* owner, const framework::ClassInfo& itemClass)
    : framework::TCollection(itemClass, owner), list_(owner) {}

TDIBImagesItem* TDIBImages::FindOrAddTemplate(const std::string& fileName, int number) {
  const std::string key = fileName + ":" + std::to_string(number);
  for (int i = 0; i < Count(); ++i)
    if (Items(i)->TemplateFilename() == key) return Items(i);
  TDIBImagesItem* item = Add();
  item->SetTemplateFilename(key);
  return item;
}

void TDIBImages::Update(framework::TCollectionItem* item) {
  // A single item changed (its name); additions, removals and moves are told
  // to the links by the items themselves.
  if (item && list_) list_->NotifyLinks(item->Index(), kImageChanged);
}

// --- the list -----------------------------------------------------------------

TCustomDIBImageList::TCustomDIBImageList(framework::TComponent* owner)
    : framework::TComponent(owner), shared_(1, 1) {
  images_ = std::make_unique<TDIBImages>(this, GetItemClass());
}

TCustomDIBImageList::~TCustomDIBImageList() {
  Destroying();
  while (!links_.empty()) links_.back()->SetDIBImageList(nullptr);
  images_.reset();
}

const framework::ClassInfo& TCustomDIBImageList::GetItemClass() const {
  return TDIBImagesItem::StaticClassInfo();
}

TMemoryDIB& TCustomDIBImageList::GetSharedDIB(int index) {
  if (!IsValidIndex(index)) throw EDIBError("List index out of bounds (" + std::to_string(index) + ")");
  shared_.ShareWith(images_->Items(index)->DIB());
  return shared_;
}

bool TCustomDIBImageList::IsValidIndex(int index) const {
  return index >= 0 && index < images_->Count();
}

bool TCustomDIBImageList::GetImage(int index, TAbstractSuperDIB*& image) {
  if (!IsValidIndex(index)) return false;
  if (!images_->Items(index)->DIB().HasData()) return false;
  image = &GetSharedDIB(index);
  return true;
}

void TCustomDIBImageList::AddLink(TDIBImageLink* link) {
  if (!link) return;
  if (std::find(links_.begin(), links_.end(), link) == links_.end()) links_.push_back(link);
  for (int n = 0; n < images_->Count(); ++n) link->Notify(n, kImageChanged);
}

void TCustomDIBImageList::NotifyLinks(int index, int kind) {
  if (IsDestroying()) return;
  // A handler may detach links; those still attached hear it, in order.
  const std::vector<TDIBImageLink*> links = links_;
  for (TDIBImageLink* link : links)
    if (std::find(links_.begin(), links_.end(), link) != links_.end()) link->Notify(index, kind);
}

void TCustomDIBImageList::MoveLinks(int oldIndex, int newIndex) {
  for (TDIBImageLink* link : links_) {
    const int i = link->index_;
    if (i == oldIndex)
      link->index_ = newIndex;
    else if (oldIndex < newIndex && i > oldIndex && i <= newIndex)
      link->index_ = i - 1;
    else if (oldIndex >= newIndex && i >= newIndex && i < oldIndex)
      link->index_ = i + 1;
  }
}

void TCustomDIBImageList::RemoveLink(TDIBImageLink* link) {
  links_.erase(std::remove(links_.begin(), links_.end(), link), links_.end());
}

void TCustomDIBImageList::Loaded() {
  framework::TComponent::Loaded();
  for (int i = 0; i < images_->Count(); ++i)
    if (images_->Items(i)->ImageRetrieval() == irLoadOnStart) images_->Items(i)->LoadImage();
}

// --- links --------------------------------------------------------------------

TDIBImageLink::TDIBImageLink(framework::TComponent* owner) : owner_(owner) {}

TDIBImageLink::~TDIBImageLink() {
  if (list_) list_->RemoveLink(this);
}

void TDIBImageLink::SetDIBImageList(TCustomDIBImageList* list) {
  if (list_) list_->RemoveLink(this);
  list_ = list;
  if (list_) list_->AddLink(this);
}

void TDIBImageLink::SetDIBIndex(std::int32_t index) {
  if (index == index_) return;
  index_ = index;
  Notify(index, kImageChanged);
}

bool TDIBImageLink::GetImage(TAbstractSuperDIB*& image) const {
  return list_ != nullptr && list_->GetImage(index_, image);
}

bool TDIBImageLink::IsValid() const {
  return list_ != nullptr && list_->IsValidIndex(index_);
}

void TDIBImageLink::Assign(const framework::TPersistent& source) {
  if (const auto* other = dynamic_cast<const TDIBImageLink*>(&source)) {
    SetDIBIndex(other->index_);
    SetDIBImageList(other->list_);
    return;
  }
  framework::TPersistent::Assign(source);
}

void TDIBImageLink::Notify(int index, int kind) {
  if (kind == kImageChanged && index != index_) return;
  if (kind == kImageDeleted && index_ < index) return;
  if (owner_ && owner_->IsDestroying()) return;
  if (kind == kImageDeleted && index < index_) {
    --index_;
    return;
  }
  if (OnImageChanged) OnImageChanged(this, index, kind);
  if (kind == kImageDeleted) index_ = -1;
}

}  // namespace image
