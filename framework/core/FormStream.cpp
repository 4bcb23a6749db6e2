#include "framework/core/FormStream.h"

#include <cmath>
#include <cstring>
#include <exception>

#include "framework/core/Collection.h"

namespace framework {

namespace form {

void EncodeExtended(long double value, std::uint8_t out[10]) {
  std::uint64_t significand = 0;
  std::uint32_t exponent = 0;
  const bool negative = std::signbit(value);
  if (std::isnan(value)) {
    exponent = 0x7FFF;
    significand = 0xC000000000000000ull;
  } else if (std::isinf(value)) {
    exponent = 0x7FFF;
    significand = 0x8000000000000000ull;
  } else if (value != 0) {
    int e = 0;
    const long double m = std::frexp(std::fabs(value), &e);  // |value| = m * 2^e, m in [0.5, 1)
    int biased = e - 1 + 16383;
    significand = static_cast<std::uint64_t>(std::ldexp(m, 64));
    if (biased <= 0) {  // below the normal range: denormal, integer bit clear
      const int shift = 1 - biased;
      significand = shift >= 64 ? 0 : significand >> shift;
      biased = 0;
    } else if (biased >= 0x7FFF) {  // beyond the format: infinity
      biased = 0x7FFF;
      significand = 0x8000000000000000ull;
    }
    exponent = static_cast<std::uint32_t>(biased);
  }
  for (int i = 0; i < 8; ++i) out[i] = static_cast<std::uint8_t>(significand >> (8 * i));
  const std::uint32_t top = exponent | (negative ? 0x8000u : 0u);
  out[8] = static_cast<std::uint8_t>(top);
  out[9] = static_cast<std::uint8_t>(top >> 8);
}

long double DecodeExtended(const std::uint8_t in[10]) {
  std::uint64_t significand = 0;
  for (int i = 0; i < 8; ++i) significand |= static_cast<std::uint64_t>(in[i]) << (8 * i);
  const std::uint32_t top = in[8] | (static_cast<std::uint32_t>(in[9]) << 8);
  const bool negative = (top & 0x8000u) != 0;
  const int exponent = static_cast<int>(top & 0x7FFFu);
  long double value;
  if (exponent == 0x7FFF) {
    value = (significand << 1) == 0 ? HUGE_VALL : std::nanl("");
  } else {
    value = std::ldexp(static_cast<long double>(significand), (exponent == 0 ? 1 : exponent) - 16383 - 63);
  }
  return negative ? -value : value;
}

}  // namespace form

namespace {

using namespace form;

bool IsIdent(std::string_view s) {
  if (s.empty()) return false;
  auto alpha = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_'; };
  if (!alpha(s[0])) return false;
  for (char c : s)
    if (!alpha(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

// One read: the context for messages, pending references, what was created.
class Reader {
 public:
  Reader(TStream& stream, TComponent* root) : s_(stream), root_(root) {}

  struct Fixup {
    TPersistent* instance;
    const PropertyInfo* property;
    std::string name;
    std::string context;
  };

  TStream& s_;
  TComponent* root_;
  int depth_ = 0;
  std::vector<std::string> context_;
  std::vector<Fixup> fixups_;
  std::vector<TComponent*> created_;

  std::string Context() const {
    std::string out;
    for (const auto& part : context_) {
      if (!out.empty() && part[0] != '[') out += '.';
      out += part;
    }
    return out.empty() ? "form" : out;
  }

  [[noreturn]] void Fail(const std::string& reason) const {
    throw EReadError("Error reading " + Context() + ": " + reason);
  }

  // Runs a call into a component; its failure is reported with our context
  // and the original nested.
  template <class F>
  void Guard(F&& f) {
    try {
      f();
    } catch (const Exception& e) {
      std::throw_with_nested(EReadError("Error reading " + Context() + ": " + e.what()));
    }
  }

  std::uint8_t U8() {
    std::uint8_t b;
    if (s_.Read(&b, 1) != 1) Fail("Unexpected end of stream");
    return b;
  }
  void Bytes(void* out, std::size_t n) {
    if (n && s_.Read(out, n) != n) Fail("Unexpected end of stream");
  }
  std::uint32_t Length(std::uint32_t max, const char* what) {
    std::uint8_t b[4];
    Bytes(b, 4);
    const std::uint32_t n = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
    if (n > max) Fail(std::string(what) + " of " + std::to_string(n) + " bytes is longer than allowed");
    if (static_cast<std::int64_t>(n) > s_.Remaining())
      Fail(std::string(what) + " of " + std::to_string(n) + " bytes runs past the end of the stream");
    return n;
  }
  std::string Name(std::uint8_t length) {
    std::string out(length, '\0');
    Bytes(out.data(), length);
    return out;
  }
  std::string Ident(std::uint8_t length) {
    std::string out = Name(length);
    if (!IsIdent(out)) Fail("Invalid identifier in stream");
    return out;
  }

  Value ReadValue(std::uint8_t tag) {
    switch (tag) {
      case kFalse:
        return Value(false);
      case kTrue:
        return Value(true);
      case kInt8:
        return Value(static_cast<std::int64_t>(static_cast<std::int8_t>(U8())));
      case kInt16: {
        std::uint8_t b[2];
        Bytes(b, 2);
        return Value(static_cast<std::int64_t>(static_cast<std::int16_t>(b[0] | (b[1] << 8))));
      }
      case kInt32: {
        std::uint8_t b[4];
        Bytes(b, 4);
        const std::uint32_t u = b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
        return Value(static_cast<std::int64_t>(static_cast<std::int32_t>(u)));
      }
      case kExtended: {
        std::uint8_t b[10];
        Bytes(b, 10);
        return Value(DecodeExtended(b));
      }
      case kNil:
        return Value();
      case kString: {
        std::string out(Length(kMaxString, "A string"), '\0');
        Bytes(out.data(), out.size());
        return Value(std::move(out));
      }
      case kIdent:
        return Value(framework::Ident{Ident(U8())});
      case kSet: {
        SetNames names;
        for (std::uint8_t n = U8(); n != 0; n = U8()) {
          if (names.size() >= 32) Fail("A set has more than 32 elements");
          names.push_back(Ident(n));
        }
        return Value(std::move(names));
      }
      case kBinary: {
        std::vector<std::uint8_t> out(Length(kMaxBinary, "A binary value"));
        Bytes(out.data(), out.size());
        return Value(std::move(out));
      }
      default: {
        char hex[8];
        std::snprintf(hex, sizeof hex, "0x%02X", tag);
        Fail(std::string("Invalid value tag ") + hex);
      }
    }
  }

  void Enter() {
    if (++depth_ > kMaxDepth) Fail("Form is nested deeper than " + std::to_string(kMaxDepth) + " levels");
  }

  // A property list up to its end marker.
  void ReadProperties(TPersistent& object) {
    std::vector<std::pair<TPersistent*, const PropertyInfo*>> seen;
    for (std::uint8_t n = U8(); n != 0; n = U8()) {
      const std::string path = Name(n);
      context_.push_back(path);
      ReadProperty(object, path, seen);
      context_.pop_back();
    }
  }

  void ReadProperty(TPersistent& object, const std::string& path,
                    std::vector<std::pair<TPersistent*, const PropertyInfo*>>& seen) {
    TPersistent* target = nullptr;
    const PropertyInfo* p = nullptr;
    try {
      std::tie(target, p) = ResolvePropertyPath(object, path);
    } catch (const EPropertyError& e) {
      Fail(e.what());
    }
    for (const auto& [t, q] : seen)
      if (t == target && q == p) Fail("Property " + path + " is stored twice");
    seen.emplace_back(target, p);

    const std::uint8_t tag = U8();
    switch (p->kind) {
      case PropertyKind::Collection: {
        if (tag != kCollection) Fail("Property " + p->name + " expects a collection");
        TCollection* collection = p->getCollection(*target);
        if (!collection) Fail("Property " + p->name + " has no collection");
        ReadCollection(*collection);
        return;
      }
      case PropertyKind::Object:
        Fail("Property " + p->name + " is an object; store its properties instead");
      case PropertyKind::Binary: {
        if (tag != kBinary) Fail("Property " + p->name + " expects binary data");
        const std::uint32_t n = Length(kMaxBinary, "A binary value");
        if (const std::uint8_t* inPlace = s_.Peek(n)) {
          // A form in memory hands the value over where it lies, and says
          // whether those bytes last (pictures are megabytes).
          TReadOnlyMemoryStream data(std::span<const std::uint8_t>(inPlace, n), s_.Lasting());
          Guard([&] { p->readBinary(*target, data); });
          s_.Seek(n, SeekOrigin::Current);
          return;
        }
        std::vector<std::uint8_t> bytes(n);
        Bytes(bytes.data(), n);
        TReadOnlyMemoryStream data(bytes);
        Guard([&] { p->readBinary(*target, data); });
        return;
      }
      case PropertyKind::Event: {
        const Value v = ReadValue(tag);
        if (std::holds_alternative<Value::Nil>(v.v))
          return Guard([&] { p->bindEvent(*target, std::any(), ""); });
        const auto* id = std::get_if<framework::Ident>(&v.v);
        if (!id) Fail("Property " + p->name + " expects a method name");
        const MethodInfo* m = root_->GetClassInfo().FindMethod(id->name);
        if (!m) Fail("Method " + id->name + " is not published by " + root_->ClassName());
        Guard([&] { p->bindEvent(*target, m->bind(*root_), m->name); });
        return;
      }
      case PropertyKind::Reference: {
        const Value v = ReadValue(tag);
        if (std::holds_alternative<Value::Nil>(v.v)) return Guard([&] { p->setReference(*target, nullptr); });
        const auto* id = std::get_if<framework::Ident>(&v.v);
        if (!id) Fail("Property " + p->name + " expects a component name");
        fixups_.push_back(Fixup{target, p, id->name, Context()});
        return;
      }
      default: {
        const Value v = ReadValue(tag);
        Guard([&] { p->set(*target, v); });
      }
    }
  }

  void ReadCollection(TCollection& collection) {
    collection.BeginUpdate();
    struct EndUpdate {
      TCollection& c;
      ~EndUpdate() { c.EndUpdate(); }
    } end{collection};
    Guard([&] { collection.Clear(); });
    const std::string name = context_.back();
    for (std::uint8_t tag = U8(); tag != kEnd; tag = U8()) {
      if (tag != kItem) Fail("Invalid collection item marker");
      TCollectionItem* item = nullptr;
      Guard([&] { item = collection.Add(); });
      // Appended, not "[" + ...: GCC 12 at -O3 warns falsely (-Wrestrict) on a literal plus a temporary.
      context_.push_back(std::string("[").append(std::to_string(collection.Count() - 1)).append("]"));
      Enter();
      ReadProperties(*item);
      --depth_;
      context_.pop_back();
    }
  }

  // One object header and everything inside it. parent is null for the top.
  TComponent* ReadObject(std::uint8_t classLength, TComponent* parent) {
    const std::string className = Ident(classLength);
    const std::uint8_t nameLength = U8();
    const std::string name = nameLength ? Ident(nameLength) : std::string();
    context_.push_back(name.empty() ? className : name);
    Enter();

    TComponent* component = nullptr;
    if (!parent && root_) {
      if (!SameText(className, root_->ClassName()))
        Fail("The form is a " + className + ", not a " + root_->ClassName());
      component = root_;
      Guard([&] { root_->SetName(name); });
    } else {
      const ClassInfo* info = FindClass(className);
      if (!info) throw EClassNotFound("Error reading " + Context() + ": Class " + className + " not found");
      if (!info->createComponent) Fail("Class " + className + " is not a component class");
      if (root_ && !name.empty() && (root_->FindComponent(name) || SameText(name, root_->Name())))
        Fail("A component named " + name + " already exists");
      Guard([&] { component = info->createComponent(root_); });
      if (!root_) root_ = component;
      created_.push_back(component);
      component->SetComponentState(csLoading);
      Guard([&] { component->SetName(name); });
      if (component != root_ && !name.empty()) {
        if (const FieldInfo* f = root_->GetClassInfo().FindField(name); f && !f->set(*root_, component))
          Fail("Field " + f->name + " of " + root_->ClassName() + " cannot hold a " + className);
      }
      if (parent) {
        if (parent != root_ && !component->HasParent())
          Fail("A " + className + " cannot be placed inside " +
               (parent->Name().empty() ? parent->ClassName() : parent->Name()));
        if (component->HasParent()) Guard([&] { component->SetParentComponent(parent); });
      }
    }
    component->SetComponentState(csLoading | csReading);
    ReadProperties(*component);
    component->ClearComponentState(csReading);
    for (std::uint8_t n = U8(); n != 0; n = U8()) ReadObject(n, component);
    context_.pop_back();
    --depth_;
    return component;
  }

  void ReadSignature() {
    char sig[4];
    if (s_.Read(sig, 4) != 4 || std::memcmp(sig, kSignature, 4) != 0)
      Fail("The stream is not a form (no TPF0 signature)");
  }

  void Resolve() {
    for (const Fixup& f : fixups_) {
      TComponent* c = SameText(f.name, root_->Name()) ? root_ : root_->FindComponent(f.name);
      const std::string prefix = "Error reading " + f.context + ": ";
      if (!c) throw EReadError(prefix + "Component " + f.name + " does not exist");
      if (!c->GetClassInfo().InheritsFrom(*f.property->referenceClass))
        throw EReadError(prefix + "Component " + f.name + " is not a " + f.property->referenceClass->name);
      try {
        f.property->setReference(*f.instance, c);
      } catch (const Exception& e) {
        std::throw_with_nested(EReadError(prefix + e.what()));
      }
    }
    fixups_.clear();
  }

  void Finish(TComponent& top) {
    Resolve();
    std::vector<TComponent*> order{&top};
    for (TComponent* c : created_)
      if (c != &top) order.push_back(c);
    context_.clear();
    for (TComponent* c : order) {
      context_.assign(1, c->Name().empty() ? c->ClassName() : c->Name());
      Guard([&] { c->Loaded(); });
    }
  }
};

// Every component made by a failed read goes, newest first.
void DestroyCreatedSince(TComponent& root, int count) {
  while (root.ComponentCount() > count) delete root.Components(root.ComponentCount() - 1);
}

void ClearLoading(TComponent& c) {
  c.ClearComponentState(csLoading | csReading);
  for (int i = 0; i < c.ComponentCount(); ++i) c.Components(i)->ClearComponentState(csLoading | csReading);
}

}  // namespace

void FormReader::ReadRootComponent(TComponent& root) {
  const int before = root.ComponentCount();
  Reader r(stream_, &root);
  try {
    r.ReadSignature();
    const std::uint8_t n = r.U8();
    if (n == 0) r.Fail("The form has no object");
    r.ReadObject(n, nullptr);
    r.Finish(root);
  } catch (...) {
    DestroyCreatedSince(root, before);
    ClearLoading(root);
    throw;
  }
}

std::unique_ptr<TComponent> FormReader::ReadComponent() {
  Reader r(stream_, nullptr);
  std::unique_ptr<TComponent> top;
  r.ReadSignature();
  const std::uint8_t n = r.U8();
  if (n == 0) r.Fail("The form has no object");
  try {
    r.ReadObject(n, nullptr);
  } catch (...) {
    delete r.root_;
    throw;
  }
  top.reset(r.root_);
  r.Finish(*top);
  return top;
}

void FormReader::ReadProperties(TPersistent& object, TComponent& root) {
  Reader r(stream_, &root);
  r.context_.push_back(root.Name().empty() ? root.ClassName() : root.Name());
  r.ReadProperties(object);
  r.Resolve();
}

namespace {

class Writer {
 public:
  explicit Writer(TStream& s) : s_(s) {}

  TStream& s_;
  TComponent* root_ = nullptr;
  int depth_ = 0;

  void Name(std::string_view name) {
    if (name.size() > 255)
      throw EWriteError("Name too long for a form: " + std::string(name.substr(0, 40)) + "...");
    s_.WriteU8(static_cast<std::uint8_t>(name.size()));
    s_.WriteBuffer(name.data(), name.size());
  }

  void Integer(std::int64_t v) {
    if (v >= -128 && v <= 127) {
      s_.WriteU8(kInt8);
      s_.WriteU8(static_cast<std::uint8_t>(v));
    } else if (v >= -32768 && v <= 32767) {
      s_.WriteU8(kInt16);
      s_.WriteU16(static_cast<std::uint16_t>(v));
    } else {
      s_.WriteU8(kInt32);
      s_.WriteU32(static_cast<std::uint32_t>(v));
    }
  }

  void Length(std::size_t n) {
    if (n > 0xFFFFFFFFu) throw EWriteError("Value too long for a form");
    s_.WriteU32(static_cast<std::uint32_t>(n));
  }

  void WriteValue(const Value& value) {
    std::visit(
        [&](const auto& x) {
          using X = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<X, Value::Nil>) {
            s_.WriteU8(kNil);
          } else if constexpr (std::is_same_v<X, bool>) {
            s_.WriteU8(x ? kTrue : kFalse);
          } else if constexpr (std::is_same_v<X, std::int64_t>) {
            Integer(x);
          } else if constexpr (std::is_same_v<X, long double>) {
            std::uint8_t b[10];
            EncodeExtended(x, b);
            s_.WriteU8(kExtended);
            s_.WriteBuffer(b, 10);
          } else if constexpr (std::is_same_v<X, std::string>) {
            s_.WriteU8(kString);
            Length(x.size());
            s_.WriteBuffer(x.data(), x.size());
          } else if constexpr (std::is_same_v<X, Ident>) {
            s_.WriteU8(kIdent);
            Name(x.name);
          } else if constexpr (std::is_same_v<X, SetNames>) {
            s_.WriteU8(kSet);
            for (const auto& n : x) Name(n);
            s_.WriteU8(kEnd);
          } else {
            s_.WriteU8(kBinary);
            Length(x.size());
            s_.WriteBuffer(x.data(), x.size());
          }
        },
        value.v);
  }

  void Properties(TPersistent& object, const std::string& prefix) {
    for (const PropertyInfo* p : object.GetClassInfo().AllProperties()) {
      if (p->stored && !p->stored(object)) continue;
      const std::string path = prefix + p->name;
      switch (p->kind) {
        case PropertyKind::Object:
          if (TPersistent* sub = p->getObject(object)) Properties(*sub, path + ".");
          break;
        case PropertyKind::Collection: {
          TCollection* c = p->getCollection(object);
          if (!c || c->Count() == 0) break;
          Name(path);
          s_.WriteU8(kCollection);
          for (int i = 0; i < c->Count(); ++i) {
            s_.WriteU8(kItem);
            Properties(*c->Items(i), "");
            s_.WriteU8(kEnd);
          }
          s_.WriteU8(kEnd);
          break;
        }
        case PropertyKind::Binary: {
          TMemoryStream data;
          p->writeBinary(object, data);
          Name(path);
          WriteValue(Value(std::move(data.Bytes())));
          break;
        }
        case PropertyKind::Event: {
          const std::string method = p->eventName(object);
          if (method.empty()) break;
          Name(path);
          WriteValue(Value(Ident{method}));
          break;
        }
        case PropertyKind::Reference: {
          TComponent* c = p->getReference(object);
          Name(path);
          WriteValue(c ? Value(Ident{c->Name()}) : Value());
          break;
        }
        case PropertyKind::Integer: {
          const Value v = p->get(object);
          Name(path);
          const auto i = std::get<std::int64_t>(v.v);
          const std::string* ident = p->idents ? p->idents->NameOf(static_cast<std::int32_t>(i)) : nullptr;
          WriteValue(ident ? Value(Ident{*ident}) : v);
          break;
        }
        default:
          Name(path);
          WriteValue(p->get(object));
      }
    }
  }

  void Object(TComponent& c) {
    if (++depth_ > kMaxDepth)
      throw EWriteError("Components are nested deeper than " + std::to_string(kMaxDepth) + " levels");
    Name(c.ClassName());
    Name(c.Name());
    Properties(c, "");
    s_.WriteU8(kEnd);
    c.GetChildren(
        [&](TComponent* child) {
          if (child && child->Owner() == root_) Object(*child);
        },
        root_);
    s_.WriteU8(kEnd);
    --depth_;
  }
};

}  // namespace

void FormWriter::WriteRootComponent(TComponent& root) {
  Writer w(stream_);
  w.root_ = &root;
  stream_.WriteBuffer(kSignature, 4);
  w.Object(root);
}

void FormWriter::WriteProperties(TPersistent& object) {
  Writer w(stream_);
  w.Properties(object, "");
  stream_.WriteU8(kEnd);
}

void ReadForm(std::span<const std::uint8_t> bytes, TComponent& root, TFormBytes kind) {
  TReadOnlyMemoryStream s(bytes, kind == TFormBytes::Lasting);
  FormReader(s).ReadRootComponent(root);
}

std::unique_ptr<TComponent> ReadForm(std::span<const std::uint8_t> bytes) {
  TReadOnlyMemoryStream s(bytes);
  return FormReader(s).ReadComponent();
}

namespace {

// Walks a form's grammar without making anything.
class Scanner {
 public:
  Scanner(std::span<const std::uint8_t> form, const BinaryValueVisitor& visit) : form_(form), visit_(visit) {}

  void Form() {
    if (form_.size() < 4 || std::memcmp(form_.data(), kSignature, 4) != 0)
      Fail("The stream is not a form (no TPF0 signature)");
    at_ = 4;
    const std::uint8_t n = U8();
    if (n == 0) Fail("The form has no object");
    Object(n, 0);
  }

 private:
  [[noreturn]] static void Fail(const std::string& reason) {
    throw EReadError("Error reading form: " + reason);
  }

  std::span<const std::uint8_t> Take(std::size_t n) {
    if (n > form_.size() - at_) Fail("Unexpected end of stream");
    const std::span<const std::uint8_t> out = form_.subspan(at_, n);
    at_ += n;
    return out;
  }
  std::uint8_t U8() { return Take(1)[0]; }
  std::uint32_t U32() {
    const auto b = Take(4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }
  void Enter(int depth) {
    if (depth > kMaxDepth) Fail("Form is nested deeper than " + std::to_string(kMaxDepth) + " levels");
  }

  void Object(std::uint8_t classLength, int depth) {
    Enter(depth + 1);
    Take(classLength);
    Take(U8());
    Properties(depth + 1);
    for (std::uint8_t n = U8(); n != 0; n = U8()) Object(n, depth + 1);
  }

  void Properties(int depth) {
    for (std::uint8_t n = U8(); n != 0; n = U8()) {
      const auto name = Take(n);
      SkipValue(std::string_view(reinterpret_cast<const char*>(name.data()), name.size()), depth);
    }
  }

  void SkipValue(std::string_view path, int depth) {
    const std::uint8_t tag = U8();
    switch (tag) {
      case kFalse:
      case kTrue:
      case kNil:
        return;
      case kInt8:
        Take(1);
        return;
      case kInt16:
        Take(2);
        return;
      case kInt32:
        Take(4);
        return;
      case kExtended:
        Take(10);
        return;
      case kString:
        Take(U32());
        return;
      case kIdent:
        Take(U8());
        return;
      case kSet:
        for (std::uint8_t n = U8(); n != 0; n = U8()) Take(n);
        return;
      case kBinary: {
        const auto value = Take(U32());
        visit_(path, value);
        return;
      }
      case kCollection:
        for (std::uint8_t t = U8(); t != kEnd; t = U8()) {
          if (t != kItem) Fail("Invalid collection item marker");
          Enter(depth + 1);
          Properties(depth + 1);
        }
        return;
      default:
        Fail("Invalid value tag");
    }
  }

  std::span<const std::uint8_t> form_;
  const BinaryValueVisitor& visit_;
  std::size_t at_ = 0;
};

}  // namespace

void ForEachBinaryValue(std::span<const std::uint8_t> form, const BinaryValueVisitor& visit) {
  Scanner(form, visit).Form();
}

std::vector<std::uint8_t> WriteForm(TComponent& root) {
  TMemoryStream s;
  FormWriter(s).WriteRootComponent(root);
  return std::move(s.Bytes());
}

}  // namespace framework
