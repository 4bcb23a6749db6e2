#include "framework/core/Persistent.h"

#include <algorithm>
#include <limits>
#include <map>
#include <mutex>

#include "framework/core/Component.h"
#include "framework/core/Stream.h"

namespace framework {

bool SameText(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

const char* Value::KindName() const {
  switch (v.index()) {
    case 0:
      return "nil";
    case 1:
      return "boolean";
    case 2:
      return "integer";
    case 3:
      return "extended";
    case 4:
      return "string";
    case 5:
      return "identifier";
    case 6:
      return "set";
    default:
      return "binary";
  }
}

const std::string* IdentMap::NameOf(std::int32_t value) const {
  for (const auto& [name, v] : entries)
    if (v == value) return &name;
  return nullptr;
}

bool IdentMap::ValueOf(std::string_view name, std::int32_t& value) const {
  for (const auto& [n, v] : entries)
    if (SameText(n, name)) {
      value = v;
      return true;
    }
  return false;
}

namespace detail {

void ThrowValueKind(const PropertyInfo& p, const Value& v, const char* expected) {
  throw EPropertyError("Property " + p.name + " expects " + expected + ", not a value of kind " +
                       v.KindName());
}

std::int32_t ToInt32(const PropertyInfo& p, const Value& v) {
  if (const auto* i = std::get_if<std::int64_t>(&v.v)) {
    if (*i < std::numeric_limits<std::int32_t>::min() || *i > std::numeric_limits<std::int32_t>::max())
      throw EPropertyError("Value " + std::to_string(*i) + " is out of range for property " + p.name);
    return static_cast<std::int32_t>(*i);
  }
  if (const auto* id = std::get_if<Ident>(&v.v)) {
    std::int32_t out = 0;
    if (p.idents && p.idents->ValueOf(id->name, out)) return out;
    if (p.idents) throw EPropertyError("'" + id->name + "' is not a valid value of " + p.name);
  }
  ThrowValueKind(p, v, "an integer");
}

}  // namespace detail

bool ClassInfo::InheritsFrom(const ClassInfo& other) const {
  for (const ClassInfo* c = this; c; c = c->parent)
    if (c == &other) return true;
  return false;
}

const PropertyInfo* ClassInfo::FindProperty(std::string_view propertyName) const {
  for (const ClassInfo* c = this; c; c = c->parent)
    for (const auto& p : c->own_)
      if (SameText(p->name, propertyName)) return p.get();
  return nullptr;
}

const MethodInfo* ClassInfo::FindMethod(std::string_view methodName) const {
  for (const ClassInfo* c = this; c; c = c->parent)
    for (const auto& m : c->methods_)
      if (SameText(m.name, methodName)) return &m;
  return nullptr;
}

const FieldInfo* ClassInfo::FindField(std::string_view fieldName) const {
  for (const ClassInfo* c = this; c; c = c->parent)
    for (const auto& f : c->fields_)
      if (SameText(f.name, fieldName)) return &f;
  return nullptr;
}

void ClassInfo::Finish() {
  std::vector<const PropertyInfo*> published, defined;
  if (parent)
    for (const PropertyInfo* p : parent->all_) (p->defined ? defined : published).push_back(p);
  for (const auto& own : own_) {
    auto& list = own->defined ? defined : published;
    auto same = std::find_if(list.begin(), list.end(),
                             [&](const PropertyInfo* p) { return SameText(p->name, own->name); });
    if (same != list.end())
      *same = own.get();
    else
      list.push_back(own.get());
  }
  all_ = std::move(published);
  all_.insert(all_.end(), defined.begin(), defined.end());
}

const ClassInfo& TPersistent::StaticClassInfo() {
  static const ClassInfo& info = ClassBuilder<TPersistent, TPersistent>("TPersistent").Build();
  return info;
}

void TPersistent::Assign(const TPersistent& source) {
  source.AssignTo(*this);
}

void TPersistent::AssignTo(TPersistent& dest) const {
  throw EConvertError("Cannot assign a " + ClassName() + " to a " + dest.ClassName());
}

namespace {

struct Registry {
  std::mutex mutex;
  std::map<std::string, const ClassInfo*> byName;  // lower-case keys
};

Registry& TheRegistry() {
  static Registry r;
  return r;
}

std::string Lower(std::string_view s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

}  // namespace

void RegisterClass(const ClassInfo& info) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto [it, inserted] = r.byName.emplace(Lower(info.name), &info);
  if (!inserted && it->second != &info)
    throw EPropertyError("A class named " + info.name + " is already registered");
}

const ClassInfo* FindClass(std::string_view name) {
  Registry& r = TheRegistry();
  std::lock_guard lock(r.mutex);
  auto it = r.byName.find(Lower(name));
  return it == r.byName.end() ? nullptr : it->second;
}

std::pair<TPersistent*, const PropertyInfo*> ResolvePropertyPath(TPersistent& object, std::string_view path) {
  TPersistent* target = &object;
  std::string_view rest = path;
  for (;;) {
    const std::size_t dot = rest.find('.');
    const std::string_view head = rest.substr(0, dot);
    const PropertyInfo* p = target->GetClassInfo().FindProperty(head);
    if (!p)
      throw EPropertyError("Property " + std::string(path) + " does not exist in " + object.ClassName());
    if (dot == std::string_view::npos) return {target, p};
    if (p->kind != PropertyKind::Object)
      throw EPropertyError("Property " + std::string(head) + " of " + target->ClassName() +
                           " has no sub-properties");
    TPersistent* sub = p->getObject(*target);
    if (!sub)
      throw EPropertyError("Property " + std::string(head) + " of " + target->ClassName() + " is empty");
    target = sub;
    rest = rest.substr(dot + 1);
  }
}

Value GetPropertyValue(TPersistent& object, std::string_view path) {
  auto [target, p] = ResolvePropertyPath(object, path);
  switch (p->kind) {
    case PropertyKind::Event: {
      std::string name = p->eventName(*target);
      return name.empty() ? Value() : Value(Ident{std::move(name)});
    }
    case PropertyKind::Reference: {
      TComponent* c = p->getReference(*target);
      return c ? Value(Ident{c->Name()}) : Value();
    }
    case PropertyKind::Binary: {
      TMemoryStream s;
      p->writeBinary(*target, s);
      return Value(std::move(s.Bytes()));
    }
    case PropertyKind::Object:
    case PropertyKind::Collection:
      throw EPropertyError("Property " + std::string(path) + " has no single value");
    default:
      return p->get(*target);
  }
}

void SetPropertyValue(TPersistent& object, std::string_view path, const Value& value) {
  auto [target, p] = ResolvePropertyPath(object, path);
  switch (p->kind) {
    case PropertyKind::Reference:
      if (!std::holds_alternative<Value::Nil>(value.v))
        throw EPropertyError("Property " + std::string(path) + " takes a component, not a value");
      p->setReference(*target, nullptr);
      return;
    case PropertyKind::Binary: {
      const Bytes* b = std::get_if<Bytes>(&value.v);
      if (!b) detail::ThrowValueKind(*p, value, "binary data");
      TReadOnlyMemoryStream s(*b);
      p->readBinary(*target, s);
      return;
    }
    case PropertyKind::Event:
    case PropertyKind::Object:
    case PropertyKind::Collection:
      throw EPropertyError("Property " + std::string(path) + " cannot be set to a value");
    default:
      p->set(*target, value);
  }
}

}  // namespace framework
