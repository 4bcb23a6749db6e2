#pragma once

// Published properties described at run time.
//
// Every persistent class has one ClassInfo: its name, its parent's ClassInfo,
// a factory when it can be created by name, and a table of property
// descriptors. The form reader and writer work only through these tables, so a
// class becomes loadable from a stored form by describing its properties once:
//
//   const ClassInfo& TKnob::StaticClassInfo() {
//     static const ClassInfo& info = ClassBuilder<TKnob, TControl>("TKnob")
//         .Integer("Position", [](TKnob& k) { return k.Position(); },
//                  [](TKnob& k, int v) { k.SetPosition(v); }).Default(0)
//         .Event("OnChange", [](TKnob& k) -> TNotifyEvent& { return k.OnChange; })
//         .Build();
//     return info;
//   }
//
// and registering it (RegisterClass) before a form naming it is read.

#include <any>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <type_traits>
#include <variant>
#include <vector>

#include "framework/core/Exception.h"

namespace framework {

class TStream;
class TPersistent;
class TComponent;
class TCollection;
class TCollectionItem;
class ClassInfo;

// A property name or path that does not exist, a value of the wrong kind, or a
// value the property cannot take.
class EPropertyError : public Exception {
 public:
  using Exception::Exception;
};

// Assign between classes that do not know each other.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// A class name missing from the registry while a form is read.
class EClassNotFound : public EReadError {
 public:
  using EReadError::EReadError;
};

// Root of the class tree; events name their sender through it.
class TObject {
 public:
  virtual ~TObject() = default;
};

// A handler bound to an event. It remembers the name of the published method
// it was bound to, so that a form written back names the same method.
template <class Sig>
class TEvent;

template <class R, class... A>
class TEvent<R(A...)> {
 public:
  using Function = std::function<R(A...)>;

  TEvent() = default;
  TEvent(Function fn, std::string methodName = {})  // NOLINT: converting on purpose
      : fn_(std::move(fn)), name_(std::move(methodName)) {}

  explicit operator bool() const { return static_cast<bool>(fn_); }
  R operator()(A... args) const { return fn_(std::forward<A>(args)...); }

  void Bind(Function fn, std::string methodName = {}) {
    fn_ = std::move(fn);
    name_ = std::move(methodName);
  }
  void Clear() {
    fn_ = nullptr;
    name_.clear();
  }
  const std::string& MethodName() const { return name_; }

 private:
  Function fn_;
  std::string name_;
};

using TNotifyEvent = TEvent<void(TObject* Sender)>;

// An identifier value: an enumeration name, a colour or cursor name, a method
// or component name.
struct Ident {
  std::string name;
  bool operator==(const Ident&) const = default;
};
using SetNames = std::vector<std::string>;
using Bytes = std::vector<std::uint8_t>;

// One typed value of a property. Nil stands for "no reference / no handler".
struct Value {
  struct Nil {
    bool operator==(const Nil&) const = default;
  };
  std::variant<Nil, bool, std::int64_t, long double, std::string, Ident, SetNames, Bytes> v;

  Value() = default;
  Value(bool b) : v(b) {}                              // NOLINT
  Value(int i) : v(static_cast<std::int64_t>(i)) {}    // NOLINT
  Value(std::int64_t i) : v(i) {}                      // NOLINT
  Value(long double d) : v(d) {}                       // NOLINT
  Value(double d) : v(static_cast<long double>(d)) {}  // NOLINT
  Value(std::string s) : v(std::move(s)) {}            // NOLINT
  Value(const char* s) : v(std::string(s)) {}          // NOLINT
  Value(Ident i) : v(std::move(i)) {}                  // NOLINT
  Value(SetNames s) : v(std::move(s)) {}               // NOLINT
  Value(Bytes b) : v(std::move(b)) {}                  // NOLINT

  bool operator==(const Value&) const = default;
  // "integer", "string", ... for error messages.
  const char* KindName() const;
};

enum class PropertyKind {
  Integer,  // 32-bit signed; may also accept and write identifiers (colours, cursors)
  Boolean,
  Extended,  // 80-bit floating point in the stream
  String,
  Enum,        // an identifier out of a fixed list
  Set,         // a set of identifiers out of a fixed list (at most 32)
  Binary,      // a defined property read and written through a stream
  Object,      // an owned sub-object whose properties are stored as Name.Sub
  Collection,  // an owned TCollection
  Event,       // a handler bound by method name
  Reference,   // a component reference, resolved after the whole form is read
};

// Names for integer values (colour and cursor names).
struct IdentMap {
  std::vector<std::pair<std::string, std::int32_t>> entries;
  const std::string* NameOf(std::int32_t value) const;
  bool ValueOf(std::string_view name, std::int32_t& value) const;
};

// A published method of a root class: given the instance, makes a
// std::function of the method's own signature, wrapped in std::any.
struct MethodInfo {
  std::string name;
  std::function<std::any(TPersistent&)> bind;
};

// A published field of a root class: a pointer that the form reader sets to
// the owned component of the same name (and that is cleared when it goes).
struct FieldInfo {
  std::string name;
  // Returns false when the component is not of the field's class.
  std::function<bool(TPersistent&, TComponent*)> set;
  std::function<TComponent*(TPersistent&)> get;
};

struct PropertyInfo {
  std::string name;
  PropertyKind kind = PropertyKind::Integer;
  bool defined = false;                       // written after all published properties
  const IdentMap* idents = nullptr;           // Integer
  std::vector<std::string> names;             // Enum, Set
  const ClassInfo* referenceClass = nullptr;  // Reference: the class it must inherit from

  // Value-typed access (all kinds but Object, Collection, Binary, Event).
  std::function<Value(TPersistent&)> get;
  std::function<void(TPersistent&, const Value&)> set;
  // Whether the writer stores the property; absent means always.
  std::function<bool(TPersistent&)> stored;

  std::function<TPersistent*(TPersistent&)> getObject;      // Object
  std::function<TCollection*(TPersistent&)> getCollection;  // Collection
  std::function<void(TPersistent&, TStream&)> readBinary;   // Binary: the stream holds the value
  std::function<void(TPersistent&, TStream&)> writeBinary;  // Binary
  std::function<void(TPersistent&, const std::any&, std::string)> bindEvent;  // Event; empty any clears
  std::function<std::string(TPersistent&)> eventName;                         // Event
  std::function<void(TPersistent&, TComponent*)> setReference;                // Reference
  std::function<TComponent*(TPersistent&)> getReference;                      // Reference
};

class ClassInfo {
 public:
  std::string name;
  const ClassInfo* parent = nullptr;
  // Factories; empty for abstract classes and for the other family.
  std::function<TComponent*(TComponent* owner)> createComponent;
  std::function<TCollectionItem*(TCollection* collection)> createItem;

  bool InheritsFrom(const ClassInfo& other) const;
  // Searches this class and its ancestors; letter case is ignored.
  const PropertyInfo* FindProperty(std::string_view propertyName) const;
  const MethodInfo* FindMethod(std::string_view methodName) const;
  const FieldInfo* FindField(std::string_view fieldName) const;
  // Every property in writing order: published ones from the root class
  // down, then defined ones from the root class down. A property redeclared
  // by a descendant keeps its ancestor's place.
  const std::vector<const PropertyInfo*>& AllProperties() const { return all_; }

 private:
  template <class T, class Base>
  friend class ClassBuilder;
  std::vector<std::unique_ptr<PropertyInfo>> own_;
  std::vector<MethodInfo> methods_;
  std::vector<FieldInfo> fields_;
  std::vector<const PropertyInfo*> all_;
  void Finish();
};

// Base of everything that can be stored in a form.
class TPersistent : public TObject {
 public:
  static const ClassInfo& StaticClassInfo();
  virtual const ClassInfo& GetClassInfo() const { return StaticClassInfo(); }
  const std::string& ClassName() const { return GetClassInfo().name; }

  // Copies source into this object. Falls back to source.AssignTo(*this);
  // raises EConvertError when neither side knows the other.
  virtual void Assign(const TPersistent& source);

 protected:
  virtual void AssignTo(TPersistent& dest) const;
};

// Declares StaticClassInfo/GetClassInfo in a persistent class.
#define PLONK_PERSISTENT_CLASS                                  \
 public:                                                        \
  static const ::framework::ClassInfo& StaticClassInfo();       \
  const ::framework::ClassInfo& GetClassInfo() const override { \
    return StaticClassInfo();                                   \
  }

// Class registry, searched without regard to letter case. Registering the same
// ClassInfo again is harmless; a different class under a taken name raises
// EPropertyError.
void RegisterClass(const ClassInfo& info);
const ClassInfo* FindClass(std::string_view name);
template <class... T>
void RegisterClasses() {
  (RegisterClass(T::StaticClassInfo()), ...);
}

// Get and set published properties by name or dotted path ("DIB.Width").
// Object, Collection and Event properties cannot be set this way; Reference
// properties can be set to Nil only. Raises EPropertyError.
Value GetPropertyValue(TPersistent& object, std::string_view path);
void SetPropertyValue(TPersistent& object, std::string_view path, const Value& value);
// Walks a dotted path to its last sub-object; returns that object and its
// property, or throws EPropertyError.
std::pair<TPersistent*, const PropertyInfo*> ResolvePropertyPath(TPersistent& object, std::string_view path);

bool SameText(std::string_view a, std::string_view b);

namespace detail {
[[noreturn]] void ThrowValueKind(const PropertyInfo& p, const Value& v, const char* expected);
std::int32_t ToInt32(const PropertyInfo& p, const Value& v);
template <class T>
struct MemberOf;
template <class C, class M>
struct MemberOf<M C::*> {
  using Member = M;
};
template <class Sig>
struct EventSig;
template <class Sig>
struct EventSig<TEvent<Sig>> {
  using Type = Sig;
};
}  // namespace detail

// Builds a ClassInfo for T (derived from Base). Factories are added when T
// can be constructed from an owner (components) or a collection (items).
template <class T, class Base = TPersistent>
class ClassBuilder {
 public:
  explicit ClassBuilder(std::string className) : info_(new ClassInfo) {
    info_->name = std::move(className);
    if constexpr (!std::is_same_v<T, Base>) info_->parent = &Base::StaticClassInfo();
    if constexpr (!std::is_abstract_v<T>) {
      if constexpr (std::is_base_of_v<TComponent, T> && std::is_constructible_v<T, TComponent*>)
        info_->createComponent = [](TComponent* owner) -> TComponent* { return new T(owner); };
      if constexpr (std::is_base_of_v<TCollectionItem, T> && std::is_constructible_v<T, TCollection*>)
        info_->createItem = [](TCollection* c) -> TCollectionItem* { return new T(c); };
    }
  }

  template <class G, class S>
  ClassBuilder& Integer(std::string name, G get, S set) {
    auto& p = Add(std::move(name), PropertyKind::Integer);
    p.get = [get](TPersistent& o) { return Value(static_cast<std::int64_t>(get(static_cast<T&>(o)))); };
    p.set = [set, &p](TPersistent& o, const Value& v) { set(static_cast<T&>(o), detail::ToInt32(p, v)); };
    return *this;
  }
  template <class G, class S>
  ClassBuilder& Boolean(std::string name, G get, S set) {
    auto& p = Add(std::move(name), PropertyKind::Boolean);
    p.get = [get](TPersistent& o) { return Value(static_cast<bool>(get(static_cast<T&>(o)))); };
    p.set = [set, &p](TPersistent& o, const Value& v) {
      const bool* b = std::get_if<bool>(&v.v);
      if (!b) detail::ThrowValueKind(p, v, "a boolean");
      set(static_cast<T&>(o), *b);
    };
    return *this;
  }
  template <class G, class S>
  ClassBuilder& Extended(std::string name, G get, S set) {
    auto& p = Add(std::move(name), PropertyKind::Extended);
    p.get = [get](TPersistent& o) { return Value(static_cast<long double>(get(static_cast<T&>(o)))); };
    p.set = [set, &p](TPersistent& o, const Value& v) {
      const long double* d = std::get_if<long double>(&v.v);
      if (!d) detail::ThrowValueKind(p, v, "an extended value");
      set(static_cast<T&>(o), *d);
    };
    return *this;
  }
  template <class G, class S>
  ClassBuilder& String(std::string name, G get, S set) {
    auto& p = Add(std::move(name), PropertyKind::String);
    p.get = [get](TPersistent& o) { return Value(std::string(get(static_cast<T&>(o)))); };
    p.set = [set, &p](TPersistent& o, const Value& v) {
      const std::string* s = std::get_if<std::string>(&v.v);
      if (!s) detail::ThrowValueKind(p, v, "a string");
      set(static_cast<T&>(o), *s);
    };
    return *this;
  }
  // get returns and set takes the ordinal (index into names).
  template <class G, class S>
  ClassBuilder& Enum(std::string name, std::vector<std::string> names, G get, S set) {
    auto& p = Add(std::move(name), PropertyKind::Enum);
    p.names = std::move(names);
    p.get = [get, &p](TPersistent& o) {
      const auto i = static_cast<std::int64_t>(get(static_cast<T&>(o)));
      if (i < 0 || i >= static_cast<std::int64_t>(p.names.size()))
        throw EPropertyError("Property " + p.name + " has no name for value " + std::to_string(i));
      return Value(Ident{p.names[static_cast<std::size_t>(i)]});
    };
    p.set = [set, &p](TPersistent& o, const Value& v) {
      const Ident* id = std::get_if<Ident>(&v.v);
      if (!id) detail::ThrowValueKind(p, v, "an identifier");
      for (std::size_t i = 0; i < p.names.size(); ++i)
        if (p.names[i] == id->name) return set(static_cast<T&>(o), static_cast<int>(i));
      throw EPropertyError("'" + id->name + "' is not a valid value of " + p.name);
    };
    return *this;
  }
  // get returns and set takes a bit mask; bit i stands for names[i].
  template <class G, class S>
  ClassBuilder& Set(std::string name, std::vector<std::string> names, G get, S set) {
    auto& p = Add(std::move(name), PropertyKind::Set);
    p.names = std::move(names);
    p.get = [get, &p](TPersistent& o) {
      const auto bits = static_cast<std::uint32_t>(get(static_cast<T&>(o)));
      SetNames out;
      for (std::size_t i = 0; i < p.names.size() && i < 32; ++i)
        if (bits & (1u << i)) out.push_back(p.names[i]);
      return Value(std::move(out));
    };
    p.set = [set, &p](TPersistent& o, const Value& v) {
      const SetNames* s = std::get_if<SetNames>(&v.v);
      if (!s) detail::ThrowValueKind(p, v, "a set");
      std::uint32_t bits = 0;
      for (const auto& n : *s) {
        std::size_t i = 0;
        while (i < p.names.size() && p.names[i] != n) ++i;
        if (i == p.names.size() || i >= 32)
          throw EPropertyError("'" + n + "' is not a valid element of " + p.name);
        bits |= 1u << i;
      }
      set(static_cast<T&>(o), bits);
    };
    return *this;
  }
  // A defined binary property: read gets a stream holding exactly the value,
  // write appends the value to a stream.
  template <class R, class W>
  ClassBuilder& Binary(std::string name, R read, W write) {
    auto& p = Add(std::move(name), PropertyKind::Binary);
    p.defined = true;
    p.readBinary = [read](TPersistent& o, TStream& s) { read(static_cast<T&>(o), s); };
    p.writeBinary = [write](TPersistent& o, TStream& s) { write(static_cast<T&>(o), s); };
    return *this;
  }
  // An owned sub-object; get returns a pointer to it (or null).
  template <class G>
  ClassBuilder& Object(std::string name, G get) {
    auto& p = Add(std::move(name), PropertyKind::Object);
    p.getObject = [get](TPersistent& o) -> TPersistent* { return get(static_cast<T&>(o)); };
    return *this;
  }
  template <class G>
  ClassBuilder& Collection(std::string name, G get) {
    auto& p = Add(std::move(name), PropertyKind::Collection);
    p.getCollection = [get](TPersistent& o) -> TCollection* { return get(static_cast<T&>(o)); };
    return *this;
  }
  // field returns a reference to the TEvent member.
  template <class F>
  ClassBuilder& Event(std::string name, F field) {
    using E = std::remove_reference_t<decltype(field(std::declval<T&>()))>;
    using Fn = typename E::Function;
    auto& p = Add(std::move(name), PropertyKind::Event);
    p.bindEvent = [field, &p](TPersistent& o, const std::any& fn, std::string method) {
      E& e = field(static_cast<T&>(o));
      if (!fn.has_value()) return e.Clear();
      const Fn* f = std::any_cast<Fn>(&fn);
      if (!f) throw EPropertyError("Method " + method + " does not match the type of event " + p.name);
      e.Bind(*f, std::move(method));
    };
    p.eventName = [field](TPersistent& o) { return field(static_cast<T&>(o)).MethodName(); };
    p.stored = [field](TPersistent& o) { return !field(static_cast<T&>(o)).MethodName().empty(); };
    return *this;
  }
  // A component reference of class C (or a descendant).
  template <class C, class G, class S>
  ClassBuilder& Reference(std::string name, G get, S set) {
    auto& p = Add(std::move(name), PropertyKind::Reference);
    p.referenceClass = &C::StaticClassInfo();
    p.getReference = [get](TPersistent& o) -> TComponent* { return get(static_cast<T&>(o)); };
    p.setReference = [set](TPersistent& o, TComponent* c) { set(static_cast<T&>(o), static_cast<C*>(c)); };
    p.stored = [get](TPersistent& o) { return get(static_cast<T&>(o)) != nullptr; };
    return *this;
  }

  // Modifiers of the property added last.
  ClassBuilder& Default(Value v) {
    auto get = last_->get;
    last_->stored = [get, v](TPersistent& o) { return !(get(o) == v); };
    return *this;
  }
  ClassBuilder& Stored(std::function<bool(T&)> pred) {
    last_->stored = [pred](TPersistent& o) { return pred(static_cast<T&>(o)); };
    return *this;
  }
  // Marks the property as defined (written after all published ones).
  ClassBuilder& Defined() {
    last_->defined = true;
    return *this;
  }
  ClassBuilder& Idents(const IdentMap& map) {
    last_->idents = &map;
    return *this;
  }

  // A published method, bound to events by name: Method("FormCreate", &T::FormCreate).
  template <class R, class C, class... A>
  ClassBuilder& Method(std::string name, R (C::*method)(A...)) {
    static_assert(std::is_base_of_v<C, T>);
    info_->methods_.push_back(MethodInfo{std::move(name), [method](TPersistent& o) -> std::any {
                                           T* self = &static_cast<T&>(o);
                                           return std::function<R(A...)>([self, method](A... a) {
                                             return (self->*method)(std::forward<A>(a)...);
                                           });
                                         }});
    return *this;
  }
  // A published field: Field("step1", &T::step1) where step1 is a C* member.
  template <class C>
  ClassBuilder& Field(std::string name, C* T::*member) {
    info_->fields_.push_back(
        FieldInfo{std::move(name),
                  [member](TPersistent& o, TComponent* c) {
                    C* typed = c ? dynamic_cast<C*>(c) : nullptr;
                    if (c && !typed) return false;
                    static_cast<T&>(o).*member = typed;
                    return true;
                  },
                  [member](TPersistent& o) -> TComponent* { return static_cast<T&>(o).*member; }});
    return *this;
  }

  // Finishes the description; the ClassInfo lives for the whole process.
  const ClassInfo& Build() {
    info_->Finish();
    return *info_.release();
  }

 private:
  std::unique_ptr<ClassInfo> info_;
  PropertyInfo* last_ = nullptr;

  PropertyInfo& Add(std::string name, PropertyKind kind) {
    auto p = std::make_unique<PropertyInfo>();
    p->name = std::move(name);
    p->kind = kind;
    last_ = p.get();
    info_->own_.push_back(std::move(p));
    return *last_;
  }
};

}  // namespace framework
