#pragma once

// Image lists and the links through which controls use their pictures.
//
// A list owns a collection of items, each with one memory buffer. Controls
// hold links (a list plus an index); the list tells every attached link when
// an image changes (kind 1), is deleted (kind 0) or moves (indices rewritten
// without an event), so controls repaint and keep pointing at the right image.
// Look-ups hand out one shared alias buffer that points at the item's pixels,
// so drawing a stored image copies nothing.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/core/Collection.h"
#include "framework/core/Component.h"
#include "image/cDIB.h"

namespace image {

class TCustomDIBImageList;
class TDIBImageLink;

enum TImageRetrieval : std::uint8_t { irInternal = 0, irLoadOnStart = 1, irLoadOnDemand = 2 };

// Notification kinds a link receives.
inline constexpr int kImageDeleted = 0;
inline constexpr int kImageChanged = 1;

using TTranslateImagePathEvent = framework::TEvent<void(framework::TObject* Sender, std::string& ImagePath)>;
using TImageChangedEvent = framework::TEvent<void(framework::TObject* Sender, int Index, int Kind)>;

class TDIBImagesItem : public framework::TCollectionItem {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBImagesItem(framework::TCollection* collection);
  ~TDIBImagesItem() override;

  // The picture; loads it first when it is not loaded yet.
  TMemoryDIB& DIB();
  // The buffer as it is, without loading (what the form reader fills).
  TMemoryDIB& StoredDIB() { return *dib_; }
  // The item's buffer takes a copy of source's pixels and settings.
  void SetDIB(const TAbstractSuperDIB& source);

  const std::string& TemplateFilename() const { return templateFilename_; }
  void SetTemplateFilename(const std::string& name) { templateFilename_ = name; }
  std::string DisplayName() const override { return displayName_; }
  void SetDisplayName(const std::string& name) override;
  bool ImageLoaded() const { return imageLoaded_; }
  TImageRetrieval ImageRetrieval() const { return imageRetrieval_; }
  // Also decides whether the pixels go into the form (only for irInternal).
  void SetImageRetrieval(TImageRetrieval value);
  void SetIndex(int index) override;

  // Loads the picture (and its mask) from the buffer's file names unless it
  // is loaded already or comes with the form. Import failures propagate and
  // leave ImageLoaded false.
  void LoadImage();
  // FileName with its directory replaced by what OnTranslateImagePath makes
  // of it.
  std::string TranslatePath(const std::string& fileName);

  TTranslateImagePathEvent OnTranslateImagePath;

 protected:
  // The buffer's OnChange.
  virtual void DIBChanged();
  virtual std::unique_ptr<TMemoryDIB> CreateDIB() const;

 private:
  TCustomDIBImageList* List() const;
  std::unique_ptr<TMemoryDIB> dib_;
  std::string templateFilename_;
  std::string displayName_;
  bool imageLoaded_ = false;
  TImageRetrieval imageRetrieval_ = irInternal;
};

class TDIBImages : public framework::TCollection {
 public:
  TDIBImages(TCustomDIBImageList* owner, const framework::ClassInfo& itemClass);

  TCustomDIBImageList* ImageList() const { return list_; }
  TDIBImagesItem* Items(int index) const { return static_cast<TDIBImagesItem*>(TCollection::Items(index)); }
  TDIBImagesItem* Add() { return static_cast<TDIBImagesItem*>(TCollection::Add()); }
  // The first item whose TemplateFilename is "FileName:Number", or a new one
  // carrying that key.
  TDIBImagesItem* FindOrAddTemplate(const std::string& fileName, int number);

 protected:
  void Update(framework::TCollectionItem* item) override;

 private:
  TCustomDIBImageList* list_;
};

class TCustomDIBImageList : public framework::TComponent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TCustomDIBImageList(framework::TComponent* owner);
  ~TCustomDIBImageList() override;

  TDIBImages& DIBImages() { return *images_; }
  const TDIBImages& DIBImages() const { return *images_; }

  // The shared alias re-pointed at the item's pixels and settings (loading
  // the item first). The same object for every call; use it at once.
  TMemoryDIB& GetSharedDIB(int index);
  // False for a bad index or an item without data.
  bool GetImage(int index, TAbstractSuperDIB*& image);
  bool IsValidIndex(int index) const;
  int LinkCount() const { return static_cast<int>(links_.size()); }

  virtual void AddLink(TDIBImageLink* link);
  virtual void NotifyLinks(int index, int kind);
  virtual void MoveLinks(int oldIndex, int newIndex);
  virtual void RemoveLink(TDIBImageLink* link);
  virtual const framework::ClassInfo& GetItemClass() const;

  void Loaded() override;

 private:
  std::unique_ptr<TDIBImages> images_;
  std::vector<TDIBImageLink*> links_;
  TMemoryDIB shared_;
};

class TDIBImageList : public TCustomDIBImageList {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TDIBImageList(framework::TComponent* owner) : TCustomDIBImageList(owner) {}
};

class TDIBImageLink : public framework::TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  // owner: the control the link belongs to (may be null); notifications are
  // dropped while it is being destroyed.
  explicit TDIBImageLink(framework::TComponent* owner = nullptr);
  ~TDIBImageLink() override;
  TDIBImageLink(const TDIBImageLink&) = delete;
  TDIBImageLink& operator=(const TDIBImageLink&) = delete;

  framework::TComponent* Owner() const { return owner_; }
  TCustomDIBImageList* DIBImageList() const { return list_; }
  // Detaches from the old list and attaches to the new one, which announces
  // the link's image.
  void SetDIBImageList(TCustomDIBImageList* list);
  std::int32_t DIBIndex() const { return index_; }
  void SetDIBIndex(std::int32_t index);

  bool GetImage(TAbstractSuperDIB*& image) const;
  bool IsValid() const;

  using framework::TPersistent::Assign;
  void Assign(const framework::TPersistent& source) override;
  virtual void Notify(int index, int kind);

  TImageChangedEvent OnImageChanged;

 private:
  friend class TCustomDIBImageList;
  framework::TComponent* owner_;
  TCustomDIBImageList* list_ = nullptr;
  std::int32_t index_ = -1;
};

void RegisterImageListClasses();

}  // namespace image
