#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/core/Persistent.h"

namespace framework {

// Misuse of names and ownership.
class EComponentError : public Exception {
 public:
  using Exception::Exception;
};

enum class Operation { Insert, Remove };

enum ComponentStateFlag : std::uint32_t {
  csLoading = 1u << 0,     // between creation by a form reader and Loaded
  csReading = 1u << 1,     // while its own properties are being read
  csDestroying = 1u << 2,  // from Destroying on; notifications to it are pointless
};

// A named object with an owner. The owner destroys what it owns (last created
// first) and tells every owned component of each insertion and removal;
// components that asked for a free notification of each other are told when
// either is destroyed.
//
// Notification overrides must call the base version: it forwards the notice to
// the owned components, forgets free notifications and clears a published
// field that pointed at a removed component. Components notified from the
// destructor of a component see it already reduced to TComponent; compare the
// pointer, do not call it.
class TComponent : public TPersistent {
  PLONK_PERSISTENT_CLASS
 public:
  explicit TComponent(TComponent* owner);
  ~TComponent() override;
  TComponent(const TComponent&) = delete;
  TComponent& operator=(const TComponent&) = delete;

  const std::string& Name() const { return name_; }
  // A valid identifier or empty; unique (ignoring letter case) among the
  // owner's components. Raises EComponentError.
  void SetName(const std::string& name);
  std::int32_t Tag() const { return tag_; }
  void SetTag(std::int32_t tag) { tag_ = tag; }

  TComponent* Owner() const { return owner_; }
  int ComponentCount() const { return static_cast<int>(components_.size()); }
  TComponent* Components(int index) const { return components_.at(static_cast<std::size_t>(index)); }
  int ComponentIndex() const;
  // The owned component of that name, letter case ignored; null when none
  // (and for an empty name).
  TComponent* FindComponent(std::string_view name) const;

  void InsertComponent(TComponent* component);
  void RemoveComponent(TComponent* component);
  void DestroyComponents();
  // Marks this component and everything it owns as being destroyed.
  void Destroying();

  void FreeNotification(TComponent* component);
  void RemoveFreeNotification(TComponent* component);

  std::uint32_t ComponentState() const { return state_; }
  bool IsLoading() const { return (state_ & csLoading) != 0; }
  bool IsDestroying() const { return (state_ & csDestroying) != 0; }

  // Form structure. A component that lives inside another one in a form (a
  // control inside its container) answers HasParent true; the form reader
  // calls SetParentComponent with the object it was nested in, and the writer
  // asks GetChildren which owned components to write nested inside this one.
  virtual bool HasParent() const { return false; }
  virtual TComponent* GetParentComponent() const { return nullptr; }
  virtual void SetParentComponent(TComponent* /*parent*/) {}
  // Default: for the root, every owned component that has no parent or whose
  // parent is the root, in creation order; for others, none.
  virtual void GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root);

  // Called once after the whole form is read and its references resolved.
  virtual void Loaded();

  void SetComponentState(std::uint32_t flags) { state_ |= flags; }
  void ClearComponentState(std::uint32_t flags) { state_ &= ~flags; }

 protected:
  virtual void Notification(TComponent* component, Operation operation);
  static bool IsValidName(std::string_view name);

 private:
  std::string name_;
  std::int32_t tag_ = 0;
  TComponent* owner_ = nullptr;
  std::uint32_t state_ = 0;
  std::vector<TComponent*> components_;
  std::vector<TComponent*> freeNotifies_;
};

}  // namespace framework
