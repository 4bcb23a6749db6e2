#include "framework/core/Component.h"

#include <algorithm>

namespace framework {

const ClassInfo& TComponent::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TComponent, TPersistent>("TComponent")
                                     .Integer(
                                         "Tag", [](TComponent& c) { return c.Tag(); },
                                         [](TComponent& c, std::int32_t v) { c.SetTag(v); })
                                     .Default(0)
                                     .Build();
  return info;
}

TComponent::TComponent(TComponent* owner) {
  if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
  Destroying();
  // Tell everyone who asked; each of them drops us from its own list.
  while (!freeNotifies_.empty()) {
    TComponent* other = freeNotifies_.back();
    freeNotifies_.pop_back();
    auto& back = other->freeNotifies_;
    back.erase(std::remove(back.begin(), back.end(), this), back.end());
    other->Notification(this, Operation::Remove);
  }
  DestroyComponents();
  if (owner_) owner_->RemoveComponent(this);
}

bool TComponent::IsValidName(std::string_view name) {
  if (name.empty()) return true;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(name[0])) return false;
  return std::all_of(name.begin(), name.end(), [&](char c) { return alpha(c) || (c >= '0' && c <= '9'); });
}

void TComponent::SetName(const std::string& name) {
  if (name == name_) return;
  if (!IsValidName(name)) throw EComponentError("'" + name + "' is not a valid component name");
  if (owner_ && !name.empty()) {
    TComponent* same = owner_->FindComponent(name);
    if (same && same != this) throw EComponentError("A component named " + name + " already exists");
  }
  name_ = name;
}

int TComponent::ComponentIndex() const {
  if (!owner_) return -1;
  auto& list = owner_->components_;
  auto it = std::find(list.begin(), list.end(), this);
  return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

TComponent* TComponent::FindComponent(std::string_view name) const {
  if (name.empty()) return nullptr;
  for (TComponent* c : components_)
    if (SameText(c->name_, name)) return c;
  return nullptr;
}

void TComponent::InsertComponent(TComponent* component) {
  if (!component || component->owner_ == this) return;
  if (!component->name_.empty() && FindComponent(component->name_))
    throw EComponentError("A component named " + component->name_ + " already exists");
  if (component->owner_) component->owner_->RemoveComponent(component);
  components_.push_back(component);
  component->owner_ = this;
  Notification(component, Operation::Insert);
}

void TComponent::RemoveComponent(TComponent* component) {
  if (!component || component->owner_ != this) return;
  Notification(component, Operation::Remove);
  components_.erase(std::remove(components_.begin(), components_.end(), component), components_.end());
  component->owner_ = nullptr;
}

void TComponent::DestroyComponents() {
  // Last created goes first; each is removed (and everyone told) while it is
  // still whole, then deleted.
  while (!components_.empty()) {
    TComponent* c = components_.back();
    c->Destroying();
    RemoveComponent(c);
    delete c;
  }
}

void TComponent::Destroying() {
  if (IsDestroying()) return;
  state_ |= csDestroying;
  for (TComponent* c : components_) c->Destroying();
}

void TComponent::FreeNotification(TComponent* component) {
  if (!component || component == this) return;
  if (std::find(freeNotifies_.begin(), freeNotifies_.end(), component) == freeNotifies_.end())
    freeNotifies_.push_back(component);
  auto& back = component->freeNotifies_;
  if (std::find(back.begin(), back.end(), this) == back.end()) back.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* component) {
  if (!component) return;
  freeNotifies_.erase(std::remove(freeNotifies_.begin(), freeNotifies_.end(), component),
                      freeNotifies_.end());
  auto& back = component->freeNotifies_;
  back.erase(std::remove(back.begin(), back.end(), this), back.end());
}

void TComponent::GetChildren(const std::function<void(TComponent*)>& proc, TComponent* root) {
  if (root != this) return;
  // Copy first: a callback may not change the list, but be safe against it.
  const std::vector<TComponent*> owned = components_;
  for (TComponent* c : owned)
    if (!c->HasParent() || c->GetParentComponent() == this) proc(c);
}

void TComponent::Loaded() {
  state_ &= ~csLoading;
}

void TComponent::Notification(TComponent* component, Operation operation) {
  if (operation == Operation::Remove && component) {
    RemoveFreeNotification(component);
    if (component->owner_ == this && !component->name_.empty()) {
      if (const FieldInfo* f = GetClassInfo().FindField(component->name_); f && f->get(*this) == component)
        f->set(*this, nullptr);
    }
  }
  // A copy: a component told of a removal may delete others it owns, but
  // never our own list; still, do not iterate a vector that could move.
  const std::vector<TComponent*> owned = components_;
  for (TComponent* c : owned) c->Notification(component, operation);
}

}  // namespace framework
